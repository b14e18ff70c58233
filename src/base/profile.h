// SPDX-License-Identifier: Apache-2.0
// Profile: the loaded settings of one backup profile. Created by profile_load or the editor's
// new-profile defaults; read by the run. During a run the user-interface thread may change the
// throttling fields and the worker's priority (the throttling dialog) and the timer raises the
// allowances, so those fields are Relaxed; the worker reads them afresh at each use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path_style.h"
#include "util/relaxed.h"

namespace corvio {

// Widths of the stored texts, in characters. Longer stored values are cut to these. The tag,
// login and password widths are also the server's limits, and the login and password widths
// those of their fields in the login message.
inline constexpr size_t kTagChars = 31;
inline constexpr size_t kDescriptionChars = 255;
inline constexpr size_t kReservedParmChars = 255;
inline constexpr size_t kServerChars = 255;
inline constexpr size_t kLoginChars = 32;
inline constexpr size_t kPasswordChars = 32;
inline constexpr size_t kRulePathChars = 1023;

inline constexpr uint16_t kDefaultPort = 5420;

struct Profile {
  std::string tag;
  std::string description;
  std::string reserved_parm;
  std::string server;
  uint16_t port = 0;
  std::string login;
  std::string password;
  int32_t block_size = 0;             // stored and clamped, read by nothing: blocks are 1 MiB
  Relaxed<uint32_t> thread_priority;  // 0 idle, 1 below normal, 2 normal, 3 above, 4 highest
  Relaxed<uint32_t> file_delay_ms;
  Relaxed<uint32_t> block_delay_ms;
  uint32_t use_shadow_copy = 0;
  Relaxed<uint32_t> tx_limit_enabled;
  Relaxed<uint32_t> tx_limit_unit;  // 0 B/s, 1 KB/s, 2 MB/s, 3 bps, 4 kbps, 5 mbps
  Relaxed<uint32_t> tx_limit_rate;
  Relaxed<int32_t> tx_allowance;  // run time only: bytes that may still be sent this tick
  Relaxed<uint32_t> rx_limit_enabled;
  Relaxed<uint32_t> rx_limit_unit;
  Relaxed<uint32_t> rx_limit_rate;
  Relaxed<int32_t> rx_allowance;
  // Include paths and exclude patterns, in stored order; each at most kRulePathChars.
  std::vector<std::string> include_rules;
  std::vector<std::string> exclude_rules;
};

// Whether a rule means the same wherever a run starts (from a shell, cron or systemd): an
// absolute path, or for an exclude rule also a pattern that begins with a wildcard, which
// matches in any directory. Any other rule depends on the directory the run starts in.
inline bool rule_is_anchored(const PathStyle& style, std::string_view rule, bool include) {
  if (style.is_absolute(rule)) return true;
  return !include && (rule.starts_with('*') || rule.starts_with('?'));
}

}  // namespace corvio
