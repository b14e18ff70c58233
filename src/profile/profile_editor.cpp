// SPDX-License-Identifier: Apache-2.0
#include "profile/profile_editor.h"

#include "profile/config.h"
#include "profile/profile_db.h"
#include "util/text.h"

namespace corvio {

namespace {

uint32_t decimal(const std::string& text) { return static_cast<uint32_t>(parse_decimal(text)); }

}  // namespace

std::unique_ptr<Profile> new_profile_defaults() {
  auto p = std::make_unique<Profile>();
  p->server = kDefaultServer;
  p->port = kDefaultPort;
  p->thread_priority.store(2);
  p->tx_limit_unit.store(1);
  p->tx_limit_rate.store(50);
  p->rx_limit_unit.store(1);
  p->rx_limit_rate.store(50);
  p->use_shadow_copy = 1;
  return p;
}

int priority_index_for(uint32_t thread_priority) {
  switch (thread_priority) {
    case 0:
      return 4;
    case 1:
      return 3;
    case 3:
      return 1;
    case 4:
      return 0;
    default:
      return 2;
  }
}

uint32_t priority_for_index(int index) {
  if (index < 0 || index > 4) return 1;
  return static_cast<uint32_t>(4 - index);
}

EditorFields editor_fields(const Profile& p) {
  EditorFields f;
  f.tag = p.tag;
  f.description = p.description;
  f.login = p.login;
  f.password = p.password;
  f.server = p.server;
  f.port = std::to_string(p.port);
  f.throttling = throttling_fields(p);
  // An unknown stored priority shows "Normal" here, where the throttling dialog shows "Below
  // Normal".
  f.throttling.priority_index = priority_index_for(p.thread_priority.load());
  f.shadow_copy = p.use_shadow_copy != 0;
  for (const std::string& rule : p.include_rules) f.rules.push_back({kInclude, rule});
  for (const std::string& rule : p.exclude_rules) f.rules.push_back({kExclude, rule});
  return f;
}

bool rule_list_has_path(const PathStyle& style, const std::vector<RuleRow>& rows,
                        std::string_view path, int skip_row) {
  for (size_t i = 0; i < rows.size(); i++) {
    if (static_cast<int>(i) == skip_row) continue;
    if (style.same(rows[i].path, path)) return true;
  }
  return false;
}

int rule_dialog_ok(const Context& ctx, std::vector<RuleRow>& rows, std::string_view text,
                   bool include, int editing_row, size_t max_chars) {
  const char* title = "Can't Add Include/Exclude";
  std::string path = bounded(text, max_chars);
  if (path.empty()) {
    ctx.messages.message_box(
        "Error - A filespec must be entered.  If you don't want to\nadd a filespec, use the "
        "Cancel button instead.",
        title);
    return 1;
  }
  if (rule_list_has_path(ctx.style, rows, path, editing_row)) {
    ctx.messages.message_box(
        "Error - An existing include/exclude rule already has this\npath or filename listed as "
        "an include or exclude.",
        title);
    return 1;
  }
  if (include && path.find_first_of("*?") != std::string::npos) {
    ctx.messages.message_box(
        "Error - Wildcards (* and ?) are supported only in exclude rules.\nInclude rules do not "
        "yet support wildcards.",
        title);
    return 1;
  }
  if (!rule_is_anchored(ctx.style, path, include)) {
    ctx.messages.message_box(
        std::string("Error - The path must be absolute (") +
            (ctx.style.is_windows() ? "C:\\..." : "/...") +
            "), so that a run backs up the same\nfiles wherever it starts. " +
            "An exclude rule may also begin with * or ?.\n" + path,
        title);
    return 1;
  }
  RuleRow row{include ? kInclude : kExclude, path};
  if (editing_row >= 0 && static_cast<size_t>(editing_row) < rows.size())
    rows[editing_row] = row;
  else
    rows.push_back(row);
  return 0;
}

int ProfileEditor::check_tag(std::string& tag) {
  const char* title = "Unable to create profile";
  if (const char* problem = profile_tag_check(tag)) {
    ctx_.messages.message_box(problem, title);
    return 1;
  }
  if (new_profile_ && profile_load(ctx_, tag, true)) {
    ctx_.messages.message_box("A profile with that tag name already exists!", title);
    return 1;
  }
  return 0;
}

int ProfileEditor::ok(const EditorFields& f, const FieldWidths& widths) {
  Profile& p = *profile_;
  std::string tag = bounded(f.tag, widths.tag);
  if (check_tag(tag) != 0) return 1;
  p.tag = tag;

  p.description = bounded(f.description, kDescriptionChars);
  p.server = bounded(f.server, kServerChars);
  p.port = static_cast<uint16_t>(decimal(f.port));
  p.login = bounded(f.login, widths.login);
  p.password = bounded(f.password, widths.password);
  throttling_store(f.throttling, p);
  p.use_shadow_copy = f.shadow_copy ? 1 : 0;

  // The texts a load of such a profile would show.
  const char* missing = p.server.empty()     ? "No server specified in backup profile!"
                        : p.login.empty()    ? "No login specified in backup profile!"
                        : p.password.empty() ? "No password specified in backup profile!"
                                             : nullptr;
  if (missing) {
    ctx_.messages.message_box(missing, "Backup Profile Error");
    return 1;
  }
  if (check_throttling(ctx_.messages, p.file_delay_ms.load(), p.block_delay_ms.load(),
                       p.tx_limit_enabled.load() != 0, p.tx_limit_rate.load(),
                       p.rx_limit_enabled.load() != 0, p.rx_limit_rate.load()) != 0) {
    return 1;
  }

  p.include_rules.clear();
  p.exclude_rules.clear();
  for (const RuleRow& row : f.rules) {
    std::string path = bounded(row.path, kRulePathChars);
    (row.mode == kInclude ? p.include_rules : p.exclude_rules).push_back(path);
  }

  if (profile_create(ctx_, config_, p) != 0) return 1;
  saved_ = true;
  return 0;
}

}  // namespace corvio
