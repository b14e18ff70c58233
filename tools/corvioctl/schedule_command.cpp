// SPDX-License-Identifier: Apache-2.0
#include "schedule_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/directories.h"
#include "profile/profile_db.h"
#include "schedule.h"
#include "util/text.h"

extern char** environ;

namespace corvio {
namespace {

constexpr char kScheduleUsage[] =
    "usage: corvioctl schedule [--] TAG --daily HH:MM | --hourly | --weekly DAY HH:MM\n"
    "       corvioctl schedule [--] TAG --off\n"
    "       corvioctl schedule list\n"
    "\n"
    "Runs a profile by itself: writes the systemd user units corvio-run-TAG.service and\n"
    "corvio-run-TAG.timer (in $XDG_CONFIG_HOME/systemd/user, by default ~/.config/systemd/user)\n"
    "that run 'corvio /run:TAG /exitwhendone', and enables the timer with 'systemctl --user'.\n"
    "A run missed while the machine was off runs when it is next on, each run starts up to\n"
    "five minutes late at random, and a failed or cancelled run leaves the service failed.\n"
    "Without a systemd user manager it prints the crontab line to add instead.\n"
    "DAY is Mon..Sun (or the full name), HH:MM from 00:00 to 23:59, local time.\n"
    "--off stops the timer and removes both units; 'list' prints each scheduled tag and\n"
    "its calendar, tab-separated.\n";

int usage_error(const CtlIo& io, const std::string& text) {
  std::fprintf(io.err, "corvioctl schedule: %s\n", printable(text).c_str());
  return kCtlUsage;
}

// Runs "systemctl --user ARGS..." and waits for it: its exit status, 127 when it cannot be
// started. quiet sends its output to /dev/null.
int systemctl(const std::vector<std::string>& args, bool quiet) {
  std::vector<std::string> words = {"systemctl", "--user"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid;
  const int spawned = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return 127;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return 127;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

bool user_manager_running() { return systemctl({"show-environment"}, true) == 0; }

// Writes text to path whole or not at all: a temporary file beside it, renamed over it.
bool write_unit(const Context& ctx, const std::string& path, const std::string& text) {
  const std::string temp = path + ".new";
  std::FILE* file = std::fopen(temp.c_str(), "w");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written || !ctx.fs.rename(temp, path)) {
    ctx.fs.remove(temp);
    return false;
  }
  return true;
}

int schedule_on(const Context& ctx, const ScheduleEnv& env, const std::string& tag,
                const Schedule& schedule, const CtlIo& io) {
  if (!ctx.fs.exists(profile_db_path(ctx, tag))) {
    std::fprintf(io.err, "corvioctl: no profile named %s\n", tag.c_str());
    return kCtlFailed;
  }
  if (!ctx.fs.exists(env.corvio_path)) {
    std::fprintf(io.err, "corvioctl: the corvio program is not at %s\n",
                 printable(env.corvio_path).c_str());
    return kCtlFailed;
  }
  const ScheduledRun run{env.corvio_path, tag, env.data_home};
  const std::string service = env.unit_dir + "/" + service_unit_name(tag);
  const std::string timer = env.unit_dir + "/" + timer_unit_name(tag);
  if (!make_dirs(env.unit_dir) || !write_unit(ctx, service, service_unit_text(run)) ||
      !write_unit(ctx, timer, timer_unit_text(run, schedule))) {
    std::fprintf(io.err, "corvioctl: could not write the units into %s\n",
                 printable(env.unit_dir).c_str());
    return kCtlFailed;
  }
  std::fprintf(io.out, "wrote %s and %s\n", printable(service).c_str(), printable(timer).c_str());
  if (!user_manager_running()) {
    std::fprintf(io.out,
                 "no systemd user manager is running; to run profile %s from cron instead, add "
                 "this line with 'crontab -e':\n%s\n",
                 tag.c_str(), printable(crontab_line(run, schedule)).c_str());
    return kCtlOk;
  }
  if (systemctl({"daemon-reload"}, false) != 0 ||
      systemctl({"enable", "--now", timer_unit_name(tag)}, false) != 0) {
    std::fprintf(io.err, "corvioctl: systemctl --user could not enable %s\n",
                 timer_unit_name(tag).c_str());
    return kCtlFailed;
  }
  std::fprintf(io.out, "profile %s runs %s (systemctl --user list-timers shows the next run)\n",
               tag.c_str(), schedule_text(schedule).c_str());
  return kCtlOk;
}

int schedule_off(const Context& ctx, const ScheduleEnv& env, const std::string& tag,
                 const CtlIo& io) {
  const std::string service = env.unit_dir + "/" + service_unit_name(tag);
  const std::string timer = env.unit_dir + "/" + timer_unit_name(tag);
  if (!ctx.fs.exists(timer) && !ctx.fs.exists(service)) {
    std::fprintf(io.err, "corvioctl: profile %s has no schedule\n", tag.c_str());
    return kCtlFailed;
  }
  const bool manager = user_manager_running();
  if (manager) systemctl({"disable", "--now", timer_unit_name(tag)}, false);
  for (const std::string& path : {timer, service}) {
    if (ctx.fs.exists(path) && !ctx.fs.remove(path)) {
      std::fprintf(io.err, "corvioctl: could not remove %s\n", printable(path).c_str());
      return kCtlFailed;
    }
  }
  if (manager) systemctl({"daemon-reload"}, false);
  std::fprintf(io.out, "removed the schedule of profile %s%s\n", tag.c_str(),
               manager ? "" : " (and its crontab line, if you added one, with 'crontab -e')");
  return kCtlOk;
}

int schedule_list(const Context& ctx, const ScheduleEnv& env, const CtlIo& io) {
  std::vector<FileInfo> entries;
  if (ctx.fs.exists(env.unit_dir) && !ctx.fs.list(env.unit_dir, &entries)) {
    std::fprintf(io.err, "corvioctl: could not read %s\n", printable(env.unit_dir).c_str());
    return kCtlFailed;
  }
  const std::string prefix = "corvio-run-", suffix = ".timer";
  std::vector<std::string> names;
  for (const FileInfo& e : entries)
    if (e.name.starts_with(prefix) && e.name.ends_with(suffix)) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string calendar = "?";
    if (std::FILE* file = std::fopen((env.unit_dir + "/" + name).c_str(), "r")) {
      char line[512];
      while (std::fgets(line, sizeof line, file)) {
        std::string text(line);
        if (text.starts_with("OnCalendar=")) calendar = text.substr(11, text.find('\n') - 11);
      }
      std::fclose(file);
    }
    const std::string tag = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    std::fprintf(io.out, "%s\t%s\n", printable(tag).c_str(), printable(calendar).c_str());
  }
  return kCtlOk;
}

}  // namespace

std::optional<ScheduleEnv> schedule_env(const Context& ctx, std::string* error) {
  ScheduleEnv env;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (config && config[0] == '/') {
    env.unit_dir = std::string(config) + "/systemd/user";
  } else if (home && home[0] == '/') {
    env.unit_dir = std::string(home) + "/.config/systemd/user";
  } else {
    *error = "neither XDG_CONFIG_HOME nor HOME names the folder for the user units";
    return std::nullopt;
  }
  env.corvio_path = ctx.install_dir.empty() ? "" : ctx.install_dir + "/corvio";
  const size_t slash = ctx.data_dir.find_last_of('/');
  env.data_home = slash == std::string::npos ? "" : ctx.data_dir.substr(0, slash);
  if (!unit_safe_path(env.unit_dir) || !unit_safe_path(env.corvio_path) ||
      !unit_safe_path(env.data_home)) {
    *error =
        "the units folder, the corvio program or the data directory is not an absolute "
        "path without control characters";
    return std::nullopt;
  }
  return env;
}

int schedule_command(const Context& ctx, const ScheduleEnv& env,
                     const std::vector<std::string>& args, const CtlIo& io) {
  if (std::find_if(args.begin(), args.end(),
                   [](const std::string& a) { return a == "--help" || a == "-h"; }) != args.end()) {
    std::fputs(kScheduleUsage, io.out);
    return kCtlOk;
  }
  if (args.size() == 1 && args[0] == "list") return schedule_list(ctx, env, io);
  // "--" before a tag that begins with '-'.
  const size_t at = !args.empty() && args[0] == "--" ? 1 : 0;
  if (args.size() <= at || (at == 0 && args[0].starts_with("-"))) {
    std::fputs(kScheduleUsage, io.err);
    return kCtlUsage;
  }
  std::string tag = args[at];
  if (tag.size() > kTagChars)
    return usage_error(io, "TAG: longer than " + std::to_string(kTagChars) + " characters");
  const std::vector<std::string> words(args.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                       args.end());
  std::optional<Schedule> schedule;
  if (words.size() != 1 || words[0] != "--off") {
    std::string error;
    schedule = parse_schedule(words, &error);
    if (!schedule) return usage_error(io, error);
  }
  // The tag names the unit files: folded and checked before any is named.
  if (!checked_tag(ctx, tag)) return kCtlFailed;
  return schedule ? schedule_on(ctx, env, tag, *schedule, io) : schedule_off(ctx, env, tag, io);
}

}  // namespace corvio
