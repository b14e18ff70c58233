// SPDX-License-Identifier: Apache-2.0
// Application: start-up and shutdown of the program, and the process-wide state they settle
// (directories, command line, configuration database, the run record) that the front ends use.
//
// Start-up order: command line, installation directory, data directory, run record, MD5 cache,
// configuration database, TLS context, profile list; then the main window, or for "/run:TAG"
// the progress window of that profile. Shutdown closes the MD5 cache and then the configuration
// database.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/front_end.h"
#include "app/services.h"
#include "base/backup_session.h"
#include "base/context.h"
#include "profile/config.h"

namespace corvio {

// What start-up learns from the operating system.
struct SystemFacts {
  bool components_ready = true;            // the component system could be initialised
  std::optional<std::string> install_dir;  // nothing when unknown
  std::optional<std::string> data_dir;     // nothing when the environment does not say
};

class Application {
 public:
  Application(FileSystem& fs, Clock& clock, ui::Messages& messages, ui::Display& display,
              PathStyle style, Services& services, FrontEnd& front_end);

  // Runs the program from start-up to shutdown and returns its exit code: 1 when the MD5
  // cache or the configuration database cannot be opened; for an unattended run the run's
  // outcome (a run that could not start counts as failed); otherwise the main window's.
  int run(std::string_view command_line, const SystemFacts& facts);

  // Loads the profile of a listed entry for a run into a fresh run record. 0 on success;
  // otherwise the reason has been shown.
  int open_selected_profile(const ProfileListEntry& selected);

  Context& context() { return ctx_; }
  Config& config() { return config_; }
  BackupSession& session() { return session_; }
  const CommandLine& command_line() const { return command_line_; }

 private:
  int start_ui();
  int settle_directories(const SystemFacts& facts);

  Context ctx_;
  Services& services_;
  FrontEnd& front_end_;
  Config config_;
  BackupSession session_;
  CommandLine command_line_;
};

}  // namespace corvio
