// SPDX-License-Identifier: Apache-2.0
// wait_if_paused: the run's pause point, passed before every entry of the walk, after every
// block, after every uploaded chunk and every second of a retry countdown (the engine hands it
// to the Connection for those). It holds the worker while pause_requested is set and the run is
// not cancelled, showing "Paused..." and restoring the status text afterwards; callers test
// for a cancel right after it. What was sent before the pause reaches the server first, and a
// pause of pause_polls_before_drop polls drops the connection: the next request reconnects.
// Worker thread only.
#pragma once

namespace corvio {

struct BackupSession;
struct Context;
class Connection;

void wait_if_paused(const Context& ctx, BackupSession& session, Connection& net);

}  // namespace corvio
