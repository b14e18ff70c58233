// SPDX-License-Identifier: Apache-2.0
#include "schedule.h"

#include <cstdio>

#include "util/text.h"

namespace corvio {
namespace {

constexpr const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr const char* kDayNames[] = {"monday", "tuesday",  "wednesday", "thursday",
                                     "friday", "saturday", "sunday"};

// "H:MM" or "HH:MM", 00:00 to 23:59.
bool parse_time(const std::string& text, Schedule* schedule) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon < 1 || colon > 2 || text.size() != colon + 3)
    return false;
  for (size_t i = 0; i < text.size(); i++)
    if (i != colon && (text[i] < '0' || text[i] > '9')) return false;
  const int hour = std::stoi(text.substr(0, colon));
  const int minute = std::stoi(text.substr(colon + 1));
  if (hour > 23 || minute > 59) return false;
  schedule->hour = hour;
  schedule->minute = minute;
  return true;
}

bool parse_day(const std::string& text, Schedule* schedule) {
  const std::string day = lower_ascii(text);
  for (int i = 0; i < 7; i++) {
    if (day == kDayNames[i] || day == std::string(kDayNames[i], 3)) {
      schedule->weekday = i;
      return true;
    }
  }
  return false;
}

std::string two_digits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// A word of a unit file's command line or assignment, quoted: '\' and '"' escaped, '%' (a
// specifier) doubled.
std::string unit_quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + '"';
}

// A word of a crontab command, quoted for sh; '%' (a line break to cron) escaped.
std::string cron_quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else if (c == '%') {
      quoted += "\\%";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

std::optional<Schedule> parse_schedule(const std::vector<std::string>& words, std::string* error) {
  Schedule schedule;
  const std::string kind = words.empty() ? "" : words[0];
  size_t needed = 0;
  if (kind == "--hourly") {
    schedule.kind = Schedule::kHourly;
    needed = 1;
  } else if (kind == "--daily") {
    schedule.kind = Schedule::kDaily;
    needed = 2;
  } else if (kind == "--weekly") {
    schedule.kind = Schedule::kWeekly;
    needed = 3;
  } else {
    *error = kind.empty() ? "--hourly, --daily HH:MM, --weekly DAY HH:MM or --off is required"
                          : "unknown option: " + kind;
    return std::nullopt;
  }
  if (words.size() < needed) {
    *error = kind + ": needs " + (needed == 3 ? "a day and a time" : "a time (HH:MM)");
    return std::nullopt;
  }
  if (words.size() > needed) {
    *error = "unexpected: " + words[needed];
    return std::nullopt;
  }
  if (schedule.kind == Schedule::kWeekly && !parse_day(words[1], &schedule)) {
    *error = kind + ": not a day of the week: " + words[1];
    return std::nullopt;
  }
  if (schedule.kind != Schedule::kHourly && !parse_time(words[needed - 1], &schedule)) {
    *error = kind + ": not a time from 00:00 to 23:59: " + words[needed - 1];
    return std::nullopt;
  }
  return schedule;
}

std::string schedule_text(const Schedule& schedule) {
  const std::string time = two_digits(schedule.hour) + ":" + two_digits(schedule.minute);
  switch (schedule.kind) {
    case Schedule::kHourly:
      return "hourly";
    case Schedule::kDaily:
      return "daily " + time;
    case Schedule::kWeekly:
      break;
  }
  return std::string("weekly ") + kDays[schedule.weekday] + " " + time;
}

std::string service_unit_name(const std::string& tag) { return "corvio-run-" + tag + ".service"; }

std::string timer_unit_name(const std::string& tag) { return "corvio-run-" + tag + ".timer"; }

std::string service_unit_text(const ScheduledRun& run) {
  return "# Written by corvioctl schedule; 'corvioctl schedule " + run.tag +
         " --off' removes it.\n"
         "[Unit]\n"
         "Description=Meridane Online Backup: run of profile " +
         run.tag +
         "\n"
         "Documentation=man:corvio(1) man:corvioctl(1)\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "Environment=" +
         unit_quoted("XDG_DATA_HOME=" + run.data_home) + "\n" +
         // A timer's run is unattended: it never waits for a click in a window, and a display the
         // user manager still names after logout would make the windows fail to start.
         "UnsetEnvironment=DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM\n"
         "ExecStart=" + unit_quoted(run.corvio_path) + " /run:" + run.tag + " /exitwhendone\n";
}

std::string timer_unit_text(const ScheduledRun& run, const Schedule& schedule) {
  std::string calendar = "hourly";
  if (schedule.kind != Schedule::kHourly) {
    calendar = "*-*-* " + two_digits(schedule.hour) + ":" + two_digits(schedule.minute) + ":00";
    if (schedule.kind == Schedule::kWeekly) calendar = kDays[schedule.weekday] + (" " + calendar);
  }
  return "# Written by corvioctl schedule; 'corvioctl schedule " + run.tag +
         " --off' removes it.\n"
         "[Unit]\n"
         "Description=Meridane Online Backup: " +
         schedule_text(schedule) + " run of profile " + run.tag +
         "\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=" +
         calendar +
         "\n"
         "Persistent=true\n"
         "RandomizedDelaySec=5min\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::string crontab_line(const ScheduledRun& run, const Schedule& schedule) {
  std::string when = "0 * * * *";
  if (schedule.kind != Schedule::kHourly) {
    // cron counts the days of the week from Sunday, 0.
    const std::string day =
        schedule.kind == Schedule::kWeekly ? std::to_string((schedule.weekday + 1) % 7) : "*";
    when = std::to_string(schedule.minute) + " " + std::to_string(schedule.hour) + " * * " + day;
  }
  return when + " XDG_DATA_HOME=" + cron_quoted(run.data_home) + " " +
         cron_quoted(run.corvio_path) + " /run:" + run.tag + " /exitwhendone";
}

bool unit_safe_path(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7f) return false;
  return true;
}

}  // namespace corvio
