// SPDX-License-Identifier: Apache-2.0
#include "util/md5_hex.h"

#include <gtest/gtest.h>

namespace corvio {
namespace {

TEST(Md5HexTest, RoundTripsEveryByteValue) {
  Md5Digest digest;
  for (int start = 0; start < 256; start += 16) {
    for (size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<uint8_t>(start + i);
    const std::string hex = md5_to_hex(digest);
    ASSERT_EQ(hex.size(), 32u);
    Md5Digest back{};
    ASSERT_TRUE(hex_to_md5(hex, &back));
    EXPECT_EQ(back, digest);
  }
  digest = {0x00, 0x0f, 0xf0, 0xff, 0x12, 0x34, 0x56, 0x78,
            0x9a, 0xbc, 0xde, 0xf0, 0x01, 0x23, 0x45, 0x67};
  EXPECT_EQ(md5_to_hex(digest), "000ff0ff123456789abcdef001234567");
}

TEST(Md5HexTest, RefusesTextThatIsNotThirtyTwoLowerCaseDigits) {
  Md5Digest digest;
  digest.fill(0xaa);
  EXPECT_FALSE(hex_to_md5("00112233445566778899AABBCCDDEEFF", &digest));
  EXPECT_EQ(digest, Md5Digest{});
  EXPECT_FALSE(hex_to_md5("0011223344556677", &digest));
  EXPECT_FALSE(hex_to_md5("00112233445566778899aabbccddeeff0", &digest));
  EXPECT_FALSE(hex_to_md5("00112233445566778899aabbccddeeg0", &digest));
  EXPECT_TRUE(hex_to_md5("00112233445566778899aabbccddeeff", &digest));
  EXPECT_EQ(digest[15], 0xff);
}

}  // namespace
}  // namespace corvio
