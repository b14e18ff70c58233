// SPDX-License-Identifier: Apache-2.0
#include "util/text.h"

#include <gtest/gtest.h>

#include "util/coding.h"

namespace corvio {
namespace {

TEST(ParseDecimal, ReadsLikeStoredSettingsAreRead) {
  EXPECT_EQ(parse_decimal("5420"), 5420);
  EXPECT_EQ(parse_decimal("  42xyz"), 42);
  EXPECT_EQ(parse_decimal("-5"), -5);
  EXPECT_EQ(parse_decimal("+7"), 7);
  EXPECT_EQ(parse_decimal("abc"), 0);
  EXPECT_EQ(parse_decimal(""), 0);
  EXPECT_EQ(parse_decimal("- 5"), 0);
  // Past 32 bits the low 32 bits of the (saturated) value remain.
  EXPECT_EQ(parse_decimal("4294967295"), -1);
  EXPECT_EQ(static_cast<uint16_t>(parse_decimal("70000")), 4464);
  EXPECT_EQ(parse_decimal("99999999999999999999999"), -1);
}

TEST(Text, BoundedAndCaseFolding) {
  EXPECT_EQ(bounded("abcdef", 3), "abc");
  EXPECT_EQ(bounded("ab", 3), "ab");
  EXPECT_EQ(lower_ascii("C:\\Data\\ÄB"), "c:\\data\\Äb");
  EXPECT_TRUE(equal_ignoring_ascii_case("c:\\data", "C:\\Data"));
  EXPECT_FALSE(equal_ignoring_ascii_case("c:\\data", "C:\\Date"));
  EXPECT_FALSE(equal_ignoring_ascii_case("abc", "abcd"));
}

TEST(Text, PrintableEscapesControlCharactersAndBrokenUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain C:\\Data", "plain C:\\Data"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"a\x1b[2Jb\n\t\x7f", "a\\x1b[2Jb\\x0a\\x09\\x7f"},
      {"\xc2\x9b\xc2\xa0", "\\xc2\\x9b\xc2\xa0"},             // C1 control; no-break space kept
      {"\xff\xc3", "\\xff\\xc3"},                             // not UTF-8; cut sequence
      {"\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},  // overlong; surrogate
      {std::string("n\0l", 3), "n\\x00l"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(printable(text), shown) << shown;

  // For the run's log only the control characters go; broken UTF-8 stays as it was.
  const std::pair<std::string, std::string> in_log[] = {
      {"a\x1b[2Jb\n\r\x7f\xc2\x9b", "a\\x1b[2Jb\\x0a\\x0d\\x7f\\xc2\\x9b"},
      {"caf\xc3\xa9 \xff\xc3\xc0\xaf", "caf\xc3\xa9 \xff\xc3\xc0\xaf"},
      {"\xff\n", "\xff\\x0a"},
  };
  for (const auto& [text, logged] : in_log) EXPECT_EQ(escape_controls(text), logged) << logged;
}

TEST(Coding, WritesLittleEndianAndReadsWithinBounds) {
  std::string m;
  put_u8(&m, 0x80);
  put_u16(&m, 0x000D);
  put_u32(&m, 0x11223344);
  put_u64(&m, 40000);
  put_fixed_text(&m, "abc", 5);
  ASSERT_EQ(m.size(), 1u + 2 + 4 + 8 + 5);
  EXPECT_EQ(m.substr(1, 2), std::string("\x0D\x00", 2));
  EXPECT_EQ(m.substr(3, 4), "\x44\x33\x22\x11");
  EXPECT_EQ(m.substr(15), std::string("abc\0\0", 5));

  Reader r(m);
  uint32_t v32 = 7;
  uint64_t v64 = 0;
  EXPECT_TRUE(r.u32(3, &v32));
  EXPECT_EQ(v32, 0x11223344u);
  EXPECT_TRUE(r.u64(7, &v64));
  EXPECT_EQ(v64, 40000u);
  EXPECT_FALSE(r.u32(m.size() - 3, &v32));  // runs past the end
  EXPECT_EQ(v32, 0x11223344u);              // left unchanged
  EXPECT_FALSE(r.u8(m.size(), nullptr));
  EXPECT_FALSE(Reader(std::string_view()).u8(0, nullptr));
}

}  // namespace
}  // namespace corvio
