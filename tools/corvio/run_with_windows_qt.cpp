// SPDX-License-Identifier: Apache-2.0
#include <QApplication>

#include "app/application.h"
#include "app/core_services.h"
#include "base/display.h"
#include "platform/directories.h"
#include "platform/process.h"
#include "run_with_windows.h"
#include "ui/qt/gui_thread_adapter.h"
#include "ui/qt/qt_front_end.h"

namespace corvio {

bool run_with_windows(int argc, char** argv, const char* command_line, int* exit_code) {
  if (!ui::qt::display_available()) return false;
  QApplication qt_app(argc, argv);
  QApplication::setApplicationName("corvio");
  ui::qt::GuiThreadAdapter adapter;
  ui::Display display;
  CoreServices services;
  ui::qt::QtFrontEnd front_end(services, update_settings_from_environment(), adapter);
  Application app(real_file_system(), system_clock(), adapter, display, PathStyle::native(),
                  services, front_end);
  SystemFacts facts;
  facts.components_ready = init_components();
  facts.install_dir = install_dir();
  facts.data_dir = user_data_dir();
  *exit_code = app.run(command_line, facts);
  return true;
}

}  // namespace corvio
