// SPDX-License-Identifier: Apache-2.0
#include "app/application.h"

#include "platform/directories.h"
#include "profile/profile_db.h"
#include "util/text.h"

namespace corvio {

namespace {

constexpr char kTitle[] = "Meridane Online Backup";
constexpr size_t kDirChars = 259;

}  // namespace

Application::Application(FileSystem& fs, Clock& clock, ui::Messages& messages, ui::Display& display,
                         PathStyle style, Services& services, FrontEnd& front_end)
    : ctx_{fs, clock, messages, display, style, "", ""},
      services_(services),
      front_end_(front_end),
      config_(ctx_) {}

int Application::settle_directories(const SystemFacts& facts) {
  ctx_.install_dir.clear();
  if (facts.install_dir && !facts.install_dir->empty())
    ctx_.install_dir = bounded(*facts.install_dir, kDirChars);
  else
    ctx_.messages.message_box("Well, crap!", "Blah!");  // costs only the update check

  // A directory path cut short would put the databases somewhere else; refuse it instead.
  if (!facts.data_dir || facts.data_dir->empty() || facts.data_dir->size() > kDirChars) {
    ctx_.messages.message_box("Unable to determine application data directory!", kTitle);
    return 1;
  }
  ctx_.data_dir = *facts.data_dir;
  // The first run on a machine has no data directory yet. If it cannot be made, opening the
  // databases fails and says so.
  if (!ctx_.style.is_windows()) make_dirs(ctx_.data_dir);
  return 0;
}

int Application::run(std::string_view command_line, const SystemFacts& facts) {
  if (!facts.components_ready) ctx_.messages.message_box("Failed to initialize COM!", kTitle);
  command_line_ = parse_command_line(command_line);

  if (settle_directories(facts) != 0) return 0;
  profile_check_data_dir_privacy(ctx_);
  session_.reset();
  if (services_.md5cache_open(ctx_) != 0) return 1;
  if (config_.open() != 0) return 1;

  // A run asked for on the command line that never starts has failed, and says so in the
  // exit code; interactive use ends with 0.
  int exit_code = command_line_.run_requested ? kExitFailed : 0;
  if (services_.tls_init(ctx_) == 0 && config_.load_profiles() == 0) exit_code = start_ui();

  services_.md5cache_close();
  config_.close();
  return exit_code;
}

int Application::start_ui() {
  if (!command_line_.run_requested) return front_end_.run_main_window(*this);
  config_.load_profiles();
  for (const ProfileListEntry& entry : config_.profile_list()) {
    if (entry.tag != command_line_.run_tag) continue;
    if (open_selected_profile(entry) == 0) return front_end_.run_progress_window(*this);
    break;
  }
  ctx_.messages.message_box("Unable to automatically run backup profile: " + command_line_.run_tag +
                                "\nProfile could not be loaded!",
                            kTitle);
  return kExitFailed;
}

int Application::open_selected_profile(const ProfileListEntry& selected) {
  std::unique_ptr<Profile> profile = profile_load(ctx_, selected.tag, false);
  if (!profile) {
    ctx_.messages.message_box(selected.tag, "Unable to open profile");
    return 1;
  }
  session_.reset();
  profile->tag = bounded(selected.tag, kTagChars);
  session_.profile = std::move(profile);
  return 0;
}

}  // namespace corvio
