// SPDX-License-Identifier: Apache-2.0
#include "catalog_path.h"

#include <gtest/gtest.h>

namespace corvio::server {
namespace {

using Parts = std::vector<std::string>;

TEST(CatalogPathTest, WindowsPathsGoBelowTheirDriveLetter) {
  CatalogPath p = parse_catalog_path("C:\\Data\\a.txt");
  EXPECT_TRUE(p.windows);
  EXPECT_EQ(p.parts, (Parts{"C", "Data", "a.txt"}));
  EXPECT_EQ(p.unsafe, "");
  EXPECT_EQ(parse_catalog_path("C:").parts, Parts{"C"});
  EXPECT_EQ(parse_catalog_path("d:\\").parts, Parts{"D"});
  EXPECT_EQ(parse_catalog_path("C:\\a/b\\\\c\\").parts, (Parts{"C", "a", "b", "c"}));
  EXPECT_EQ(parse_catalog_path("C:\\x:y").parts, (Parts{"C", "x:y"}));
}

TEST(CatalogPathTest, PosixPathsLoseTheirRootAndKeepBackslashes) {
  CatalogPath p = parse_catalog_path("/home/a\\b/x");
  EXPECT_FALSE(p.windows);
  EXPECT_EQ(p.parts, (Parts{"home", "a\\b", "x"}));
  EXPECT_EQ(p.unsafe, "");
  EXPECT_EQ(parse_catalog_path("/").parts, Parts{});
  EXPECT_EQ(parse_catalog_path("//a//b/").parts, (Parts{"a", "b"}));
}

TEST(CatalogPathTest, ClimbingRelativeAndZeroBytePathsAreUnsafe) {
  const std::string kDots = "has a \"..\" component";
  EXPECT_EQ(parse_catalog_path("C:\\Data\\..\\..\\x").unsafe, kDots);
  EXPECT_EQ(parse_catalog_path("C:\\Data/../x").unsafe, kDots);
  EXPECT_EQ(parse_catalog_path("/../etc/passwd").unsafe, kDots);
  EXPECT_EQ(parse_catalog_path("/a/./b").unsafe, "has a \".\" component");
  const std::string kRelative = "is not an absolute path (neither a drive letter nor a leading /)";
  EXPECT_EQ(parse_catalog_path("a/b").unsafe, kRelative);
  EXPECT_EQ(parse_catalog_path("C:a.txt").unsafe, kRelative);
  EXPECT_EQ(parse_catalog_path("\\\\server\\share\\x").unsafe, kRelative);
  EXPECT_EQ(parse_catalog_path("").unsafe, kRelative);
  EXPECT_EQ(parse_catalog_path(std::string("/a\0b", 4)).unsafe, "contains a 0 byte");
  // The parts are still there for a filter to place the path.
  EXPECT_EQ(parse_catalog_path("C:\\Data\\..\\x").parts, (Parts{"C", "Data", "..", "x"}));
}

TEST(CatalogPathTest, FiltersCompareWholeComponentsInTheirStyle) {
  auto under = [](const std::string& path, const std::string& prefix) {
    return path_is_under(parse_catalog_path(path), parse_catalog_path(prefix));
  };
  EXPECT_TRUE(under("C:\\Data\\a.txt", "C:\\Data"));
  EXPECT_TRUE(under("C:\\Data\\a.txt", "c:\\DATA\\"));
  EXPECT_TRUE(under("C:\\Data", "C:\\Data"));
  EXPECT_TRUE(under("C:\\Data", "C:\\"));
  EXPECT_FALSE(under("C:\\Database\\a", "C:\\Data"));
  EXPECT_FALSE(under("D:\\Data\\a", "C:\\Data"));
  EXPECT_FALSE(under("/C/Data/a", "C:\\Data"));
  EXPECT_TRUE(under("/home/a/x", "/home/a/"));
  EXPECT_TRUE(under("/home/a/x", "/"));
  EXPECT_FALSE(under("/home/A/x", "/home/a"));
  EXPECT_FALSE(under("/home", "/home/a"));
  EXPECT_EQ(join_parts({"C", "Data", "a.txt"}), "C/Data/a.txt");
}

TEST(CatalogPathTest, WindowsDirectoriesKeepTheirFirstSpelling) {
  DirectorySpellings spellings;
  auto placed = [&](const std::string& path, size_t directories) {
    CatalogPath p = parse_catalog_path(path);
    spellings.apply(&p, directories);
    return join_parts(p.parts);
  };
  EXPECT_EQ(placed("C:\\Data\\Sub", 3), "C/Data/Sub");
  EXPECT_EQ(placed("c:\\DATA\\sub\\File.TXT", 3), "C/Data/Sub/File.TXT");
  EXPECT_EQ(placed("C:\\data\\Other", 3), "C/Data/Other");
  EXPECT_EQ(placed("C:\\DATA\\OTHER\\x", 3), "C/Data/Other/x");
  // POSIX names keep their case.
  EXPECT_EQ(placed("/Home/a", 2), "Home/a");
  EXPECT_EQ(placed("/home/a", 2), "home/a");
}

}  // namespace
}  // namespace corvio::server
