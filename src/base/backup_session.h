// SPDX-License-Identifier: Apache-2.0
// BackupSession: the one record of a backup run, shared by the user-interface thread and the
// worker. Start-up creates it; opening a profile for a run resets it and sets the profile.
//
// The worker writes everything except cancel_requested and pause_requested, which only the
// user-interface thread writes. The timers of the progress window read the times and the
// transfer counters while the worker changes them, so every field that crosses threads is
// Relaxed (read and written whole, never torn). Exactly the value 1 of cancel_requested asks
// for a cancel; it is never cleared during a run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/backup_stats.h"
#include "base/profile.h"
#include "base/tls_connection.h"
#include "util/file_handle.h"
#include "util/relaxed.h"

namespace corvio {

struct BackupSession {
  BackupSession();
  ~BackupSession();
  BackupSession(const BackupSession&) = delete;
  BackupSession& operator=(const BackupSession&) = delete;

  // Back to the state of a fresh record: no profile, no log, no connection, every number 0.
  void reset();

  // Whether the run must stop: a cancel was asked for, or the run gave up (stop_reason).
  bool cancelled() const { return cancel_requested.load() == 1 || !stop_reason.empty(); }
  // Appends text to the run's log; nothing while no log is open.
  void write_log(std::string_view text);

  std::unique_ptr<Profile> profile;
  FileHandle log;               // the run's log file
  std::string catalog_path;     // this run's catalog file, set when the catalog is created
  Relaxed<int64_t> start_time;  // seconds since 1970; 0 until the catalog number is known
  Relaxed<int64_t> end_time;    // 0 while the run goes on
  uint32_t catalog_id = 0;
  uint32_t profile_id = 0;
  BackupStats stats;
  TlsConnectionPtr connection;  // the server session, or none
  Relaxed<uint32_t> cancel_requested;
  // Why the run gave up although nobody cancelled it (a login refused again and again where
  // nobody can correct it); empty while it may go on. Every loop stops at it as at a cancel,
  // and the run ends as failed. Written and read by the worker only.
  std::string stop_reason;
  Relaxed<uint32_t> pause_requested;
  // Transfer counters of the run's server connection, and the payload bytes sent for the
  // current file. A process performs one run, so per process and per run are the same.
  Relaxed<uint64_t> net_tx_bytes;
  Relaxed<uint64_t> net_rx_bytes;
  Relaxed<uint64_t> file_bytes_sent;
};

}  // namespace corvio
