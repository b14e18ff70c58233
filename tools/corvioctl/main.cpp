// SPDX-License-Identifier: Apache-2.0
// corvioctl: manages backup profiles on machines without a display, in the same data
// directory and with the same checks as the program's windows.
#include <cstdio>
#include <string>
#include <vector>

#include "base/display.h"
#include "base/version.h"
#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "profile_command.h"
#include "run_commands.h"
#include "schedule_command.h"
#include "trust_ca_command.h"
#include "ui/term/terminal_messages.h"

namespace {

constexpr char kUsage[] =
    "usage: corvioctl profile create|edit|show|list|delete ...\n"
    "       corvioctl trust-ca FILE\n"
    "       corvioctl runs [--json] TAG\n"
    "       corvioctl log TAG [N]\n"
    "       corvioctl schedule TAG --daily HH:MM | --hourly | --weekly DAY HH:MM | --off\n"
    "       corvioctl schedule list\n"
    "       corvioctl --version\n"
    "\n"
    "Manages the backup profiles of this user, and the certificate authorities the client\n"
    "trusts besides the system's. Run 'corvioctl profile --help' or 'corvioctl trust-ca --help'\n"
    "for details. Tags are 1-31 characters, logins and passwords 1-32.\n"
    "'runs' lists a profile's runs, 'log' prints a run's log, 'schedule' runs a profile by\n"
    "itself through a systemd user timer; each takes --help.\n"
    "\n"
    "--json: 'profile show', 'profile list' and 'runs' print one JSON document instead, with\n"
    "numbers as numbers, times in ISO 8601 UTC (2026-12-09T03:04:05Z), null for what is not\n"
    "known, and never the password:\n"
    "  profile show  {tag, description, server, port, login, priority, priority_name,\n"
    "                file_delay_ms, block_delay_ms, tx_limit and rx_limit (each {on, rate,\n"
    "                unit, unit_name}), shadow_copy, block_size, reserved, include [...],\n"
    "                exclude [...]}\n"
    "  profile list  [{tag, description}, ...]\n"
    "  runs          [{catalog, start, end, outcome, files, bytes, stored, errors,\n"
    "                has_catalog, has_log, catalog_error, log_error}, ...]\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace corvio;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kCtlUsage : kCtlOk;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("corvioctl %s, of the Meridane Online Backup client\n", version_text().c_str());
    return kCtlOk;
  }
  const std::string command = args[0];
  if (command != "profile" && command != "trust-ca" && command != "schedule" &&
      !is_run_command(command)) {
    std::fprintf(stderr, "corvioctl: unknown command: %s\n%s", command.c_str(), kUsage);
    return kCtlUsage;
  }
  args.erase(args.begin());

  ui::TerminalMessages messages;
  ui::Display display;
  std::optional<std::string> data_dir = user_data_dir();
  if (!data_dir) {
    messages.message_box("Unable to determine application data directory!",
                         "Meridane Online Backup", ui::Buttons::Ok);
    return kCtlFailed;
  }
  make_dirs(*data_dir);
  Context ctx{
      real_file_system(),        system_clock(), messages, display, PathStyle::native(), *data_dir,
      install_dir().value_or("")};
  profile_check_data_dir_privacy(ctx);
  const CtlIo io{stdout, stderr, stdin};
  if (command == "trust-ca") return trust_ca_command(ctx, args, io);
  if (is_run_command(command)) return run_command(ctx, command, args, io);
  if (command == "schedule") {
    std::string error;
    std::optional<ScheduleEnv> env = schedule_env(ctx, &error);
    if (!env) {
      std::fprintf(stderr, "corvioctl schedule: %s\n", error.c_str());
      return kCtlFailed;
    }
    return schedule_command(ctx, *env, args, io);
  }
  Config config(ctx);
  int rc = profile_command(ctx, config, args, io);
  config.close();
  return rc;
}
