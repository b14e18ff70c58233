// SPDX-License-Identifier: Apache-2.0
// The front end with Windows windows: the main window, and the progress window that runs a
// backup. Runs on the thread that created the UiThreadAdapter, under an application window
// (AppWindow) that exists for the whole program. After the progress window has closed the
// program ends, so each process shows at most one.
#pragma once

#include <windows.h>

#include "app/front_end.h"
#include "net/update_check.h"
#include "ui/win32/ui_thread_adapter.h"

namespace corvio {

class CoreServices;

namespace ui::win32 {

class Win32FrontEnd : public FrontEnd {
 public:
  // adapter is the program's message boxes and the display's target during a run;
  // app_window is the hidden application window, null when it could not be created (then no
  // window is shown).
  Win32FrontEnd(HINSTANCE instance, HWND app_window, CoreServices& services,
                UpdateSettings update, UiThreadAdapter& adapter)
      : instance_(instance),
        app_window_(app_window),
        services_(services),
        update_(std::move(update)),
        adapter_(adapter) {}

  int run_main_window(Application& app) override;
  int run_progress_window(Application& app) override;

 private:
  HINSTANCE instance_;
  HWND app_window_;
  CoreServices& services_;
  UpdateSettings update_;
  UiThreadAdapter& adapter_;
};

}  // namespace ui::win32
}  // namespace corvio
