// SPDX-License-Identifier: Apache-2.0
// Windows has no systemd user timers: scheduled runs are the Task Scheduler's, which starts
// "corvio.exe /run:TAG /exitwhendone" by itself.
#include "schedule_command.h"

namespace corvio {

std::optional<ScheduleEnv> schedule_env(const Context&, std::string* error) {
  *error =
      "not available on Windows; make a task in the Task Scheduler that runs "
      "'corvio.exe /run:TAG /exitwhendone'";
  return std::nullopt;
}

int schedule_command(const Context&, const ScheduleEnv&, const std::vector<std::string>&,
                     const CtlIo&) {
  return kCtlFailed;
}

}  // namespace corvio
