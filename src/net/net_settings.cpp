// SPDX-License-Identifier: Apache-2.0
#include "net/net_settings.h"

namespace corvio {

uint32_t backoff_seconds(const std::vector<BackoffStep>& table, uint32_t attempt) {
  for (const BackoffStep& step : table) {
    if (attempt <= step.up_to_attempt) return step.seconds;
  }
  return table.empty() ? 0 : table.back().seconds;
}

}  // namespace corvio
