// SPDX-License-Identifier: Apache-2.0
// "corvioctl schedule": puts a profile on a schedule with a systemd user service and timer
// (see schedule.h), takes it off again, and lists the schedules.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/context.h"
#include "profile_command.h"

namespace corvio {

// Where the schedule lives and what it runs.
struct ScheduleEnv {
  std::string unit_dir;     // the user units' folder
  std::string corvio_path;  // the corvio program the units run
  std::string data_home;    // the XDG_DATA_HOME under which the runs find ctx.data_dir
};

// From the environment: $XDG_CONFIG_HOME/systemd/user (by default ~/.config/systemd/user), the
// corvio beside this corvioctl (ctx.install_dir), and the folder that holds ctx.data_dir.
// Nothing, with the reason in *error, when one of them is unknown.
std::optional<ScheduleEnv> schedule_env(const Context& ctx, std::string* error);

// args are the words after "schedule". systemctl is found on PATH and asked whether a user
// manager is running ("systemctl --user show-environment"); with one, the timer is enabled and
// started, or stopped and disabled; without one, the crontab line to add is printed instead.
// The tag is folded and checked before any file is named, and a schedule is written only for
// an existing profile. kCtlOk; kCtlFailed when the tag is refused, the profile or the schedule
// does not exist, a file cannot be written or systemctl fails; kCtlUsage for a bad command line.
int schedule_command(const Context& ctx, const ScheduleEnv& env,
                     const std::vector<std::string>& args, const CtlIo& io);

}  // namespace corvio
