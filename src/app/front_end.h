// SPDX-License-Identifier: Apache-2.0
// The user interface as start-up sees it. The windows, the terminal and the tests each
// implement it; start-up decides which of the two entry points runs.
#pragma once

namespace corvio {

class Application;

// Exit codes of an unattended run, so that schedulers and scripts can see what happened.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 2;
inline constexpr int kExitCancelled = 3;

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // The main window, until the user quits it or a backup it started has ended. Returns the
  // exit code: 0, or non-zero when there is no main window to show.
  virtual int run_main_window(Application& app) = 0;
  // The progress window for the profile already loaded into the session: runs the backup and
  // returns when the window has closed, with kExitCompleted, kExitFailed or kExitCancelled.
  virtual int run_progress_window(Application& app) = 0;
};

}  // namespace corvio
