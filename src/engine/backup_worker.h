// SPDX-License-Identifier: Apache-2.0
// backup_worker: one backup run of the profile loaded into the session, from connection to
// final statistics, on the worker thread the progress window starts. Every step shows its
// status text; a failure that ends the run shows its message box (through ctx.messages, which
// waits for the answer) and says so in the outcome.
//
// Order: shadow-copy set-up, connect and log in, the profile and catalog numbers, the catalog
// and the log, the snapshot, the walk of every include rule, the cache flush; then either the
// cancellation steps (catalog closed, not uploaded) or the completion steps (catalog
// statistics and upload with the end-of-run record, log trailer, pruning of old files and of
// the cache, the update check and offer).
#pragma once

#include <functional>
#include <string>

#include "base/backup_session.h"
#include "base/context.h"
#include "engine/read_ahead.h"
#include "net/net_settings.h"

namespace corvio {

class Md5Cache;
class ShadowCopy;
class TlsContext;

enum class RunOutcome {
  kCompleted,  // every include rule walked, catalog uploaded
  kFailed,     // the run could not start, or ended without a catalog the server can use
  kCancelled,
};

struct WorkerSetup {
  Context& ctx;
  BackupSession& session;  // with the profile loaded
  Md5Cache& cache;
  const TlsContext& tls;
  ShadowCopy* shadow = nullptr;  // the snapshot service; null runs against the live files
  bool exit_when_done = false;
  NetSettings net_settings;
  // Asks the vendor whether a newer client exists; true with its display text in *version.
  // Empty: no update check.
  std::function<bool(std::string* version)> update_check;
  // Closes the progress window and ends the program (after an unattended run, or when the
  // updater has been started). Empty: nothing to close.
  std::function<void()> close_window;
  // Threads that read, hash and compress blocks ahead of the block loop (ReadAhead); 0 does it
  // on the worker thread, block by block. The run is the same either way.
  unsigned read_ahead_threads = ReadAhead::default_threads();
};

RunOutcome backup_worker(WorkerSetup& setup);

}  // namespace corvio
