// SPDX-License-Identifier: Apache-2.0
// Bandwidth throttling. Each direction has an allowance of bytes in the Profile: the worker
// pays for what it sends or receives after the fact (throttle_tx, throttle_rx), and the
// progress window's 100 ms timer (throttle_tick) raises the allowance while its limit is on.
// A transfer waits only while the allowance is negative, so any transfer may go ahead as soon
// as the balance is not negative, and the debt it leaves holds back the next ones.
//
// Both threads change an allowance with single atomic additions, so neither loses the other's
// change. throttle_tx and throttle_rx run on the worker; throttle_tick on the timer's thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvio {

class Clock;
struct BackupSession;
struct Profile;

// Bytes per second of a rate in a unit of the throttling dialog: 0 B/s, 1 KB/s, 2 MB/s,
// 3 bps, 4 kbps, 5 mbps; any other unit gives 100. The multiplication comes first and the
// division truncates; the arithmetic is 64-bit, so large rates do not wrap around.
uint64_t rate_to_bytes(uint32_t rate, uint32_t unit);

// One 100 ms step: while a limit is on, adds a tenth of its bytes per second (at least 10)
// to its allowance, unless half a second's worth is already banked. Limits of 2^31 bytes per
// second or more are metered as 2^31 - 1, the most the allowance arithmetic holds.
void throttle_tick(Profile& profile);

// Count n bytes in net_tx_bytes (or net_rx_bytes), then, while the direction's limit is on,
// wait in poll_ms sleeps until its allowance is not negative and take n from it.
void throttle_tx(BackupSession& session, Clock& clock, size_t n, uint32_t poll_ms);
void throttle_rx(BackupSession& session, Clock& clock, size_t n, uint32_t poll_ms);

}  // namespace corvio
