// SPDX-License-Identifier: Apache-2.0
#include "block.h"

#include <libdeflate.h>
#include <openssl/evp.h>
#include <zlib.h>

#include "util/hex.h"
#include "util/openssl_ptr.h"

namespace corvio::server {
namespace {

// Decoded bytes are handed on in pieces of at most this size.
constexpr size_t kPiece = 64 * 1024;

struct FreeDecompressor {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

std::string BlockKey::md5_hex() const {
  return to_hex(std::string_view(reinterpret_cast<const char*>(md5.data()), md5.size()));
}

std::array<uint8_t, 16> md5_of(std::string_view bytes) {
  std::array<uint8_t, 16> digest{};
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest.data(), &len, EVP_md5(), nullptr);
  return digest;
}

uint64_t max_compressed_length(uint32_t length) { return uint64_t{length} + length / 128 + 16; }

bool payload_shape_ok(uint32_t length, bool compressed, uint32_t payload_length,
                      uint32_t max_length) {
  if (length > max_length) return false;
  if (!compressed) return payload_length == length;
  return payload_length >= 1 && payload_length <= max_compressed_length(length);
}

struct PayloadDecoder::State {
  BlockKey key;
  bool compressed = false;
  bool whole = false;      // a block of a file: its payload is collected, then decompressed
  bool inflating = false;  // a catalog: the zlib stream was set up
  bool ended = false;      // the zlib stream has ended
  bool failed = false;
  uint32_t payload_length = 0;
  uint64_t decoded = 0;
  z_stream zs{};
  std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor;
  std::string packed;  // the payload of a whole decoding, as received so far
  MdCtxPtr md5;
  std::string piece;
};

PayloadDecoder::PayloadDecoder(const BlockKey& key, bool compressed, uint32_t payload_length)
    : state_(new State) {
  State& s = *state_;
  s.key = key;
  s.compressed = compressed;
  s.payload_length = payload_length;
  s.md5.reset(EVP_MD_CTX_new());
  if (!s.md5 || EVP_DigestInit_ex(s.md5.get(), EVP_md5(), nullptr) != 1) s.failed = true;
  if (!compressed) return;
  s.whole = key.length <= kBlockSize;
  if (s.whole) {
    s.decompressor.reset(libdeflate_alloc_decompressor());
    if (!s.decompressor) s.failed = true;
    // Bounded by the largest payload a block of a file can have, whatever the claim.
    s.packed.reserve(std::min<uint64_t>(payload_length, max_compressed_length(kBlockSize)));
    return;
  }
  s.inflating = inflateInit(&s.zs) == Z_OK;
  if (!s.inflating) s.failed = true;
}

PayloadDecoder::~PayloadDecoder() {
  if (state_->inflating) inflateEnd(&state_->zs);
}

bool PayloadDecoder::feed(std::string_view chunk, const Sink& sink, std::string* why) {
  State& s = *state_;
  auto fail = [&](const char* text) {
    s.failed = true;
    *why = text;
    return false;
  };
  auto take = [&](std::string_view bytes) {
    s.decoded += bytes.size();
    if (s.decoded > s.key.length) return false;
    EVP_DigestUpdate(s.md5.get(), bytes.data(), bytes.size());
    if (!sink(bytes)) {
      s.failed = true;
      why->clear();
      return false;
    }
    return true;
  };
  if (s.failed) return fail("payload already rejected");
  if (!s.compressed) {
    if (!take(chunk)) {
      return s.failed ? false : fail("payload longer than the block");
    }
    return true;
  }
  if (chunk.empty()) return true;
  if (s.ended) return fail("payload goes on after its compressed data ends");
  if (s.whole) {
    s.packed.append(chunk);
    if (s.packed.size() < s.payload_length) return true;
    // The whole payload is here: one call decompresses it into a buffer of the block's length,
    // which a longer stream cannot overrun.
    s.ended = true;
    std::unique_ptr<char[]> block(new char[s.key.length]);
    size_t used = 0;
    size_t out = 0;
    libdeflate_result rc =
        libdeflate_zlib_decompress_ex(s.decompressor.get(), s.packed.data(), s.packed.size(),
                                      block.get(), s.key.length, &used, &out);
    if (rc == LIBDEFLATE_INSUFFICIENT_SPACE) {
      return fail("payload decompresses longer than the block");
    }
    if (rc != LIBDEFLATE_SUCCESS) return fail("payload does not decompress");
    if (used < s.packed.size()) return fail("payload goes on after its compressed data ends");
    std::string().swap(s.packed);
    for (size_t at = 0; at < out; at += kPiece) {
      if (!take(std::string_view(block.get() + at, std::min(kPiece, out - at)))) return false;
    }
    return true;
  }
  s.piece.resize(kPiece);
  s.zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
  s.zs.avail_in = static_cast<uInt>(chunk.size());
  // Until the chunk is used up and inflate has nothing more to give for it (a full piece may
  // leave decoded bytes pending).
  do {
    s.zs.next_out = reinterpret_cast<Bytef*>(s.piece.data());
    s.zs.avail_out = static_cast<uInt>(s.piece.size());
    int rc = inflate(&s.zs, Z_NO_FLUSH);
    if (rc == Z_BUF_ERROR && s.zs.avail_in == 0) break;  // nothing pending: needs more input
    if (rc != Z_OK && rc != Z_STREAM_END) return fail("payload does not decompress");
    size_t out = s.piece.size() - s.zs.avail_out;
    if (!take(std::string_view(s.piece.data(), out))) {
      return s.failed ? false : fail("payload decompresses longer than the block");
    }
    s.ended = rc == Z_STREAM_END;
  } while (!s.ended && (s.zs.avail_in > 0 || s.zs.avail_out == 0));
  if (s.zs.avail_in > 0) return fail("payload goes on after its compressed data ends");
  return true;
}

bool PayloadDecoder::finish(std::string* why) {
  State& s = *state_;
  if (s.failed) {
    *why = "payload already rejected";
    return false;
  }
  if (s.compressed && !s.ended) {
    *why = "payload does not decompress";
    return false;
  }
  if (s.decoded != s.key.length) {
    *why = "length " + std::to_string(s.decoded) + " instead of " + std::to_string(s.key.length);
    return false;
  }
  std::array<uint8_t, 16> digest{};
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(s.md5.get(), digest.data(), &len) != 1 || digest != s.key.md5) {
    *why = "MD5 mismatch";
    return false;
  }
  return true;
}

bool decode_payload(const BlockKey& key, std::string_view payload, bool compressed,
                    std::string* block, std::string* why) {
  block->clear();
  PayloadDecoder decoder(key, compressed, static_cast<uint32_t>(payload.size()));
  auto sink = [&](std::string_view bytes) {
    block->append(bytes);
    return true;
  };
  return decoder.feed(payload, sink, why) && decoder.finish(why);
}

}  // namespace corvio::server
