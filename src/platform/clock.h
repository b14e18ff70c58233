// SPDX-License-Identifier: Apache-2.0
// Time, as the program sees it. Every "now" and every sleep goes through a Clock, so that the
// retry loops, back-offs, countdowns, pauses and cache ages can be tested with a fake clock
// that runs in milliseconds of real time.
#pragma once

#include <cstdint>
#include <string>

namespace corvio {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t now() = 0;
  // Milliseconds on a clock that only moves forward; for measuring waits, not for dates.
  virtual int64_t now_ms() = 0;
  virtual void sleep_ms(uint32_t ms) = 0;
};

// The calendar-time text of t (seconds since 1970) in local time, "Www Mmm dd hh:mm:ss yyyy":
// 24 characters, the day padded with a blank.
std::string local_time_text(int64_t t);

// The system's clock. Safe to use from any thread.
Clock& system_clock();

}  // namespace corvio
