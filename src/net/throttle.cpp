// SPDX-License-Identifier: Apache-2.0
#include "net/throttle.h"

#include <algorithm>
#include <limits>

#include "base/backup_session.h"
#include "platform/clock.h"
#include "base/profile.h"

namespace corvio {
namespace {

void tick(const Relaxed<uint32_t>& enabled, uint32_t rate, uint32_t unit,
          Relaxed<int32_t>& allowance) {
  if (!enabled) return;
  const uint64_t max = std::numeric_limits<int32_t>::max();
  const int32_t limit = static_cast<int32_t>(std::min(rate_to_bytes(rate, unit), max));
  if (allowance.load() < limit / 2) allowance.add(std::max(limit / 10, 10));
}

// Waits while the limit is on and the allowance is negative, then takes n from it. Turning
// the limit off in the throttling dialog ends the wait.
void pay(const Relaxed<uint32_t>& enabled, Relaxed<int32_t>& allowance, Clock& clock, size_t n,
         uint32_t poll_ms) {
  if (!enabled) return;
  while (enabled && allowance.load() < 0) clock.sleep_ms(poll_ms);
  const size_t max = std::numeric_limits<int32_t>::max();
  allowance.add(-static_cast<int32_t>(std::min(n, max)));
}

}  // namespace

uint64_t rate_to_bytes(uint32_t rate, uint32_t unit) {
  const uint64_t r = rate;
  switch (unit) {
    case 0:
      return r;
    case 1:
      return r * 1024;
    case 2:
      return r * 1048576;
    case 3:
      return r / 8;
    case 4:
      return r * 1024 / 8;
    case 5:
      return r * 1048576 / 8;
    default:
      return 100;
  }
}

void throttle_tick(Profile& p) {
  tick(p.tx_limit_enabled, p.tx_limit_rate, p.tx_limit_unit, p.tx_allowance);
  tick(p.rx_limit_enabled, p.rx_limit_rate, p.rx_limit_unit, p.rx_allowance);
}

void throttle_tx(BackupSession& session, Clock& clock, size_t n, uint32_t poll_ms) {
  session.net_tx_bytes.add(n);
  if (session.profile) pay(session.profile->tx_limit_enabled, session.profile->tx_allowance, clock, n, poll_ms);
}

void throttle_rx(BackupSession& session, Clock& clock, size_t n, uint32_t poll_ms) {
  session.net_rx_bytes.add(n);
  if (session.profile) pay(session.profile->rx_limit_enabled, session.profile->rx_allowance, clock, n, poll_ms);
}

}  // namespace corvio
