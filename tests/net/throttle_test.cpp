// SPDX-License-Identifier: Apache-2.0
#include "net/throttle.h"

#include <gtest/gtest.h>

#include "base/backup_session.h"
#include "net/net_settings.h"
#include "base/profile.h"
#include "support/fake_clock.h"

namespace corvio {
namespace {

TEST(RateToBytes, EveryUnit) {
  EXPECT_EQ(rate_to_bytes(7, 0), 7u);
  EXPECT_EQ(rate_to_bytes(3, 1), 3072u);
  EXPECT_EQ(rate_to_bytes(2, 2), 2097152u);
  EXPECT_EQ(rate_to_bytes(50, 3), 6u);    // truncated
  EXPECT_EQ(rate_to_bytes(8, 4), 1024u);  // multiplied before dividing
  EXPECT_EQ(rate_to_bytes(1, 4), 128u);
  EXPECT_EQ(rate_to_bytes(3, 5), 393216u);
  EXPECT_EQ(rate_to_bytes(5, 6), 100u);
  EXPECT_EQ(rate_to_bytes(5, 0xFFFFFFFF), 100u);
  // Large rates do not wrap around in 32 bits.
  EXPECT_EQ(rate_to_bytes(4096, 2), 4294967296u);
  EXPECT_EQ(rate_to_bytes(40000, 5), 5242880000u);
}

Profile tx_profile(uint32_t rate, uint32_t unit) {
  Profile p;
  p.tx_limit_enabled = 1;
  p.tx_limit_rate = rate;
  p.tx_limit_unit = unit;
  return p;
}

TEST(ThrottleTick, EightKbpsAddsATenthUntilHalfASecondIsBanked) {
  Profile p = tx_profile(8, 4);  // 1024 bytes per second
  throttle_tick(p);
  EXPECT_EQ(p.tx_allowance, 102);
  for (int i = 0; i < 4; ++i) throttle_tick(p);
  EXPECT_EQ(p.tx_allowance, 510);
  throttle_tick(p);  // 510 is still below 512
  EXPECT_EQ(p.tx_allowance, 612);
  throttle_tick(p);
  EXPECT_EQ(p.tx_allowance, 612);
  EXPECT_EQ(p.rx_allowance, 0);  // the receive limit is off
}

TEST(ThrottleTick, FiftyBpsAddsTheMinimumOfTen) {
  Profile p = tx_profile(50, 3);  // 6 bytes per second: a tenth is 0
  p.tx_allowance = -25;
  throttle_tick(p);
  EXPECT_EQ(p.tx_allowance, -15);
  throttle_tick(p);
  throttle_tick(p);
  EXPECT_EQ(p.tx_allowance, 5);  // 5 is not below 3
  throttle_tick(p);
  EXPECT_EQ(p.tx_allowance, 5);
}

TEST(ThrottleTick, RatesBeyondThirtyOneBitsStillRefill) {
  // 2048 MB/s is 2^31 bytes per second; 4096 MB/s would wrap to 0 in 32 bits.
  for (uint32_t rate : {2048u, 4096u}) {
    Profile p = tx_profile(rate, 2);
    p.tx_allowance = -1000;
    throttle_tick(p);
    EXPECT_EQ(p.tx_allowance, -1000 + 214748364) << rate;
    for (int i = 0; i < 10; ++i) throttle_tick(p);
    EXPECT_GE(p.tx_allowance, 1073741823) << rate;  // stops at half a second, no overflow
    EXPECT_GT(p.tx_allowance, 0) << rate;
  }
}

TEST(ThrottleTick, ReceiveDirection) {
  Profile p;
  p.rx_limit_enabled = 1;
  p.rx_limit_rate = 1;
  p.rx_limit_unit = 1;
  throttle_tick(p);
  EXPECT_EQ(p.rx_allowance, 102);
  EXPECT_EQ(p.tx_allowance, 0);
}

struct ThrottleFixture : ::testing::Test {
  ThrottleFixture() {
    run.profile = std::make_unique<Profile>();
    run.profile->tx_limit_enabled = 1;
    run.profile->tx_limit_rate = 8;
    run.profile->tx_limit_unit = 4;
  }
  BackupSession run;
  test::FakeClock clock;
};

TEST_F(ThrottleFixture, SendGoesAheadAtZeroAndLeavesDebt) {
  throttle_tx(run, clock, 4098, 50);
  EXPECT_EQ(run.profile->tx_allowance, -4098);
  EXPECT_EQ(run.net_tx_bytes, 4098u);
  EXPECT_TRUE(clock.sleeps().empty());

  // The next send waits in 50 ms steps until the timer has paid the debt off.
  clock.on_sleep = [&](uint32_t) { throttle_tick(*run.profile); };
  throttle_tx(run, clock, 10, 50);
  EXPECT_EQ(clock.sleeps().size(), 41u);  // 41 ticks of 102 bytes cover 4098
  EXPECT_EQ(clock.sleeps()[0], 50u);
  EXPECT_EQ(run.profile->tx_allowance, 41 * 102 - 4098 - 10);
  EXPECT_EQ(run.net_tx_bytes, 4108u);
}

TEST_F(ThrottleFixture, TurningTheLimitOffEndsTheWait) {
  run.profile->tx_allowance = -1;
  clock.on_sleep = [&](uint32_t) {
    if (clock.sleeps().size() == 3) run.profile->tx_limit_enabled = 0;
  };
  throttle_tx(run, clock, 5, 50);
  EXPECT_EQ(clock.sleeps().size(), 3u);
  EXPECT_EQ(run.net_tx_bytes, 5u);
}

TEST_F(ThrottleFixture, ReceiveCountsAndWaitsOnItsOwnAllowance) {
  throttle_rx(run, clock, 700, 50);  // the receive limit is off: counted, never held
  EXPECT_EQ(run.net_rx_bytes, 700u);
  EXPECT_EQ(run.profile->rx_allowance, 0);
  run.profile->rx_limit_enabled = 1;
  run.profile->rx_allowance = -1;
  clock.on_sleep = [&](uint32_t) { run.profile->rx_allowance = 0; };
  throttle_rx(run, clock, 3, 50);
  EXPECT_EQ(clock.sleeps().size(), 1u);
  EXPECT_EQ(run.profile->rx_allowance, -3);
  EXPECT_EQ(run.net_rx_bytes, 703u);
  EXPECT_EQ(run.profile->tx_allowance, 0);
}

TEST(Backoff, BothTablesByAttempt) {
  NetSettings s;
  auto table = [](const std::vector<BackoffStep>& t, uint32_t from, uint32_t to) {
    std::vector<uint32_t> out;
    for (uint32_t a = from; a <= to; ++a) out.push_back(backoff_seconds(t, a));
    return out;
  };
  using V = std::vector<uint32_t>;
  EXPECT_EQ(table(s.connect_backoff, 1, 12), V({5, 5, 10, 10, 10, 10, 20, 20, 20, 20, 20, 60}));
  EXPECT_EQ(table(s.connect_backoff, 20, 23), V({60, 60, 120, 120}));
  EXPECT_EQ(table(s.connect_backoff, 51, 53), V({120, 300, 300}));
  EXPECT_EQ(backoff_seconds(s.connect_backoff, 1'000'000), 300u);
  EXPECT_EQ(table(s.reconnect_backoff, 1, 12), V({5, 10, 10, 10, 10, 20, 20, 20, 20, 20, 60, 60}));
  EXPECT_EQ(table(s.reconnect_backoff, 20, 22), V({60, 300, 300}));
  EXPECT_EQ(backoff_seconds(s.reconnect_backoff, 1'000'000), 300u);
}

}  // namespace
}  // namespace corvio
