// SPDX-License-Identifier: Apache-2.0
#include "engine/exclude_match.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/progress_timers.h"

namespace corvio {
namespace {

struct Case {
  const char* text;
  const char* rule;
  int windows;  // exclude_match under the Windows style
  int posix;    // and under the POSIX style
};

TEST(ExcludeMatchTest, RulesMatchAsPrefixesWithWildcards) {
  const Case cases[] = {
      // A path rule excludes the entry, longer names and everything below it.
      {"C:\\Data\\big", "c:\\data\\big", 1, 0},
      {"C:\\Data\\Bigger.txt", "c:\\data\\big", 1, 0},
      {"C:\\data\\big\\x", "c:\\data\\big", 1, 0},
      {"c:\\data\\big\\x", "c:\\data\\big", 1, 1},
      {"C:\\data\\bi", "c:\\data\\big", 0, 0},
      // A star crosses separators, so "*.tmp" finds .tmp anywhere in the path.
      {"C:\\a.tmp\\b.doc", "*.tmp", 1, 1},
      {"C:\\a.tm", "*.tmp", 0, 0},
      // A directory rule is matched against the directory's path with a separator appended.
      {"C:\\Temp\\", "C:\\Temp\\", 1, 1},
      {"C:\\Temporary\\", "C:\\Temp\\", 0, 0},
      {"C:\\Temporary", "C:\\Temp", 1, 1},
      {"/home/a/.cache/", "/home/*/.cache/", 1, 1},
      {"/home/A/x", "/home/a/", 1, 0},
      // '?' stands for exactly one character.
      {"C:\\a1\\z", "C:\\a?\\", 1, 1},
      {"C:\\a\\z", "C:\\a?\\", 0, 0},
      // Many stars, and stars that must back off to match.
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*c", 0, 0},
      {"xaybzc", "*a*b*c", 1, 1},
      {"abcabd", "*abd", 1, 1},
      // Empty text or rule never matches.
      {"", "*", 0, 0},
      {"C:\\x", "", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(exclude_match(PathStyle::windows(), c.text, c.rule), c.windows)
        << c.text << " / " << c.rule;
    EXPECT_EQ(exclude_match(PathStyle::posix(), c.text, c.rule), c.posix)
        << c.text << " / " << c.rule;
  }
}

TEST(ExcludeMatchTest, LongRulesAndPathsMatchInFull) {
  // Far beyond any fixed buffer: the whole rule and path take part.
  const std::string dir(5000, 'd');
  EXPECT_EQ(exclude_match(PathStyle::posix(), "/" + dir + "/file", "/" + dir + "/f"), 1);
  EXPECT_EQ(exclude_match(PathStyle::posix(), "/" + dir + "/file", "/" + dir + "x"), 0);
  const std::string stars(3000, '*');
  EXPECT_EQ(exclude_match(PathStyle::posix(), dir + "q", stars + "q"), 1);
  EXPECT_FALSE(wildcard_match(dir, dir + "?"));
  EXPECT_TRUE(wildcard_match(dir, "*" + dir));
}

TEST(ProgressTimersTest, ElapsedAndRateTexts) {
  EXPECT_EQ(ProgressTimers::elapsed_text(0, 0, 500), "");
  EXPECT_EQ(ProgressTimers::elapsed_text(1000, 0, 1299), "299 sec");
  EXPECT_EQ(ProgressTimers::elapsed_text(1000, 0, 1300), "5 min");
  EXPECT_EQ(ProgressTimers::elapsed_text(1000, 1010, 99999), "10 sec");  // fixed once ended
  EXPECT_EQ(ProgressTimers::rate_text(4095), "4,095 B/sec ");
  EXPECT_EQ(ProgressTimers::rate_text(4096), "4 KB/sec ");
  EXPECT_EQ(ProgressTimers::rate_text(4194303), "4,095 KB/sec ");
  EXPECT_EQ(ProgressTimers::rate_text(4194304), "4 MB/sec ");
}

}  // namespace
}  // namespace corvio
