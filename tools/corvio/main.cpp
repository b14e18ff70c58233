// SPDX-License-Identifier: Apache-2.0
// corvio: the backup client. With a display it opens the main window, or for
// "corvio /run:TAG [/exitwhendone]" the progress window of the profile TAG; without one the run
// is shown on the terminal.
#include <cstdio>
#include <string>

#include "app/application.h"
#include "app/core_services.h"
#include "base/display.h"
#include "base/version.h"
#include "platform/directories.h"
#include "platform/process.h"
#include "run_with_windows.h"
#include "ui/term/terminal_front_end.h"
#include "ui/term/terminal_messages.h"

int main(int argc, char** argv) {
  using namespace corvio;
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "--version")) {
    std::printf("corvio %s, the Meridane Online Backup client\n", version_text().c_str());
    if (std::string(argv[1]) == "--help") {
      std::puts(
          "usage: corvio                            the main window (with a display)\n"
          "       corvio /run:TAG [/exitwhendone]   back up the profile TAG\n"
          "profiles are managed with corvioctl (corvioctl --help)");
    }
    return 0;
  }
  // The command line as one text, arguments separated by single blanks.
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }

  int exit_code = 0;
  if (run_with_windows(argc, argv, command_line.c_str(), &exit_code)) return exit_code;

  ui::TerminalMessages messages;
  ui::Display display;
  CoreServices services;
  TerminalFrontEnd front_end(services, stdout, update_settings_from_environment(), &messages);
  Application app(real_file_system(), system_clock(), messages, display, PathStyle::native(),
                  services, front_end);

  SystemFacts facts;
  facts.components_ready = init_components();
  facts.install_dir = install_dir();
  facts.data_dir = user_data_dir();
  return app.run(command_line, facts);
}
