// SPDX-License-Identifier: Apache-2.0
#include "login_throttle.h"

#include <gtest/gtest.h>

namespace corvio::server {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(LoginThrottleTest, FailuresSlowTheirLoginAndAddressUpToACap) {
  LoginThrottle throttle;
  auto t = LoginThrottle::Clock::time_point() + std::chrono::hours(1);
  EXPECT_EQ(throttle.delay("alice", "10.0.0.1", t), milliseconds(0));
  // The wait doubles with each failure, from 0.2 s up to 10 s.
  const int64_t expected[] = {200, 400, 800, 1600, 3200, 6400, 10000, 10000};
  for (int64_t want : expected) {
    throttle.record("alice", "10.0.0.1", false, t);
    EXPECT_EQ(throttle.delay("alice", "10.0.0.1", t), milliseconds(want));
  }
  EXPECT_EQ(throttle.delay_for(1000000), milliseconds(10000));
  // Counted against the login from any address, and against the address for any login; the
  // larger count decides. An unknown login name is counted like a known one.
  EXPECT_EQ(throttle.delay("alice", "10.0.0.2", t), milliseconds(10000));
  EXPECT_EQ(throttle.delay("nobody", "10.0.0.1", t), milliseconds(10000));
  EXPECT_EQ(throttle.delay("bob", "10.0.0.2", t), milliseconds(0));
  throttle.record("nobody", "10.0.0.3", false, t);
  EXPECT_EQ(throttle.delay("nobody", "10.0.0.4", t), milliseconds(200));

  // A success clears its login's count, not its address's.
  throttle.record("alice", "10.0.0.2", true, t);
  EXPECT_EQ(throttle.delay("alice", "10.0.0.2", t), milliseconds(0));
  EXPECT_EQ(throttle.delay("carol", "10.0.0.1", t), milliseconds(10000));

  // Counts are forgotten after 15 quiet minutes; a failure before then keeps them.
  EXPECT_EQ(throttle.delay("carol", "10.0.0.1", t + seconds(899)), milliseconds(10000));
  EXPECT_EQ(throttle.delay("carol", "10.0.0.1", t + seconds(900)), milliseconds(0));
  throttle.record("carol", "10.0.0.1", false, t + seconds(900));
  EXPECT_EQ(throttle.delay("carol", "10.0.0.1", t + seconds(901)), milliseconds(200));
}

TEST(LoginThrottleTest, TableOfCountsIsBounded) {
  LoginThrottle::Policy policy;
  policy.max_entries = 100;
  LoginThrottle throttle(policy);
  auto t = LoginThrottle::Clock::time_point() + std::chrono::hours(1);
  for (int i = 0; i < 1000; ++i) {
    throttle.record("guess" + std::to_string(i), "10.0.0.9", false, t + milliseconds(i));
  }
  EXPECT_LE(throttle.entries(), 100u);
  // The newest survive; the address, failing all along, is among them.
  EXPECT_EQ(throttle.delay("guess999", "10.0.0.8", t + seconds(1)), milliseconds(200));
  EXPECT_EQ(throttle.delay("x", "10.0.0.9", t + seconds(1)), milliseconds(10000));
  EXPECT_EQ(throttle.delay("guess0", "10.0.0.8", t + seconds(1)), milliseconds(0));
}

}  // namespace
}  // namespace corvio::server
