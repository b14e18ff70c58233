// SPDX-License-Identifier: Apache-2.0
// The transport's time-outs, polling intervals and back-off tables, gathered in one value so
// that tests can shorten the waits without touching the logic. The defaults are the
// production values.
#pragma once

#include <cstdint>
#include <vector>

namespace corvio {

// One step of a back-off table: attempts up to and including up_to_attempt wait seconds.
struct BackoffStep {
  uint32_t up_to_attempt;
  uint32_t seconds;
};

// The wait after failed attempt number attempt (counted from 1); the last step covers every
// later attempt.
uint32_t backoff_seconds(const std::vector<BackoffStep>& table, uint32_t attempt);

struct NetSettings {
  // Longest single socket wait of the session primitives and of the bare ones.
  int session_timeout_ms = 20000;
  int bare_timeout_ms = 10000;
  // Sleep between checks of a throttling allowance.
  uint32_t throttle_poll_ms = 50;
  // Sleep between checks of the pause flag, and the number of checks after which a paused
  // run drops its server connection (about two minutes).
  uint32_t pause_poll_ms = 100;
  uint32_t pause_polls_before_drop = 1200;
  // Waits after a failed first connection and after a failed reconnection. The first
  // connection moves to each longer wait one attempt later and has a 120-second step.
  std::vector<BackoffStep> connect_backoff = {{2, 5},   {6, 10},   {11, 20},
                                              {21, 60}, {51, 120}, {UINT32_MAX, 300}};
  std::vector<BackoffStep> reconnect_backoff = {
      {1, 5}, {5, 10}, {10, 20}, {20, 60}, {UINT32_MAX, 300}};
  // Refused logins, and server certificates that fail verification, after which the retry
  // loops give up; each count is since the last login or verified certificate. Only a person
  // can mend either, so a run nobody watches ends instead of retrying for ever. 0: retry until
  // cancelled, as where a person sees the status and can cancel.
  uint32_t give_up_after = 0;
  // Blocks whose requests may be in flight or waiting at once, and the bytes of payloads held
  // for them (net/request_window.h): enough to keep a 100 ms, 100 Mbit/s link busy with the
  // references of an unchanged run and the uploads of a new one. 1 sends one request at a
  // time, for a server that cannot take requests ahead.
  uint32_t requests_in_flight = 256;
  uint64_t payload_in_flight = 8u << 20;
};

}  // namespace corvio
