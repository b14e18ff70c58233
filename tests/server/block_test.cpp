// SPDX-License-Identifier: Apache-2.0
#include "block.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "test_client.h"

namespace corvio::server {
namespace {

using test::zlib_compress;

BlockKey key_of(std::string_view bytes) {
  return BlockKey{md5_of(bytes), static_cast<uint32_t>(bytes.size())};
}

TEST(BlockTest, KeyIsTheMd5AndLength) {
  // The MD5 of "abc" as published with the algorithm.
  EXPECT_EQ(key_of("abc").md5_hex(), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_NE(key_of("abc"), (BlockKey{md5_of("abc"), 4}));
}

TEST(BlockTest, DecodesRawAndCompressedPayloads) {
  std::string data(50000, 'q');
  data += "end";
  std::string block;
  std::string why;
  EXPECT_TRUE(decode_payload(key_of(data), data, false, &block, &why)) << why;
  EXPECT_EQ(block, data);
  block.clear();
  EXPECT_TRUE(decode_payload(key_of(data), zlib_compress(data), true, &block, &why)) << why;
  EXPECT_EQ(block, data);
}

// A megabyte of zeros compresses to about a kilobyte: one chunk of the payload decodes to far
// more than one piece, and every piece goes to the sink, none larger than 64 KiB.
TEST(BlockTest, DecodesChunkByChunkInBoundedPieces) {
  std::string data(kBlockSize, '\0');
  data.replace(700000, 5, "magic");
  std::string packed = zlib_compress(data);
  ASSERT_LT(packed.size(), 4096u);
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{4096}}) {
    PayloadDecoder decoder(key_of(data), true, static_cast<uint32_t>(packed.size()));
    std::string out;
    size_t largest = 0;
    auto sink = [&](std::string_view bytes) {
      largest = std::max(largest, bytes.size());
      out.append(bytes);
      return true;
    };
    std::string why;
    for (size_t at = 0; at < packed.size(); at += chunk) {
      ASSERT_TRUE(decoder.feed(std::string_view(packed).substr(at, chunk), sink, &why)) << why;
    }
    EXPECT_TRUE(decoder.finish(&why)) << why;
    EXPECT_EQ(out, data) << "chunks of " << chunk;
    EXPECT_LE(largest, 64u * 1024);
  }
  // A sink that refuses stops the decoding, with no reason of the decoder's own.
  PayloadDecoder decoder(key_of(data), true, static_cast<uint32_t>(packed.size()));
  std::string why = "unset";
  EXPECT_FALSE(decoder.feed(
      packed, [](std::string_view) { return false; }, &why));
  EXPECT_EQ(why, "");
  EXPECT_FALSE(decoder.finish(&why));
}

// The same bad payloads get the same answers from both decoders: the one-call decompression
// of a file's block and the streaming one of a catalog, which is any block above kBlockSize.
TEST(BlockTest, RejectsPayloadsThatDoNotMatchTheKey) {
  for (size_t size : {size_t{4000}, size_t{kBlockSize} + 4000}) {
    SCOPED_TRACE(size);
    std::string data(size, 'r');
    std::string block;
    std::string why;
    std::string other = data;
    other[7] = 's';
    const std::string shorter =
        "length " + std::to_string(size - 1) + " instead of " + std::to_string(size);
    EXPECT_FALSE(decode_payload(key_of(data), other, false, &block, &why));
    EXPECT_EQ(why, "MD5 mismatch");
    EXPECT_FALSE(decode_payload(key_of(data), data.substr(1), false, &block, &why));
    EXPECT_EQ(why, shorter);
    EXPECT_FALSE(decode_payload(key_of(data), data + "x", false, &block, &why));
    EXPECT_EQ(why, "payload longer than the block");
    // Compressed: decoding to more than the announced length, to less, or not at all.
    EXPECT_FALSE(decode_payload(key_of(data), zlib_compress(data + "x"), true, &block, &why));
    EXPECT_EQ(why, "payload decompresses longer than the block");
    EXPECT_FALSE(decode_payload(key_of(data), zlib_compress(data + data), true, &block, &why));
    EXPECT_EQ(why, "payload decompresses longer than the block");
    EXPECT_FALSE(decode_payload(key_of(data), zlib_compress(data.substr(1)), true, &block, &why));
    EXPECT_EQ(why, shorter);
    EXPECT_FALSE(decode_payload(key_of(data), zlib_compress(other), true, &block, &why));
    EXPECT_EQ(why, "MD5 mismatch");
    std::string packed = zlib_compress(data);
    EXPECT_FALSE(
        decode_payload(key_of(data), packed.substr(0, packed.size() / 2), true, &block, &why));
    EXPECT_EQ(why, "payload does not decompress");
    std::string bad_check = packed;
    bad_check.back() ^= 1;  // the Adler-32 of the decoded bytes
    EXPECT_FALSE(decode_payload(key_of(data), bad_check, true, &block, &why));
    EXPECT_EQ(why, "payload does not decompress");
    EXPECT_FALSE(decode_payload(key_of(data), packed + "more", true, &block, &why));
    EXPECT_EQ(why, "payload goes on after its compressed data ends");
    EXPECT_FALSE(decode_payload(key_of(data), data, true, &block, &why));
    EXPECT_EQ(why, "payload does not decompress");
    EXPECT_TRUE(decode_payload(key_of(data), packed, true, &block, &why)) << why;
    EXPECT_EQ(block, data);
  }
}

// A claim of a huge block costs nothing until its bytes come: a decoder for 2 GiB - 1 fed a
// few bytes that decode far past a small block's end stops at the first piece beyond it.
TEST(BlockTest, OverlongDecodingStopsAtOnce) {
  std::string zeros(3 * kBlockSize, '\0');
  std::string packed = zlib_compress(zeros);
  BlockKey small{md5_of("x"), 100000};
  PayloadDecoder decoder(small, true, static_cast<uint32_t>(packed.size()));
  size_t given = 0;
  std::string why;
  EXPECT_FALSE(decoder.feed(
      packed,
      [&](std::string_view b) {
        given += b.size();
        return true;
      },
      &why));
  EXPECT_EQ(why, "payload decompresses longer than the block");
  EXPECT_LE(given, 100000u);
  BlockKey huge{md5_of("y"), kMaxCatalogLimit};
  PayloadDecoder claim(huge, true, 1);
  EXPECT_TRUE(claim.feed(
      "x", [](std::string_view) { return true; }, &why));
  EXPECT_FALSE(claim.finish(&why));
  EXPECT_EQ(why, "payload does not decompress");
}

TEST(BlockTest, PayloadShapes) {
  EXPECT_TRUE(payload_shape_ok(1000, false, 1000, kBlockSize));
  EXPECT_FALSE(payload_shape_ok(1000, false, 999, kBlockSize));
  EXPECT_TRUE(payload_shape_ok(kBlockSize, true, kBlockSize + 8192 + 16, kBlockSize));
  EXPECT_FALSE(payload_shape_ok(kBlockSize, true, kBlockSize + 8192 + 17, kBlockSize));
  EXPECT_FALSE(payload_shape_ok(1000, true, 0, kBlockSize));
  // Blocks of files are at most 1 MiB; above that only what the catalog limit lets through.
  EXPECT_FALSE(payload_shape_ok(kBlockSize + 1, false, kBlockSize + 1, kBlockSize));
  EXPECT_TRUE(payload_shape_ok(kBlockSize + 1, false, kBlockSize + 1, 2 * kBlockSize));
  EXPECT_FALSE(payload_shape_ok(kDefaultMaxCatalog + 1, true, 100, kDefaultMaxCatalog));
  EXPECT_FALSE(payload_shape_ok(0x7FFFFFFF, true, 1, kDefaultMaxCatalog));
  // At the largest limit, a catalog of 2 GiB - 1, whose worst-case compressed size must not
  // wrap around.
  EXPECT_TRUE(payload_shape_ok(0x7FFFFFFF, false, 0x7FFFFFFF, kMaxCatalogLimit));
  EXPECT_TRUE(
      payload_shape_ok(0x7FFFFFFF, true, 0x7FFFFFFFu + 0x7FFFFFFFu / 128 + 16, kMaxCatalogLimit));
  EXPECT_FALSE(
      payload_shape_ok(0x7FFFFFFF, true, 0x7FFFFFFFu + 0x7FFFFFFFu / 128 + 17, kMaxCatalogLimit));
}

}  // namespace
}  // namespace corvio::server
