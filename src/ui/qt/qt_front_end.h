// SPDX-License-Identifier: Apache-2.0
// The front end with windows: the main window, and the progress window that runs a backup.
// Needs a QApplication; runs on its thread. After the progress window has closed the program
// ends, so each process shows at most one.
#pragma once

#include "app/front_end.h"
#include "net/update_check.h"
#include "ui/qt/gui_thread_adapter.h"

namespace corvio {

class CoreServices;

namespace ui::qt {

class QtFrontEnd : public FrontEnd {
 public:
  // adapter is the program's message boxes and the display's target during a run.
  QtFrontEnd(CoreServices& services, UpdateSettings update, GuiThreadAdapter& adapter)
      : services_(services), update_(std::move(update)), adapter_(adapter) {}

  int run_main_window(Application& app) override;
  int run_progress_window(Application& app) override;

 private:
  CoreServices& services_;
  UpdateSettings update_;
  GuiThreadAdapter& adapter_;
};

// Whether windows can be shown: a display is named (DISPLAY or WAYLAND_DISPLAY) or Qt is told
// which platform to draw on (QT_QPA_PLATFORM).
bool display_available();

}  // namespace ui::qt
}  // namespace corvio
