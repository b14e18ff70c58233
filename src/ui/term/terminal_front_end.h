// SPDX-License-Identifier: Apache-2.0
// The front end for a terminal or no display at all: "corvio /run:TAG" from a shell, cron or
// systemd. It draws the progress window on the terminal (or prints plain status lines when
// standard output is not one), runs the window's timers, and lets the user steer the run:
// Ctrl-C or SIGTERM cancels (a second one ends at once), the key p or SIGUSR1 pauses and
// resumes. When the run has ended it prints the statistics on one line.
#pragma once

#include <cstdio>
#include <string>

#include "app/front_end.h"
#include "net/update_check.h"

namespace corvio {

class CoreServices;
namespace ui {
class TerminalMessages;
}

class TerminalFrontEnd : public FrontEnd {
 public:
  // After a completed run, asks the web server of update for a newer client.
  // messages, when given, is the program's message printer, which the progress display
  // steps aside for.
  TerminalFrontEnd(CoreServices& services, std::FILE* out, UpdateSettings update,
                   ui::TerminalMessages* messages = nullptr)
      : services_(services), out_(out), update_(std::move(update)), messages_(messages) {}

  // There are no windows here: says what the program can do instead, and fails.
  int run_main_window(Application& app) override;
  int run_progress_window(Application& app) override;

 private:
  CoreServices& services_;
  std::FILE* out_;
  UpdateSettings update_;
  ui::TerminalMessages* messages_;
};

// The run's statistics on one line, for the end of a run.
struct BackupSession;
std::string statistics_line(const BackupSession& session);

}  // namespace corvio
