// SPDX-License-Identifier: Apache-2.0
// The contract of FileSystem, make_dirs and the clock, built for every platform and run against
// its real implementation over a temporary directory: a difference between the POSIX and the
// Windows implementation is a failing test here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace corvio {
namespace {

class FileSystemContract : public ::testing::Test {
 protected:
  FileSystem& fs = real_file_system();
  test::TempDir dir;
};

TEST_F(FileSystemContract, FindsFilesAndDirectoriesWithTheirAttributesSizesAndTimes) {
  test::write_file(dir.file("a.txt"), "hello");
  ASSERT_TRUE(fs.make_dir(dir.file("sub")));
  EXPECT_TRUE(fs.make_dir(dir.file("sub")));  // an existing directory is success
  EXPECT_FALSE(fs.make_dir(dir.file("a.txt")));  // a file in the way is not

  auto file = fs.find(dir.file("a.txt"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->name, "a.txt");
  EXPECT_EQ(file->size, 5u);
  EXPECT_FALSE(file->is_directory());
  EXPECT_TRUE(file->attributes & kAttrArchive);
  EXPECT_FALSE(file->attributes & (kAttrReadOnly | kAttrOffline));
  // The times are converted to seconds since 1970: a file written just now has "now".
  const int64_t now = system_clock().now();
  for (int64_t t : {file->t_access, file->t_create, file->t_write}) {
    EXPECT_LE(std::llabs(t - now), 120) << t << " against " << now;
  }

  auto sub = fs.find(dir.file("sub"));
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->name, "sub");
  EXPECT_TRUE(sub->is_directory());
  EXPECT_EQ(sub->size, 0u);
  EXPECT_TRUE(fs.find(dir.file("sub") + "/")->is_directory());  // a trailing separator

  std::filesystem::permissions(dir.file("a.txt"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_TRUE(fs.find(dir.file("a.txt"))->attributes & kAttrReadOnly);
}

TEST_F(FileSystemContract, AMissingEntryIsNothingEverywhere) {
  EXPECT_FALSE(fs.find(dir.file("missing")));
  EXPECT_FALSE(fs.exists(dir.file("missing")));
  EXPECT_FALSE(fs.find(dir.file("*")));  // a pattern names no entry, even in a full directory
  test::write_file(dir.file("x"), "");
  EXPECT_FALSE(fs.find(dir.file("?")));
  std::vector<FileInfo> entries{FileInfo{}};
  EXPECT_FALSE(fs.list(dir.file("missing"), &entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(fs.open_read(dir.file("missing")), nullptr);
  EXPECT_FALSE(fs.remove(dir.file("missing")));
  EXPECT_FALSE(fs.rename(dir.file("missing"), dir.file("y")));
  std::string out;
  EXPECT_FALSE(fs.read_all(dir.file("missing"), &out));
  EXPECT_FALSE(fs.read_all(dir.path(), &out));  // a directory is not a readable file
}

TEST_F(FileSystemContract, ListsReadsRenamesAndRemoves) {
  test::write_file(dir.file("one"), std::string(10000, 'x'));
  ASSERT_TRUE(fs.make_dir(dir.file("two")));
  std::vector<FileInfo> entries;
  ASSERT_TRUE(fs.list(dir.path(), &entries));
  std::sort(entries.begin(), entries.end(),
            [](const FileInfo& a, const FileInfo& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);  // without "." and ".."
  EXPECT_EQ(entries[0].name, "one");
  EXPECT_EQ(entries[0].size, 10000u);
  EXPECT_EQ(entries[1].name, "two");
  EXPECT_TRUE(entries[1].is_directory());
  ASSERT_TRUE(fs.list(dir.file("two"), &entries));
  EXPECT_TRUE(entries.empty());

  auto f = fs.open_read(dir.file("one"));
  ASSERT_TRUE(f);
  char buf[8192];
  EXPECT_EQ(f->read(buf, sizeof buf), 8192);
  EXPECT_EQ(f->read(buf, sizeof buf), 10000 - 8192);
  EXPECT_EQ(f->read(buf, sizeof buf), 0);
  f.reset();

  test::write_file(dir.file("target"), "old");
  EXPECT_TRUE(fs.rename(dir.file("one"), dir.file("target")));
  EXPECT_EQ(fs.find(dir.file("target"))->size, 10000u);
  EXPECT_FALSE(fs.exists(dir.file("one")));
  EXPECT_TRUE(fs.remove(dir.file("target")));
  EXPECT_FALSE(fs.remove(dir.file("target")));
}

TEST_F(FileSystemContract, MakeDirsCreatesEveryMissingParentAndRefusesAFileInTheWay) {
  EXPECT_TRUE(make_dirs(dir.file("a/b/c")));
  EXPECT_TRUE(fs.find(dir.file("a/b/c"))->is_directory());
  EXPECT_TRUE(make_dirs(dir.file("a/b/c")));
  test::write_file(dir.file("f"), "");
  EXPECT_FALSE(make_dirs(dir.file("f/g")));
  EXPECT_FALSE(make_dirs(dir.file("f")));
  EXPECT_FALSE(make_dirs(""));
}

TEST(ClockContract, TellsTimeSleepsAndWritesLocalTimes) {
  Clock& clock = system_clock();
  EXPECT_LE(std::llabs(clock.now() - static_cast<int64_t>(std::time(nullptr))), 1);
  const int64_t before = clock.now_ms();
  clock.sleep_ms(50);
  // The tick of some systems is about 16 ms coarse.
  EXPECT_GE(clock.now_ms() - before, 50 - 16);
  // 1970-01-05 12:00 UTC: a Monday whose day is padded with a blank in most time zones.
  const std::string text = local_time_text(388800);
  ASSERT_EQ(text.size(), 24u) << text;
  EXPECT_EQ(text.substr(3, 5), " Jan ");
  EXPECT_EQ(text[8], ' ');
  EXPECT_EQ(text.substr(19), " 1970");
}

}  // namespace
}  // namespace corvio
