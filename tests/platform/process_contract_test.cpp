// SPDX-License-Identifier: Apache-2.0
// The contract of the process facilities, built for every platform: temporary files, starting
// a program, and lowering a thread's priority.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace corvio {
namespace {

TEST(ProcessContract, TemporaryFilesAreNewEmptyAndNamedWithThePrefix) {
  FileSystem& fs = real_file_system();
  const std::string a = make_temp_file("zzz");
  const std::string b = make_temp_file("zzz");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  EXPECT_NE(a, b);
  for (const std::string& path : {a, b}) {
    auto info = fs.find(path);
    ASSERT_TRUE(info) << path;
    EXPECT_EQ(info->size, 0u);
    EXPECT_EQ(info->name.substr(0, 3), "zzz");
    EXPECT_TRUE(fs.remove(path));
  }
}

TEST(ProcessContract, AStartedProgramRunsWithoutBeingWaitedFor) {
  FileSystem& fs = real_file_system();
  fs.remove(CORVIO_CHILD_MARK);
  ASSERT_TRUE(start_process(CORVIO_CHILD_PROGRAM));
  bool ran = false;
  for (int i = 0; i < 200 && !ran; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ran = fs.exists(CORVIO_CHILD_MARK);
  }
  EXPECT_TRUE(ran) << "the child program left no mark at " << CORVIO_CHILD_MARK;
  fs.remove(CORVIO_CHILD_MARK);

  test::TempDir dir;
  EXPECT_FALSE(start_process(dir.file("autoupdate.exe")));
}

TEST(ProcessContract, ThreadPrioritiesCanBeLoweredByTheThreadAndByAnother) {
  ThreadId ended = 0;
  int own = -2;
  std::thread worker([&] {
    ended = current_thread_id();
    own = set_thread_priority(ended, 1);  // below normal
  });
  worker.join();
  EXPECT_EQ(own, 0);
  EXPECT_NE(ended, current_thread_id());
  // A thread that has ended can no longer be changed.
  EXPECT_EQ(set_thread_priority(ended, 0), -1);

  std::atomic<bool> done{false};
  std::atomic<ThreadId> id{0};
  std::thread idle([&] {
    id = current_thread_id();
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (id == 0) std::this_thread::yield();
  EXPECT_EQ(set_thread_priority(id, 0), 0);  // idle, set from this thread
  done = true;
  idle.join();
}

}  // namespace
}  // namespace corvio
