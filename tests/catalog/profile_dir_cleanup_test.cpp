// SPDX-License-Identifier: Apache-2.0
#include "catalog/profile_dir_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "base/backup_session.h"
#include "support/test_world.h"

namespace corvio {
namespace {

class ProfileDirCleanupTest : public ::testing::Test {
 protected:
  ProfileDirCleanupTest() {
    session.profile = std::make_unique<Profile>();
    session.profile->tag = "daily";
    dir = world.ctx.profile_dir("daily");
    std::filesystem::create_directories(dir);
  }

  void touch(const std::string& name) { test::write_file(dir + "/" + name, "x"); }
  void touch_run(uint32_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "%08x", number);
    touch(std::string(name) + ".cat");
    touch(std::string(name) + ".log");
  }
  std::set<std::string> files() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  test::TestWorld world;
  BackupSession session;
  std::string dir;
};

TEST_F(ProfileDirCleanupTest, KeepsTheEightHighestNumbersAndNothingElseOfTheirShape) {
  for (uint32_t n = 0x0a; n <= 0x13; ++n) touch_run(n);
  touch("00000005.cat-journal");  // a stray journal of a pruned number
  touch("00000013.cat-journal");  // the journal of a kept number
  touch("daily.cfg");
  touch("daily.cfg.bak");
  touch("0000000a.txt");
  std::filesystem::create_directory(dir + "/00000001.cat");  // a directory is not a catalog

  EXPECT_EQ(profile_dir_cleanup(world.ctx, session), 0);

  std::set<std::string> expected = {"00000013.cat-journal", "daily.cfg", "daily.cfg.bak",
                                    "0000000a.txt", "00000001.cat"};
  for (const char* number : {"0000000c", "0000000d", "0000000e", "0000000f", "00000010", "00000011",
                             "00000012", "00000013"}) {
    expected.insert(std::string(number) + ".cat");
    expected.insert(std::string(number) + ".log");
  }
  EXPECT_EQ(files(), expected);
}

TEST_F(ProfileDirCleanupTest, SuffixesCountInAnyLetterCaseAndJournalsDoNotCount) {
  for (uint32_t n = 0x0d; n <= 0x13; ++n) touch_run(n);
  touch("0000000C.LOG");  // the eighth number, in upper case
  touch("0000000b.cat");
  // Journals of higher numbers do not push catalogs out of the eight.
  for (uint32_t n = 0x20; n < 0x29; ++n) {
    char name[24];
    std::snprintf(name, sizeof name, "%08x.cat-journal", n);
    touch(name);
  }

  profile_dir_cleanup(world.ctx, session);

  std::set<std::string> left = files();
  EXPECT_TRUE(left.count("0000000C.LOG"));
  EXPECT_FALSE(left.count("0000000b.cat"));
  EXPECT_TRUE(left.count("0000000d.cat"));
  EXPECT_EQ(left.size(), 15u);  // seven runs of two files and 0000000C.LOG
}

TEST_F(ProfileDirCleanupTest, WithFewerThanEightRunsEverythingStaysIncludingNumberZero) {
  touch_run(0);
  touch_run(7);
  touch("00000007.cat-journal");
  touch("00000003.cat-journal");  // no catalog of its own
  profile_dir_cleanup(world.ctx, session);
  EXPECT_EQ(files(), (std::set<std::string>{"00000000.cat", "00000000.log", "00000007.cat",
                                            "00000007.log", "00000007.cat-journal"}));
}

TEST_F(ProfileDirCleanupTest, AMissingDirectoryIsPassedOver) {
  session.profile->tag = "never-ran";
  EXPECT_EQ(profile_dir_cleanup(world.ctx, session), 0);
  EXPECT_TRUE(world.messages.shown().empty());
}

}  // namespace
}  // namespace corvio
