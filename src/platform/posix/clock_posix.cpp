// SPDX-License-Identifier: Apache-2.0
#include <errno.h>
#include <time.h>

#include <ctime>

#include "platform/clock.h"

namespace corvio {
namespace {

class PosixClock : public Clock {
 public:
  int64_t now() override { return static_cast<int64_t>(::time(nullptr)); }

  int64_t now_ms() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }

  void sleep_ms(uint32_t ms) override {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
  }
};

}  // namespace

Clock& system_clock() {
  static PosixClock clock;
  return clock;
}

std::string local_time_text(int64_t t) {
  const time_t when = static_cast<time_t>(t);
  struct tm parts;
  if (!::localtime_r(&when, &parts)) return std::string();
  char text[64];
  if (std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &parts) == 0) return std::string();
  return text;
}

}  // namespace corvio
