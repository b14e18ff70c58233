// SPDX-License-Identifier: Apache-2.0
#include "base/display.h"

#include <gtest/gtest.h>

#include "support/recording_view.h"
#include "util/format_count.h"

namespace corvio::ui {
namespace {

TEST(FormatCount, GroupsDigitsInThreesWithCommas) {
  EXPECT_EQ(format_count(0), "0");
  EXPECT_EQ(format_count(999), "999");
  EXPECT_EQ(format_count(1000), "1,000");
  EXPECT_EQ(format_count(1234567), "1,234,567");
  EXPECT_EQ(format_count(1000000000), "1,000,000,000");
  EXPECT_EQ(format_count(UINT64_MAX), "18,446,744,073,709,551,615");
}

TEST(Display, DoesNothingWithoutAWindow) {
  Display display;
  display.set_status_text("Connecting...");
  display.set_files(3);
  display.show_run_finished();
  EXPECT_EQ(display.status_text(), "");

  test::RecordingView view;
  display.attach(&view);
  EXPECT_EQ(view.statuses().size(), 0u);  // nothing was kept from before
  EXPECT_FALSE(view.run_finished);
}

TEST(Display, CounterFieldsHoldTheFormattedValueAndABlank) {
  Display display;
  test::RecordingView view;
  display.attach(&view);
  display.set_files(1234);
  display.set_bytes_total(5'000'000'000ULL);
  display.set_status_text("Paused...");
  EXPECT_EQ(view.field(Field::Files), "1,234 ");
  EXPECT_EQ(view.field(Field::BytesTotal), "5,000,000,000 ");
  EXPECT_EQ(display.status_text(), "Paused...");
  display.detach();
  display.set_files(1);
  EXPECT_EQ(view.field(Field::Files), "1,234 ");
}

}  // namespace
}  // namespace corvio::ui
