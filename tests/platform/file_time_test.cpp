// SPDX-License-Identifier: Apache-2.0
#include "platform/file_time.h"

#include <gtest/gtest.h>

namespace corvio {
namespace {

TEST(FileTimeTest, HalvesJoinIntoSizesAboveFourGibibytes) {
  EXPECT_EQ(from_halves(0, 5), 5u);
  EXPECT_EQ(from_halves(0, 0xFFFFFFFF), 0xFFFFFFFFull);
  EXPECT_EQ(from_halves(1, 0), 0x100000000ull);
  EXPECT_EQ(from_halves(1, 3), 4294967299ull);
  EXPECT_EQ(from_halves(0xFFFFFFFF, 0xFFFFFFFF), UINT64_MAX);
}

TEST(FileTimeTest, FileTimesBecomeSecondsSince1970) {
  const struct {
    uint64_t file_time;
    int64_t seconds;
  } cases[] = {
      {116444736000000000ull, 0},                     // 1970-01-01
      {116444736000000000ull + 9999999, 0},           // part of a second is cut off
      {116444736000000000ull + 10000000, 1},
      {from_halves(0x01D9C72F, 0xC6FD0000), 1691193600},  // 2023-08-05 00:00:00
      {126444736000000000ull, 1000000000},            // 2001-09-09 01:46:40
      {116444736000000000ull - 1, -1},                // just before 1970, not far in the future
      {0, -11644473600},                              // 1601-01-01
      {UINT64_MAX, (INT64_MAX - 116444736000000000) / 10000000},  // clamped, not negative
  };
  for (const auto& c : cases) EXPECT_EQ(file_time_to_unix(c.file_time), c.seconds) << c.file_time;
}

}  // namespace
}  // namespace corvio
