// SPDX-License-Identifier: Apache-2.0
// The progress window ("Meridane Online Backup", resource 130): opening it starts the run on
// the worker thread and the window's three timers (allowances every 100 ms, totals and elapsed
// time every 500 ms, rates every 3000 ms). It offers Pause/Resume, Cancel (Close once the run
// has ended) and the throttling dialog. The worker writes into its fields through the
// UiThreadAdapter.
//
// While the worker runs, Cancel and the close box only ask it to cancel: the window closes
// when the run has ended and its catalog and log are closed. The worker's end arrives as a
// posted message, so this thread never waits for a worker that may be calling in.
#pragma once

#include <functional>

#include "app/run_controller.h"
#include "base/backup_session.h"
#include "base/context.h"
#include "base/progress_view.h"
#include "engine/backup_worker.h"
#include "ui/win32/dialog.h"
#include "ui/win32/gdi_handles.h"
#include "ui/win32/ui_thread_adapter.h"

namespace corvio::ui::win32 {

class ProgressWindow : public Dialog, public ProgressView {
 public:
  // The worker's whole run, given the way to close this window from the worker thread.
  using RunWorker = std::function<RunOutcome(std::function<void()> close_window)>;

  // ctx.display must be free; the window attaches it to adapter while the run goes on.
  ProgressWindow(HINSTANCE instance, Context& ctx, BackupSession& session,
                 UiThreadAdapter& adapter, RunWorker run_worker);
  ~ProgressWindow() override;

  // The run's outcome; kFailed until it has ended.
  RunOutcome outcome() const { return run_.outcome(); }

  // ProgressView, on the user-interface thread.
  void set_field(Field field, std::string_view text) override;
  void set_status(std::string_view text) override;
  std::string status() override;
  void set_file_progress(uint32_t position, uint32_t range) override;
  void set_pause_enabled(bool enabled) override;
  void show_run_finished() override;

 private:
  bool on_init() override;
  void on_command(int id, int code) override;
  bool on_message(UINT msg, WPARAM wp, LPARAM lp) override;
  void pause_pressed();

  BackupSession& session_;
  UiThreadAdapter& adapter_;
  RunWorker run_worker_;
  RunController run_;
  UniqueFont status_font_;
  bool close_when_done_ = false;
};

}  // namespace corvio::ui::win32
