// SPDX-License-Identifier: Apache-2.0
// corvio.exe: there is always a desktop, so the windows always run. The command line is the
// process's own text after the program name, cut at single spaces with quotes meaning
// nothing, not the C runtime's parsed arguments.
#include <windows.h>

#include "app/application.h"
#include "app/core_services.h"
#include "base/display.h"
#include "platform/directories.h"
#include "platform/process.h"
#include "run_with_windows.h"
#include "ui/win32/app_window.h"
#include "ui/win32/ui_thread_adapter.h"
#include "ui/win32/win32_front_end.h"

namespace corvio {

namespace {

// The command line without the program name and the blanks after it, as WinMain receives it.
const char* arguments_text() {
  const char* p = ::GetCommandLineA();
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace

bool run_with_windows(int, char**, const char*, int* exit_code) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const bool components_ready = init_components();
  ui::win32::AppWindow app_window(instance);
  ui::win32::UiThreadAdapter adapter(instance);
  ui::Display display;
  CoreServices services;
  ui::win32::Win32FrontEnd front_end(instance, app_window.hwnd(), services,
                                     update_settings_from_environment(), adapter);
  Application app(real_file_system(), system_clock(), adapter, display, PathStyle::native(),
                  services, front_end);
  SystemFacts facts;
  facts.components_ready = components_ready;
  facts.install_dir = install_dir();
  facts.data_dir = user_data_dir();
  *exit_code = app.run(arguments_text(), facts);
  return true;
}

}  // namespace corvio
