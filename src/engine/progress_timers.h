// SPDX-License-Identifier: Apache-2.0
// The progress window's own work beside the run's: the initial field texts and its three
// timers. Every 100 ms it refills the throttling allowances; every 500 ms it shows the
// transfer totals and the elapsed time; every 3000 ms the transfer rates. The windows and the
// terminal front end call these from their own thread while the worker runs.
#pragma once

#include <cstdint>
#include <string>

#include "base/backup_session.h"
#include "base/context.h"

namespace corvio {

class ProgressTimers {
 public:
  ProgressTimers(Context& ctx, BackupSession& session) : ctx_(ctx), session_(session) {}

  // The counters at "0 ", the rates at "0 B/sec ", the version, profile name and tag.
  void init_fields();
  void every_100ms();
  void every_500ms();
  void every_3000ms();

  // "%u sec" below five minutes, else "%u min"; empty before the run has a start time.
  static std::string elapsed_text(int64_t start, int64_t end, int64_t now);
  // Bytes per second as "N B/sec ", "N KB/sec " or "N MB/sec ".
  static std::string rate_text(uint64_t bytes_per_second);

 private:
  Context& ctx_;
  BackupSession& session_;
  uint64_t last_tx_ = 0;
  uint64_t last_rx_ = 0;
};

}  // namespace corvio
