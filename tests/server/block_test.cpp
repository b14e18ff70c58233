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

TEST(BlockTest, RejectsPayloadsThatDoNotMatchTheKey) {
  std::string data(4000, 'r');
  std::string block;
  std::string why;
  std::string other = data;
  other[7] = 's';
  EXPECT_FALSE(decode_payload(key_of(data), other, false, &block, &why));
  EXPECT_EQ(why, "MD5 mismatch");
  EXPECT_FALSE(decode_payload(key_of(data), data.substr(1), false, &block, &why));
  EXPECT_EQ(why, "length 3999 instead of 4000");
  // Compressed: decoding to more than the announced length, to less, or not at all.
  EXPECT_FALSE(decode_payload(key_of(data), zlib_compress(data + "x"), true, &block, &why));
  EXPECT_EQ(why, "length 4001 instead of 4000");
  EXPECT_FALSE(decode_payload(key_of(data), zlib_compress(data + data), true, &block, &why));
  EXPECT_EQ(why, "payload decompresses longer than the block");
  EXPECT_FALSE(decode_payload(key_of(data), zlib_compress(data.substr(1)), true, &block, &why));
  EXPECT_EQ(why, "length 3999 instead of 4000");
  std::string packed = zlib_compress(data);
  EXPECT_FALSE(
      decode_payload(key_of(data), packed.substr(0, packed.size() / 2), true, &block, &why));
  EXPECT_EQ(why, "payload does not decompress");
  EXPECT_FALSE(decode_payload(key_of(data), data, true, &block, &why));
}

TEST(BlockTest, PayloadShapes) {
  EXPECT_TRUE(payload_shape_ok(1000, false, 1000));
  EXPECT_FALSE(payload_shape_ok(1000, false, 999));
  EXPECT_TRUE(payload_shape_ok(1048576, true, 1048576 + 8192 + 16));
  EXPECT_FALSE(payload_shape_ok(1048576, true, 1048576 + 8192 + 17));
  EXPECT_FALSE(payload_shape_ok(1000, true, 0));
  EXPECT_FALSE(payload_shape_ok(kMaxBlock + 1, false, kMaxBlock + 1));
  // A catalog of up to 2 GiB - 1 is sent as one block; its worst-case compressed size must not
  // wrap around.
  EXPECT_TRUE(payload_shape_ok(0x7FFFFFFF, false, 0x7FFFFFFF));
  EXPECT_TRUE(payload_shape_ok(0x7FFFFFFF, true, 0x7FFFFFFFu + 0x7FFFFFFFu / 128 + 16));
  EXPECT_FALSE(payload_shape_ok(0x7FFFFFFF, true, 0x7FFFFFFFu + 0x7FFFFFFFu / 128 + 17));
}

}  // namespace
}  // namespace corvio::server
