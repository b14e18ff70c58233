// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/file_time.h"

namespace corvio {
namespace {

class Win32Clock : public Clock {
 public:
  int64_t now() override {
    FILETIME t;
    ::GetSystemTimeAsFileTime(&t);
    return file_time_to_unix(from_halves(t.dwHighDateTime, t.dwLowDateTime));
  }
  int64_t now_ms() override { return static_cast<int64_t>(::GetTickCount64()); }
  void sleep_ms(uint32_t ms) override { ::Sleep(ms); }
};

}  // namespace

Clock& system_clock() {
  static Win32Clock clock;
  return clock;
}

std::string local_time_text(int64_t t) {
  // Written out by hand: the C library of Windows has no "%e" for a blank-padded day.
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const __time64_t when = t;
  struct tm parts;
  if (_localtime64_s(&parts, &when) != 0) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[parts.tm_wday],
                kMonths[parts.tm_mon], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                parts.tm_year + 1900);
  return text;
}

}  // namespace corvio
