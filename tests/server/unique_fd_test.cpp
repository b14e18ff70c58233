// SPDX-License-Identifier: Apache-2.0
#include "unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace corvio::server {
namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

TEST(UniqueFd, MoveAssignmentClosesTheOldDescriptorAndTakesTheNewOne) {
  int first[2];
  int second[2];
  ASSERT_EQ(pipe(first), 0);
  ASSERT_EQ(pipe(second), 0);
  UniqueFd first_write(first[1]);
  UniqueFd second_write(second[1]);
  {
    UniqueFd held(first[0]);
    UniqueFd moved(second[0]);
    held = std::move(moved);
    EXPECT_FALSE(is_open(first[0]));
    EXPECT_EQ(held.get(), second[0]);
    EXPECT_EQ(moved.get(), -1);
    EXPECT_TRUE(is_open(second[0]));
  }
  EXPECT_FALSE(is_open(second[0]));
}

}  // namespace
}  // namespace corvio::server
