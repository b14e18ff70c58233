// SPDX-License-Identifier: Apache-2.0
// When a profile runs by itself: the schedule "corvioctl schedule" takes, and the systemd user
// units and the crontab line that carry it out.
//
// A scheduled run is "corvio /run:TAG /exitwhendone" in a oneshot service, so the run's exit
// code (0 completed, 2 failed, 3 cancelled) is the service's result and a failed backup shows as
// a failed unit. Its timer catches up on a run missed while the machine was off
// (Persistent=true) and starts up to five minutes late, at random, so that many machines on one
// schedule do not reach the server at the same moment.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvio {

struct Schedule {
  enum Kind { kHourly, kDaily, kWeekly } kind = kDaily;
  int hour = 0, minute = 0;  // daily and weekly
  int weekday = 0;           // weekly: 0 Monday ... 6 Sunday
};

// The schedule options of "corvioctl schedule TAG ...": --hourly, --daily HH:MM or --weekly DAY
// HH:MM, nothing else. DAY is an English day name or its first three letters, in any letter
// case. Nothing, with the reason in *error, when the words are not exactly one of those.
std::optional<Schedule> parse_schedule(const std::vector<std::string>& words, std::string* error);

// "hourly", "daily 02:30", "weekly Mon 02:30": the schedule as the options give it.
std::string schedule_text(const Schedule& schedule);

// What the units and the crontab line run: corvio's absolute path, the profile's tag (already
// checked: letters, digits, '-' and '_') and the XDG_DATA_HOME the run is to find the profile
// under.
struct ScheduledRun {
  std::string corvio_path;
  std::string tag;
  std::string data_home;
};

// The unit names, "corvio-run-TAG.service" and "corvio-run-TAG.timer".
std::string service_unit_name(const std::string& tag);
std::string timer_unit_name(const std::string& tag);

// The texts of the two unit files. The paths are quoted for systemd, so spaces, quotes, '\'
// and '%' are safe; a path holding a control character cannot be written into a unit and is
// refused by the caller (see unit_safe_path).
std::string service_unit_text(const ScheduledRun& run);
std::string timer_unit_text(const ScheduledRun& run, const Schedule& schedule);

// The crontab line that runs the same, for a machine without a systemd user manager.
std::string crontab_line(const ScheduledRun& run, const Schedule& schedule);

// True when path is absolute and holds no control character.
bool unit_safe_path(const std::string& path);

}  // namespace corvio
