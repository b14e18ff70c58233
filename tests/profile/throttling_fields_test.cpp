// SPDX-License-Identifier: Apache-2.0
#include "profile/throttling_fields.h"

#include <gtest/gtest.h>

#include "support/recording_messages.h"

namespace corvio {
namespace {

using test::ShownMessage;

Profile running_profile() {
  Profile p;
  p.thread_priority.store(2);
  p.tx_limit_unit.store(1);
  p.tx_limit_rate.store(50);
  p.rx_limit_unit.store(1);
  p.rx_limit_rate.store(50);
  p.tx_allowance.store(-123);
  return p;
}

TEST(ThrottlingFieldsTest, OpensOnTheRunningProfile) {
  Profile p = running_profile();
  p.thread_priority.store(7);  // runs below normal, so it shows so
  p.tx_limit_unit.store(9);
  p.block_delay_ms.store(0xFFFFFFFF);
  ThrottlingFields f = throttling_fields(p);
  EXPECT_EQ(f.priority_index, 3);
  EXPECT_EQ(f.tx_unit_index, 1);
  EXPECT_EQ(f.block_delay, "-1");
  EXPECT_EQ(f.tx_rate, "50");
  for (uint32_t stored = 0; stored <= 4; ++stored)
    EXPECT_EQ(throttling_priority_index_for(stored), static_cast<int>(4 - stored));
}

TEST(ThrottlingFieldsTest, ApplyChecksInOrderAndAFailureChangesNothing) {
  struct Case {
    const char* file_delay;
    const char* block_delay;
    bool tx;
    const char* tx_rate;
    bool rx;
    const char* rx_rate;
    ShownMessage shown;
  };
  const Case cases[] = {
      {"10001", "20000", true, "0", true, "0",
       {"Maximum delay between files is 10000ms (10 seconds)", "Delay Error"}},
      {"-1", "0", false, "0", false, "0",
       {"Maximum delay between files is 10000ms (10 seconds)", "Delay Error"}},
      {"10000", "10001", true, "0", false, "0",
       {"Maximum delay between blocks is 10000ms (10 seconds)", "Delay Error"}},
      {"0", "0", true, "abc", true, "", {"TX throttle rate value must be at least 1", "TX Rate Error"}},
      {"0", "0", false, "0", true, "", {"RX throttle rate value must be at least 1", "RX Rate Error"}},
  };
  for (const Case& c : cases) {
    test::RecordingMessages messages;
    Profile p = running_profile();
    ThrottlingFields f = throttling_fields(p);
    f.priority_index = 0;
    f.file_delay = c.file_delay;
    f.block_delay = c.block_delay;
    f.tx_limit = c.tx;
    f.tx_rate = c.tx_rate;
    f.rx_limit = c.rx;
    f.rx_rate = c.rx_rate;
    EXPECT_EQ(throttling_apply(messages, f, p), 1) << c.shown.text;
    EXPECT_EQ(messages.shown(), std::vector<ShownMessage>{c.shown});
    EXPECT_EQ(p.thread_priority.load(), 2u) << "not even the priority changes";
    EXPECT_EQ(p.file_delay_ms.load(), 0u);
    EXPECT_EQ(p.tx_limit_enabled.load(), 0u);
  }
}

TEST(ThrottlingFieldsTest, ApplyStoresEverySettingAndLeavesTheAllowances) {
  test::RecordingMessages messages;
  Profile p = running_profile();
  ThrottlingFields f;
  f.priority_index = 4;  // "Idle"
  f.file_delay = "10000";
  f.block_delay = "25ms";
  f.tx_limit = true;
  f.tx_rate = "8";
  f.tx_unit_index = 4;
  f.rx_limit = false;
  f.rx_rate = "0";  // accepted while its limit is off
  f.rx_unit_index = -1;
  ASSERT_EQ(throttling_apply(messages, f, p), 0);
  EXPECT_TRUE(messages.shown().empty());
  EXPECT_EQ(p.thread_priority.load(), 0u);
  EXPECT_EQ(p.file_delay_ms.load(), 10000u);
  EXPECT_EQ(p.block_delay_ms.load(), 25u);
  EXPECT_EQ(p.tx_limit_enabled.load(), 1u);
  EXPECT_EQ(p.tx_limit_rate.load(), 8u);
  EXPECT_EQ(p.tx_limit_unit.load(), 4u);
  EXPECT_EQ(p.rx_limit_enabled.load(), 0u);
  EXPECT_EQ(p.rx_limit_rate.load(), 0u);
  EXPECT_EQ(p.rx_limit_unit.load(), 1u);
  EXPECT_EQ(p.tx_allowance.load(), -123);

  // No priority selected, and position 3, both run below normal.
  f.priority_index = -1;
  ASSERT_EQ(throttling_apply(messages, f, p), 0);
  EXPECT_EQ(p.thread_priority.load(), 1u);
}

}  // namespace
}  // namespace corvio
