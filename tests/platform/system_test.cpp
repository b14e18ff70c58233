// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace corvio {
namespace {

// Sets an environment variable for the length of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) old_ = old;
    had_ = old != nullptr;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_;
};

TEST(DirectoriesTest, DataDirectoryFollowsXdgThenHome) {
  ScopedEnv home("HOME", "/home/u");
  {
    ScopedEnv xdg("XDG_DATA_HOME", "/data/x/");
    EXPECT_EQ(user_data_dir(), "/data/x/meridane-online-backup");
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", "relative/dir");  // not absolute: ignored
    EXPECT_EQ(user_data_dir(), "/home/u/.local/share/meridane-online-backup");
  }
  ScopedEnv xdg("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(user_data_dir(), "/home/u/.local/share/meridane-online-backup");
  ScopedEnv no_home("HOME", nullptr);
  EXPECT_FALSE(user_data_dir().has_value());
}

TEST(DirectoriesTest, InstallDirectoryHoldsTheRunningProgram) {
  auto dir = install_dir();
  ASSERT_TRUE(dir.has_value());
  struct stat st {};
  EXPECT_EQ(stat((*dir + "/platform_test").c_str(), &st), 0) << *dir;
}

TEST(DirectoriesTest, MakeDirsCreatesPrivateParentsAndRefusesAFileInTheWay) {
  test::TempDir tmp;
  std::string deep = tmp.file("a/b/c");
  ASSERT_TRUE(make_dirs(deep));
  ASSERT_TRUE(make_dirs(deep));  // existing is fine
  struct stat st {};
  ASSERT_EQ(stat(tmp.file("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  test::write_file(tmp.file("f"), "x");
  EXPECT_FALSE(make_dirs(tmp.file("f/sub")));
  EXPECT_FALSE(make_dirs(tmp.file("f")));
  EXPECT_FALSE(make_dirs(""));
}

TEST(ProcessTest, TemporaryFilesAreNewEmptyAndPrivate) {
  std::string a = make_temp_file();
  std::string b = make_temp_file();
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  struct stat st {};
  ASSERT_EQ(stat(a.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::remove(a.c_str());
  std::remove(b.c_str());
}

TEST(ProcessTest, StartingAProgramReportsWhetherItStarted) {
  EXPECT_TRUE(start_process("/bin/true"));
  EXPECT_FALSE(start_process("/nonexistent/autoupdate"));
}

TEST(ProcessTest, LoweringAThreadsPriorityChangesOnlyThatThread) {
  int main_before = getpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id()));
  int seen = -100;
  std::thread worker([&] {
    ThreadId self = current_thread_id();
    ASSERT_EQ(set_thread_priority(self, 0), 0);  // idle
    seen = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
  });
  worker.join();
  EXPECT_EQ(seen, 19);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id())), main_before);
}

TEST(ClockTest, SystemClockTellsTimeAndSleeps) {
  Clock& clock = system_clock();
  EXPECT_LE(std::llabs(clock.now() - static_cast<int64_t>(std::time(nullptr))), 1);
  int64_t before = clock.now_ms();
  clock.sleep_ms(30);
  EXPECT_GE(clock.now_ms() - before, 30);
}

}  // namespace
}  // namespace corvio
