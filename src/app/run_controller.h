// SPDX-License-Identifier: Apache-2.0
// RunController: one backup run as a front end drives it. It attaches the front end's progress
// view to the display, fills the initial fields, starts the worker thread at the profile's
// thread priority, does the progress timers' work when the front end ticks them, joins the
// worker and keeps the run's outcome. The front end keeps only its own way of waiting: the
// windows tick from their timers and are told when the worker has ended; the terminal ticks
// and polls finished() from its loop.
//
// Every member is called on the front end's thread. The view is attached from start() until
// the controller is destroyed, so the timers may go on after the run has ended. The destructor
// asks a worker still running to cancel, then joins it; a front end whose thread serves the
// worker (message boxes handed to it) must wait for finished() before that.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "base/backup_session.h"
#include "base/context.h"
#include "base/progress_view.h"
#include "engine/backup_worker.h"
#include "engine/progress_timers.h"
#include "platform/process.h"

namespace corvio {

class RunController {
 public:
  RunController(Context& ctx, BackupSession& session)
      : ctx_(ctx), session_(session), timers_(ctx, session) {}
  ~RunController();
  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  // Once, with ctx.display free and the profile loaded into the session. view must outlive the
  // controller. body is the worker's run; ended, when given, is the worker thread's last act,
  // called after finished() has become true.
  void start(ui::ProgressView& view, std::function<RunOutcome()> body,
             std::function<void()> ended = nullptr);

  // ProgressTimers' work, each at its period.
  void every_100ms() { timers_.every_100ms(); }
  void every_500ms() { timers_.every_500ms(); }
  void every_3000ms() { timers_.every_3000ms(); }

  // The worker has returned its outcome (it may still be joinable).
  bool finished() const { return finished_.load(); }
  // Started and not yet joined.
  bool running() const { return worker_.joinable(); }
  // Waits for the worker to end; nothing when it is not running.
  void join();
  // kFailed until finished().
  RunOutcome outcome() const { return outcome_; }

  // The worker's priority from a thread_priority; -1 without doing anything when there is no
  // worker, else the platform's result.
  int set_worker_priority(uint32_t thread_priority);

 private:
  Context& ctx_;
  BackupSession& session_;
  ProgressTimers timers_;
  std::thread worker_;
  std::atomic<ThreadId> worker_id_{0};
  std::atomic<bool> finished_{false};
  RunOutcome outcome_ = RunOutcome::kFailed;
  bool attached_ = false;
};

// The program's exit code for a run's outcome (kExitCompleted, kExitFailed, kExitCancelled).
int run_exit_code(RunOutcome outcome);

}  // namespace corvio
