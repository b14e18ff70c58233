// SPDX-License-Identifier: Apache-2.0
#include "engine/tree_walk.h"

#include <algorithm>
#include <cctype>

#include "base/display.h"
#include "catalog/catalog.h"
#include "engine/backup_file.h"
#include "engine/exclude_match.h"
#include "util/format_count.h"
#include "util/text.h"

namespace corvio {

namespace {

// Times of a bare drive root, which has none of its own: 1980-01-01 08:00:00 UTC.
constexpr uint32_t kDriveRootTime = 315561600;

bool ends_with(const std::string& s, char c) { return !s.empty() && s.back() == c; }

// "C:" under the Windows style.
bool is_drive(const PathStyle& style, const std::string& path) {
  return style.drive_letters && path.size() == 2 && path[1] == ':' &&
         std::isalpha(static_cast<unsigned char>(path[0]));
}

bool is_dot_name(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

std::string attribute_letters(uint32_t attributes) {
  std::string letters;
  if (attributes & kAttrArchive) letters += 'A';
  if (attributes & kAttrHidden) letters += 'H';
  if (attributes & kAttrReadOnly) letters += 'R';
  if (attributes & kAttrSystem) letters += 'S';
  return letters;
}

void show_current_file(const Context& ctx, const std::string& path, uint64_t size) {
  const size_t cut = path.rfind(ctx.style.separator);
  const size_t name_at = cut == std::string::npos ? 0 : cut + 1;
  ctx.display.set_text(ui::Field::Directory, path.substr(0, name_at));
  ctx.display.set_text(ui::Field::Filename, path.substr(name_at));
  ctx.display.set_text(ui::Field::Size, size != 0 ? format_count(size) + " " : "");
  ctx.display.set_text(ui::Field::Sent, size != 0 ? "0 " : "");
}

void show_entry_progress(Run& run, const std::string& full_path, uint64_t size) {
  ui::Display& display = run.ctx.display;
  if (!display.attached()) return;
  show_current_file(run.ctx, full_path, size);
  if (size == 0) display.set_text(ui::Field::BlockText, "Block 0 of 0 (0%)");
  display.set_file_progress(0, 1);
}

int record_directory(Run& run, const std::string& prefix, const std::string& name) {
  const PathStyle& style = run.ctx.style;
  std::string path = upper_drive_letter(style, prefix + name);
  const bool drive_root = is_drive(style, path);
  if (drive_root) path += style.separator;

  FileStat stat;
  stat.type = kFileStatDirectory;
  stat.mode = 0x4000;
  if (drive_root) {
    stat.attr = kAttrDirectory;
    stat.t_access = stat.t_change = stat.t_modify = kDriveRootTime;
  } else {
    // Followed through a link: an include rule or a folder above it may be one.
    std::optional<FileInfo> info = run.ctx.fs.find_target(run.source(path));
    if (!info && run.ctx.fs.find(run.source(path))) return 0;  // a dangling link: the walk says so
    if (!info) {
      run.then([&run, path] {
        run.log("Warning: Failed to stat directory: " + escape_controls(path) + "\n");
        run.session.stats.warnings.add(1);
      });
      return 0;
    }
    // The attributes come from the live path, as the catalog describes the live tree.
    std::optional<FileInfo> live = run.shadow ? run.ctx.fs.find_target(path) : info;
    if (!live || !live->is_directory()) return 0;
    stat.attr = static_cast<uint8_t>(live->attributes & 0xff);
    stat.t_access = static_cast<uint32_t>(info->t_access);
    stat.t_change = static_cast<uint32_t>(info->t_create);
    stat.t_modify = static_cast<uint32_t>(info->t_write);
    if (!style.is_windows()) {
      stat.mode = info->mode;
      stat.owner = info->owner;
      stat.group = info->group;
    }
  }
  // The root of a drive is recorded as "C:"; the POSIX root "/" keeps its slash.
  if (path.size() > 1 && ends_with(path, style.separator)) path.pop_back();
  run.then([&run, path, stat] {
    run.session.stats.directories.add(1);
    run.ctx.display.set_directories(run.session.stats.directories);
    run.catalog.filespec_insert(path, stat);
  });
  return 0;
}

void record_ancestors(Run& run, const std::string& include_path) {
  const char sep = run.ctx.style.separator;
  std::string path = include_path;
  if (path.size() > 1 && ends_with(path, sep)) path.pop_back();
  for (size_t at = path.find(sep); at != std::string::npos; at = path.find(sep, at + 1)) {
    if (at > 0) record_directory(run, path.substr(0, at), "");
  }
  if (!path.empty()) record_directory(run, path, "");
}

int walk_tree(Run& run, const std::string& prefix, std::string name) {
  const PathStyle& style = run.ctx.style;
  const char sep = style.separator;
  if (uint32_t delay = run.profile().file_delay_ms.load()) run.ctx.clock.sleep_ms(delay);
  run.wait_if_paused();
  if (run.session.cancelled()) return 1;

  // One trailing separator goes, but the POSIX root stays "/".
  if (name.size() > 1 && ends_with(name, sep)) name.pop_back();
  std::string dir = prefix;
  if (!dir.empty() && !ends_with(dir, sep)) dir += sep;
  const std::string full = dir + name;
  if (full.size() > kMaxPathChars) {
    run.then([&run, full] {
      run.log("Warning: Path too long, not backed up: " + escape_controls(full) + "\n");
      run.session.stats.warnings.add(1);
    });
    return 0;
  }

  // The program's own data directory (profiles with their passwords, catalogs, the cache, the
  // logs being written) is never backed up, whatever the rules say.
  bool excluded = within(style, full, run.ctx.data_dir);
  for (const std::string& rule : run.profile().exclude_rules) {
    if (rule.empty() || ends_with(rule, sep)) continue;
    excluded = excluded || exclude_match(style, full, rule);
  }
  if (excluded) {
    run.then([&run, full] { run.log("Excluding: " + escape_controls(full) + "\n"); });
    return 0;
  }

  const std::string source = run.source(full);
  FileInfo entry;
  if (is_drive(style, source)) {
    entry.attributes = kAttrDirectory;
  } else {
    std::optional<FileInfo> found = run.ctx.fs.find(source);
    if (!found) {
      run.then([&run, full] { run.log(escape_controls(full) + " : Doesn't exist?\n"); });
      return 0;
    }
    if (prefix.empty() && (found->attributes & kAttrReparsePoint) && !found->is_directory()) {
      // The include rule itself names what the user wants backed up: a link there to a folder
      // is followed, and the folder recorded under the rule's path. Links below it never are.
      std::optional<FileInfo> target = run.ctx.fs.find_target(source);
      if (!target) {
        run.then([&run, full] {
          run.log("Warning: Include rule is a link whose target is missing: " +
                  escape_controls(full) + "\n");
          run.session.stats.warnings.add(1);
        });
        return 0;
      }
      if (target->is_directory()) {
        target->name = found->name;
        found = target;
      }
    }
    entry = *found;
  }
  const bool directory = entry.is_directory();
  const bool special = !directory && (entry.attributes & kAttrOffline);
  const uint64_t size = directory ? 0 : entry.size;

  const std::string record = escape_controls(full) + " : " + std::to_string(size) + " : " +
                             (directory ? "Dir"
                              : special ? "Unknown"
                                        : "File") +
                             " (" + attribute_letters(entry.attributes) + ")";
  run.then([&run, full, size, record, ends = directory || special, special] {
    show_entry_progress(run, full, size);
    run.log(record);
    // Special files and links are listed but never opened; their record ends here.
    if (ends) run.log("\n");
    if (special) run.session.stats.special_files.add(1);
  });
  if (special) return 0;
  if (!directory) return backup_file(run, dir, name);
  if (is_dot_name(name)) return 0;
  record_directory(run, dir, name);

  const std::string below = ends_with(full, sep) ? full : full + sep;
  for (const std::string& rule : run.profile().exclude_rules) {
    if (!rule.empty() && exclude_match(style, below, rule)) {
      run.then([&run] { run.log("Excluding files in this directory.\n"); });
      return 0;
    }
  }

  std::vector<FileInfo> children;
  if (!run.ctx.fs.list(run.source(is_drive(style, full) ? below : full), &children)) {
    run.then([&run, full] {
      run.log("Warning: Failed to list directory: " + escape_controls(full) + "\n");
      run.session.stats.warnings.add(1);
    });
    return 0;
  }
  // A stable order makes logs and catalogs comparable from run to run; under the Windows
  // style it ignores letter case, as that file system lists names.
  std::sort(children.begin(), children.end(), [&style](const FileInfo& a, const FileInfo& b) {
    const std::string fa = style.fold(a.name), fb = style.fold(b.name);
    return fa != fb ? fa < fb : a.name < b.name;
  });
  for (const FileInfo& child : children) {
    if (is_dot_name(child.name)) continue;
    if (!child.error.empty()) {
      run.then([&run, text = "Warning: Couldn't examine " +
                             escape_controls(style.join(full, child.name)) + ": " +
                             child.error + "\n"] {
        run.log(text);
        run.session.stats.warnings.add(1);
      });
      continue;
    }
    if (walk_tree(run, full, child.name) == 1) return 1;
  }
  return 0;
}

}  // namespace corvio
