// SPDX-License-Identifier: Apache-2.0
#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "platform/directories.h"
#include "support/temp_dir.h"

namespace corvio {
namespace {

class RealFileSystem : public ::testing::Test {
 protected:
  FileSystem& fs = real_file_system();
  test::TempDir dir;
};

TEST_F(RealFileSystem, FindsFilesAndDirectoriesWithTheirAttributes) {
  test::write_file(dir.file("a.txt"), "hello");
  test::write_file(dir.file(".hidden"), "");
  ASSERT_TRUE(fs.make_dir(dir.file("sub")));
  EXPECT_TRUE(fs.make_dir(dir.file("sub")));  // existing directory is success

  auto file = fs.find(dir.file("a.txt"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->name, "a.txt");
  EXPECT_EQ(file->size, 5u);
  EXPECT_EQ(file->attributes, kAttrArchive);
  EXPECT_GT(file->t_write, 1'000'000'000);
  EXPECT_EQ(file->owner, static_cast<uint32_t>(::getuid()));

  EXPECT_TRUE(fs.find(dir.file("sub"))->is_directory());
  EXPECT_EQ(fs.find(dir.file(".hidden"))->attributes, kAttrArchive | kAttrHidden);
  EXPECT_FALSE(fs.find(dir.file("missing")));
  EXPECT_FALSE(fs.exists(dir.file("missing")));
  ::chmod(dir.file("a.txt").c_str(), 0444);
  EXPECT_TRUE(fs.find(dir.file("a.txt"))->attributes & kAttrReadOnly);
}

TEST_F(RealFileSystem, LinksAndSpecialFilesAreNeverEntered) {
  ASSERT_TRUE(fs.make_dir(dir.file("real")));
  ASSERT_EQ(::symlink(dir.file("real").c_str(), dir.file("link").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);

  auto link = fs.find(dir.file("link"));
  ASSERT_TRUE(link);
  EXPECT_FALSE(link->is_directory());
  EXPECT_TRUE(link->attributes & kAttrOffline);
  EXPECT_TRUE(fs.find(dir.file("fifo"))->attributes & kAttrOffline);
  // Opening a FIFO neither blocks nor follows anything; a link is refused outright.
  EXPECT_EQ(fs.open_read(dir.file("link")), nullptr);
}

// A directory that can be read but not searched lists its names, but nothing more can be
// learnt of them: each is listed with the reason instead of being left out. Root may search
// any directory, so the listing runs in a child as an ordinary user.
TEST_F(RealFileSystem, EntriesThatCannotBeExaminedAreListedWithTheReason) {
  ASSERT_TRUE(fs.make_dir(dir.file("locked")));
  test::write_file(dir.file("locked/a.txt"), "a");
  ::chmod(dir.path().c_str(), 0755);
  ::chmod(dir.file("locked").c_str(), 0444);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    std::vector<FileInfo> entries;
    if (!fs.list(dir.file("locked"), &entries)) ::_exit(4);
    const bool reported = entries.size() == 1 && entries[0].name == "a.txt" &&
                          entries[0].error == "Permission denied" && entries[0].attributes == 0;
    ::_exit(reported ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(dir.file("locked").c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);  // 5: the entry was left out or had no reason
}

TEST_F(RealFileSystem, ListsReadsRenamesAndRemoves) {
  test::write_file(dir.file("one"), std::string(10000, 'x'));
  ASSERT_TRUE(fs.make_dir(dir.file("two")));
  std::vector<FileInfo> entries;
  ASSERT_TRUE(fs.list(dir.path(), &entries));
  std::vector<std::string> names;
  for (auto& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
  EXPECT_FALSE(fs.list(dir.file("nothing"), &entries));

  auto f = fs.open_read(dir.file("one"));
  ASSERT_TRUE(f);
  char buf[8192];
  EXPECT_EQ(f->read(buf, sizeof buf), 8192);
  EXPECT_EQ(f->read(buf, sizeof buf), 10000 - 8192);
  EXPECT_EQ(f->read(buf, sizeof buf), 0);

  test::write_file(dir.file("target"), "old");
  EXPECT_TRUE(fs.rename(dir.file("one"), dir.file("target")));
  EXPECT_EQ(fs.find(dir.file("target"))->size, 10000u);
  EXPECT_TRUE(fs.remove(dir.file("target")));
  EXPECT_FALSE(fs.remove(dir.file("target")));
  EXPECT_EQ(fs.open_read(dir.file("target")), nullptr);
}

TEST_F(RealFileSystem, SizesAboveFourGibibytesAreWhole) {
  test::write_file(dir.file("big"), "");
  const uint64_t size = (5ull << 30) + 3;  // sparse: no blocks are written
  ASSERT_EQ(::truncate(dir.file("big").c_str(), static_cast<off_t>(size)), 0);
  EXPECT_EQ(fs.find(dir.file("big"))->size, size);
  std::vector<FileInfo> entries;
  ASSERT_TRUE(fs.list(dir.path(), &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, size);
}

TEST(Directories, DataDirFollowsTheEnvironment) {
  std::string saved_home = ::getenv("HOME") ? ::getenv("HOME") : "";
  ::setenv("XDG_DATA_HOME", "/x/data/", 1);
  EXPECT_EQ(user_data_dir(), "/x/data/meridane-online-backup");
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(user_data_dir(), "/home/u/.local/share/meridane-online-backup");
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  EXPECT_FALSE(user_data_dir());
  ::setenv("HOME", saved_home.c_str(), 1);
  EXPECT_TRUE(install_dir().has_value());
}

TEST(Directories, MakeDirsCreatesEveryMissingParent) {
  test::TempDir dir;
  EXPECT_TRUE(make_dirs(dir.file("a/b/c")));
  EXPECT_TRUE(real_file_system().find(dir.file("a/b/c"))->is_directory());
  EXPECT_TRUE(make_dirs(dir.file("a/b/c")));
  test::write_file(dir.file("f"), "");
  EXPECT_FALSE(make_dirs(dir.file("f/g")));
}

}  // namespace
}  // namespace corvio
