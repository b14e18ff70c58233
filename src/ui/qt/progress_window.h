// SPDX-License-Identifier: Apache-2.0
// The progress window ("Meridane Online Backup"): opening it starts the run on the worker
// thread and the window's three timers (allowances every 100 ms, totals and elapsed time every
// 500 ms, rates every 3000 ms). It offers Pause/Resume, Cancel (Close once the run has ended)
// and the throttling dialog. The worker writes into its fields through the GuiThreadAdapter.
//
// While the worker runs, Cancel and the close box only ask it to cancel: the window closes
// when the run has ended and its catalog and log are closed.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <map>

#include "app/run_controller.h"
#include "base/backup_session.h"
#include "base/context.h"
#include "base/progress_view.h"
#include "engine/backup_worker.h"
#include "ui/qt/gui_thread_adapter.h"

namespace corvio::ui::qt {

class ProgressWindow : public QDialog, public ProgressView {
 public:
  // The worker's whole run, given the way to close this window from the worker thread.
  using RunWorker = std::function<RunOutcome(std::function<void()> close_window)>;

  // ctx.display must be free; the window attaches it to adapter while the run goes on.
  ProgressWindow(Context& ctx, BackupSession& session, GuiThreadAdapter& adapter,
                 RunWorker run_worker);
  ~ProgressWindow() override;

  // Sets the fields, starts the worker and the timers. Once.
  void start();
  bool worker_running() const { return run_.running(); }
  // The run's outcome; kFailed until it has ended.
  RunOutcome outcome() const { return run_.outcome(); }

  // ProgressView, on the user-interface thread.
  void set_field(Field field, std::string_view text) override;
  void set_status(std::string_view text) override;
  std::string status() override;
  void set_file_progress(uint32_t position, uint32_t range) override;
  void set_pause_enabled(bool enabled) override;
  void show_run_finished() override;

  // Cancel (2) and the close box.
  void reject() override;

 private:
  void worker_ended();
  void pause_pressed();

  BackupSession& session_;
  GuiThreadAdapter& adapter_;
  RunWorker run_worker_;
  RunController run_;
  std::map<Field, QWidget*> fields_;
  QLabel* status_;
  QProgressBar* file_progress_;
  QPushButton* pause_;
  QPushButton* cancel_;
  QPushButton* throttling_;
  QTimer timer_100ms_;
  QTimer timer_500ms_;
  QTimer timer_3000ms_;
  bool close_when_done_ = false;
};

}  // namespace corvio::ui::qt
