// SPDX-License-Identifier: Apache-2.0
#include "util/hex.h"

#include <gtest/gtest.h>

namespace corvio {
namespace {

TEST(Hex, RoundTrip) {
  std::string bytes("\x00\x7f\x80\xff", 4);
  EXPECT_EQ(to_hex(bytes), "007f80ff");
  std::string back;
  ASSERT_TRUE(from_hex("007F80ff", &back));
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(from_hex("0", &back));
  EXPECT_FALSE(from_hex("0x", &back));
}

}  // namespace
}  // namespace corvio
