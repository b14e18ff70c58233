// SPDX-License-Identifier: Apache-2.0
// Windows reports file sizes and file times as pairs of 32-bit halves, and times in
// 100-nanosecond units since 1601-01-01. These turn them into the program's own units; they
// are plain arithmetic, so every build tests them.
#pragma once

#include <cstdint>

namespace corvio {

// 1970-01-01 00:00:00 UTC in 100-nanosecond units since 1601-01-01.
inline constexpr int64_t kFileTimeUnixEpoch = 116444736000000000;

// high × 2^32 + low: sizes (nFileSizeHigh, nFileSizeLow) and times (dwHighDateTime,
// dwLowDateTime).
constexpr uint64_t from_halves(uint32_t high, uint32_t low) {
  return (static_cast<uint64_t>(high) << 32) | low;
}

// Seconds since 1970 (UTC) of a file time: the epoch is subtracted, then the 100-nanosecond
// units are divided down to whole seconds, rounding towards the past, so a time before 1970
// is negative rather than wrapped round to a date far in the future.
constexpr int64_t file_time_to_unix(uint64_t file_time) {
  // Times above 2^63 are not valid file times; they are clamped instead of turning negative.
  const int64_t t = file_time > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX
                                                                 : static_cast<int64_t>(file_time);
  const int64_t units = t - kFileTimeUnixEpoch;
  const int64_t seconds = units / 10000000;
  return units % 10000000 < 0 ? seconds - 1 : seconds;
}

}  // namespace corvio
