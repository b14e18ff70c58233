// SPDX-License-Identifier: Apache-2.0
// A block is named by the MD5 digest of its bytes and its length. A payload arrives either raw
// or zlib-compressed; before the server keeps it, it is decoded and must give back exactly a
// block of the announced length and digest, so that a block the index lists as held is always
// the right one.
//
// The memory one upload uses does not depend on the length a client claims. A compressed
// payload of a file's block (at most kBlockSize decoded) is collected as its chunks arrive and
// decompressed in one call once whole, with libdeflate, which reads the same zlib streams at
// several times the speed of zlib's inflate; a catalog, which may be far larger, is inflated as
// its chunks arrive, and a raw payload passes through. Neither is ever held whole.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "util/block_format.h"

namespace corvio::server {

struct BlockKey {
  std::array<uint8_t, 16> md5{};
  uint32_t length = 0;

  std::string md5_hex() const;
  bool operator==(const BlockKey&) const = default;
};

std::array<uint8_t, 16> md5_of(std::string_view bytes);

// Blocks of files are at most kBlockSize. The one larger block a client sends is the catalog
// file, uploaded as one block at the end of a run; the server cannot tell it from a file block
// by anything but its length, so every block above kBlockSize is taken for a catalog.
//
// The largest catalog a client can send (its size is below 2^31), and the default limit that
// `serve --max-catalog` changes. A catalog above the limit is refused, and the client asks
// again after every reconnection, so the limit should stay above any catalog the clients make.
inline constexpr uint32_t kMaxCatalogLimit = 0x7FFFFFFF;
inline constexpr uint32_t kDefaultMaxCatalog = 1u << 30;

// The longest compressed payload taken for a block of length bytes: the bound the client
// compresses into, which exceeds zlib's worst case.
uint64_t max_compressed_length(uint32_t length);

// True when a store of this shape can be accepted: a length of at most max_length, a raw
// payload of exactly the block length, or a compressed one of 1 to max_compressed_length bytes.
bool payload_shape_ok(uint32_t length, bool compressed, uint32_t payload_length,
                      uint32_t max_length);

// Decodes one payload chunk by chunk. Raw bytes pass through; a compressed block of a file is
// decompressed when its last chunk (by payload_length) comes, a catalog a piece at a time. The
// decoded bytes go to the sink in pieces of at most 64 KiB, and their length and digest are
// checked against the key: as soon as they run past the block's length, at the end for the
// rest.
class PayloadDecoder {
 public:
  // Takes decoded bytes; false stops the decoding (the sink keeps its own reason).
  using Sink = std::function<bool(std::string_view)>;

  // payload_length is the payload's announced length; the chunks fed add up to at most that.
  PayloadDecoder(const BlockKey& key, bool compressed, uint32_t payload_length);
  ~PayloadDecoder();
  PayloadDecoder(const PayloadDecoder&) = delete;
  PayloadDecoder& operator=(const PayloadDecoder&) = delete;

  // Feeds the next chunk of the payload. False when the payload is already known to be bad,
  // with *why set, or when the sink refused (*why empty).
  bool feed(std::string_view chunk, const Sink& sink, std::string* why);
  // After the last chunk: true when the decoded bytes were exactly the block of the key.
  bool finish(std::string* why);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Decodes a whole payload into *block and checks it against key. False, with *why set, when it
// does not decompress, or its length or digest differ.
bool decode_payload(const BlockKey& key, std::string_view payload, bool compressed,
                    std::string* block, std::string* why);

}  // namespace corvio::server
