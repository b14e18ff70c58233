// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/qt_front_end.h"

#include <cstdlib>

#include "app/application.h"
#include "app/run_controller.h"
#include "app/worker_run.h"
#include "ui/qt/main_window.h"
#include "ui/qt/progress_window.h"

namespace corvio::ui::qt {

namespace {

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

bool display_available() {
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int QtFrontEnd::run_main_window(Application& app) {
  MainWindow window(app);
  window.exec();
  if (!window.chosen()) return 0;
  run_progress_window(app);
  return 0;
}

int QtFrontEnd::run_progress_window(Application& app) {
  ProgressWindow window(
      app.context(), app.session(), adapter_, [this, &app](std::function<void()> close_window) {
        return run_backup_worker(services_, app, update_, std::move(close_window), true);
      });
  window.start();
  window.exec();
  return run_exit_code(window.outcome());
}

}  // namespace corvio::ui::qt
