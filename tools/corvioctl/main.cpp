// corvioctl: manages backup profiles on machines without a display, in the same data
// directory and with the same checks as the program's windows.
#include <cstdio>
#include <string>
#include <vector>

#include "config/config.h"
#include "platform/clock.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "profile_command.h"
#include "run_commands.h"
#include "ui/display.h"
#include "ui/term/terminal_messages.h"

namespace {

constexpr char kUsage[] =
    "usage: corvioctl profile create|edit|show|list|delete ...\n"
    "       corvioctl runs TAG\n"
    "       corvioctl log TAG [N]\n"
    "\n"
    "Manages the backup profiles of this user. Run 'corvioctl profile --help' for details.\n"
    "'runs' lists a profile's runs, 'log' prints a run's log; each takes --help.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace corvio;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kCtlUsage : kCtlOk;
  }
  if (args[0] != "profile" && !is_run_command(args[0])) {
    std::fprintf(stderr, "corvioctl: unknown command: %s\n%s", args[0].c_str(), kUsage);
    return kCtlUsage;
  }
  const std::string command = args[0];
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
  if (is_run_command(command)) return run_command(ctx, command, args, CtlIo{stdout, stderr, stdin});
  Config config(ctx);
  if (config.open() != 0) return kCtlFailed;
  int rc = profile_command(ctx, config, args, CtlIo{stdout, stderr, stdin});
  config.close();
  return rc;
}
