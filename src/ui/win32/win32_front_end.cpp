// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/win32_front_end.h"

#include "app/application.h"
#include "app/run_controller.h"
#include "app/worker_run.h"
#include "ui/win32/main_window.h"
#include "ui/win32/progress_window.h"

namespace corvio::ui::win32 {

int Win32FrontEnd::run_main_window(Application& app) {
  if (!app_window_) return 0;
  MainWindow window(instance_, app);
  window.run(nullptr);
  if (!window.chosen()) return 0;
  run_progress_window(app);
  return 0;
}

int Win32FrontEnd::run_progress_window(Application& app) {
  if (!app_window_) return kExitFailed;
  ProgressWindow window(instance_, app.context(), app.session(), adapter_,
                        [this, &app](std::function<void()> close_window) {
                          return run_backup_worker(services_, app, update_,
                                                   std::move(close_window), true);
                        });
  window.run(nullptr);
  return run_exit_code(window.outcome());
}

}  // namespace corvio::ui::win32
