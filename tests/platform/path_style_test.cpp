// SPDX-License-Identifier: Apache-2.0
#include "platform/path_style.h"

#include <gtest/gtest.h>

namespace corvio {
namespace {

struct Split {
  std::string parent, name;
};
Split split(const PathStyle& s, const std::string& path) {
  Split out;
  s.split(path, &out.parent, &out.name);
  return out;
}

TEST(PathStyle, WindowsSplitsAtTheLastBackslash) {
  PathStyle w = PathStyle::windows();
  EXPECT_EQ(split(w, "C:\\Data\\a.txt").parent, "C:\\Data");
  EXPECT_EQ(split(w, "C:\\Data\\a.txt").name, "a.txt");
  EXPECT_EQ(split(w, "C:\\Data").parent, "C:");
  EXPECT_EQ(split(w, "C:").parent, "");
  EXPECT_EQ(split(w, "C:").name, "C:");
  EXPECT_EQ(split(w, "a/b").name, "a/b");  // a slash is no separator here
}

TEST(PathStyle, PosixKeepsItsRoot) {
  PathStyle p = PathStyle::posix();
  EXPECT_EQ(split(p, "/home/a.txt").parent, "/home");
  EXPECT_EQ(split(p, "/home").parent, "/");
  EXPECT_EQ(split(p, "/home").name, "home");
  EXPECT_EQ(split(p, "/").parent, "");
  EXPECT_EQ(split(p, "/").name, "/");
  EXPECT_EQ(p.join("/", "home"), "/home");
  EXPECT_EQ(p.join("/data", "x"), "/data/x");
  EXPECT_EQ(PathStyle::windows().join("C:", "Data"), "C:\\Data");
}

TEST(PathStyle, CaseCountsOnlyUnderPosix) {
  EXPECT_TRUE(PathStyle::windows().same("C:\\Data\\A.txt", "c:\\data\\a.TXT"));
  EXPECT_EQ(PathStyle::windows().fold("C:\\Data"), "c:\\data");
  EXPECT_FALSE(PathStyle::posix().same("/data/A.txt", "/data/a.txt"));
  EXPECT_EQ(PathStyle::posix().fold("/Data"), "/Data");
}

}  // namespace
}  // namespace corvio
