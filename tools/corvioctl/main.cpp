// corvioctl: manages backup profiles on machines without a display, in the same data
// directory and with the same checks as the program's windows.
#include <cstdio>
#include <string>
#include <vector>

#include "config/config.h"
#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "profile/profile_db.h"
#include "profile_command.h"
#include "run_commands.h"
#include "trust_ca_command.h"
#include "ui/display.h"
#include "ui/term/terminal_messages.h"

namespace {

constexpr char kUsage[] =
    "usage: corvioctl profile create|edit|show|list|delete ...\n"
    "       corvioctl trust-ca FILE\n"
    "       corvioctl runs TAG\n"
    "       corvioctl log TAG [N]\n"
    "\n"
    "Manages the backup profiles of this user, and the certificate authorities the client\n"
    "trusts besides the system's. Run 'corvioctl profile --help' or 'corvioctl trust-ca --help'\n"
    "for details. Tags are 1-31 characters, logins and passwords 1-32.\n"
    "'runs' lists a profile's runs, 'log' prints a run's log; each takes --help.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace corvio;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kCtlUsage : kCtlOk;
  }
  const std::string command = args[0];
  if (command != "profile" && command != "trust-ca" && !is_run_command(command)) {
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
  Config config(ctx);
  int rc = profile_command(ctx, config, args, io);
  config.close();
  return rc;
}
