// SPDX-License-Identifier: Apache-2.0
// The application window: its class ("CORVIO", string resource 109) with the program's icons,
// the common controls the dialogs use, and the hidden window of that class whose title is
// string resource 103. The window is never shown; the program's top-level windows are the
// main window and the progress window. User-interface thread only.
#pragma once

#include <windows.h>

#include "ui/win32/gdi_handles.h"

namespace corvio::ui::win32 {

class AppWindow {
 public:
  // Registers the class and the common controls, and creates the hidden window.
  explicit AppWindow(HINSTANCE instance);

  // Null when the window could not be created.
  HWND hwnd() const { return window_.get(); }

 private:
  UniqueWindow window_;
};

}  // namespace corvio::ui::win32
