// SPDX-License-Identifier: Apache-2.0
// The client's version, recorded in every database it writes and sent when it logs in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace corvio {

inline constexpr uint32_t kVersionMajor = 0;
inline constexpr uint32_t kVersionMinor = 13;
inline constexpr uint32_t kVersionBuild = 4;

// "v0.13.0004"
inline std::string version_text() {
  char buf[32];
  std::snprintf(buf, sizeof buf, "v%d.%02d.%04d", kVersionMajor, kVersionMinor, kVersionBuild);
  return buf;
}

}  // namespace corvio
