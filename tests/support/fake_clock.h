// SPDX-License-Identifier: Apache-2.0
// A clock that only moves when told to, or when someone sleeps on it. Sleeps return at once
// and advance the time, so a 300-second back-off takes no real time. on_sleep, when set, runs
// after every sleep (with the milliseconds slept) so a test can act at a chosen moment, such
// as setting the cancel flag during a countdown.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace corvio::test {

class FakeClock : public Clock {
 public:
  explicit FakeClock(int64_t start_seconds = 1'700'000'000) : ms_(start_seconds * 1000) {}

  int64_t now() override { return ms_.load() / 1000; }
  int64_t now_ms() override { return ms_.load(); }
  void sleep_ms(uint32_t ms) override {
    ms_ += ms;
    {
      std::lock_guard<std::mutex> lock(mu_);
      sleeps_.push_back(ms);
    }
    if (on_sleep) on_sleep(ms);
  }

  void advance_ms(int64_t ms) { ms_ += ms; }
  void set_now(int64_t seconds) { ms_ = seconds * 1000; }
  std::vector<uint32_t> sleeps() {
    std::lock_guard<std::mutex> lock(mu_);
    return sleeps_;
  }

  std::function<void(uint32_t)> on_sleep;

 private:
  std::atomic<int64_t> ms_;
  std::mutex mu_;
  std::vector<uint32_t> sleeps_;
};

}  // namespace corvio::test
