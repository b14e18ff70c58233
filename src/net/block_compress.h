// SPDX-License-Identifier: Apache-2.0
// Compressing a block for its upload. The payload is a zlib stream (RFC 1950: the server
// inflates it with zlib), used only when it is shorter than the block; otherwise the block goes
// raw. The compressor is libdeflate's zlib-format one at level 2, which on the reference dataset
// stores no more than zlib's compress2 at level 9 in a sixth of its time, counting the sample
// test that sends incompressible blocks raw unasked (block_compress.cpp has the figures).
//
// A BlockCompressor keeps the compressor's state and the output buffer from block to block, so
// compressing allocates nothing. It is not thread-safe: one per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct libdeflate_compressor;

namespace corvio {

// A block as it goes on the wire: its zlib form, or the block itself when that is not shorter.
struct BlockPayload {
  const uint8_t* data;
  uint32_t length;
  bool compressed;
};

class BlockCompressor {
 public:
  BlockCompressor();
  ~BlockCompressor();
  BlockCompressor(const BlockCompressor&) = delete;
  BlockCompressor& operator=(const BlockCompressor&) = delete;

  // Compresses length bytes at data. True when the zlib form is shorter than the block: it is
  // then at output() for output_length() bytes, valid until the next call. False when the block
  // should go raw: it does not shrink, looks incompressible, or the compressor is missing.
  bool compress(const uint8_t* data, uint32_t length);
  const uint8_t* output() const { return buffer_.data(); }
  uint32_t output_length() const { return output_length_; }

  // The libdeflate level used.
  static int level();

  // The quick test compress() starts with: true when a sample of the block hardly shrinks at
  // the fastest level, so that the whole block is not worth compressing.
  bool looks_incompressible(const uint8_t* data, uint32_t length);

 private:
  struct Free {
    void operator()(libdeflate_compressor* c) const;
  };
  std::unique_ptr<libdeflate_compressor, Free> compressor_;
  std::unique_ptr<libdeflate_compressor, Free> sampler_;
  std::vector<uint8_t> buffer_;
  uint32_t output_length_ = 0;
};

}  // namespace corvio
