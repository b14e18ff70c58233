// SPDX-License-Identifier: Apache-2.0
#include "catalog/profile_dir_cleanup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/backup_session.h"
#include "util/text.h"

namespace corvio {
namespace {

// Names are the catalog number as eight hexadecimal digits and a suffix.
constexpr size_t kNumberChars = 8;
constexpr size_t kKept = 8;

bool has_suffix(std::string_view name, size_t length, std::string_view suffix) {
  return name.size() == length && equal_ignoring_ascii_case(name.substr(kNumberChars), suffix);
}

bool is_catalog_or_log(std::string_view name) {
  return has_suffix(name, kNumberChars + 4, ".cat") || has_suffix(name, kNumberChars + 4, ".log");
}

bool is_journal(std::string_view name) {
  return has_suffix(name, kNumberChars + 12, ".cat-journal");
}

// The hexadecimal number at the start of the name; reading stops at the first other character.
uint32_t leading_hex(std::string_view name) {
  uint32_t value = 0;
  for (char c : name.substr(0, kNumberChars)) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

// Inserts number into the descending table unless it is there already; the smallest falls off.
// The table starts as zeros, so while fewer than eight numbers are known a file numbered 0 stays.
void keep_highest(std::array<uint32_t, kKept>* table, uint32_t number) {
  if (std::find(table->begin(), table->end(), number) != table->end()) return;
  auto at = std::find_if(table->begin(), table->end(), [&](uint32_t n) { return number > n; });
  if (at == table->end()) return;
  std::move_backward(at, table->end() - 1, table->end());
  *at = number;
}

}  // namespace

int profile_dir_cleanup(Context& ctx, const BackupSession& session) {
  if (!session.profile) return 0;
  const std::string dir = ctx.profile_dir(session.profile->tag);

  std::vector<FileInfo> entries;
  if (!ctx.fs.list(dir, &entries)) return 0;
  std::array<uint32_t, kKept> highest{};
  for (const FileInfo& entry : entries) {
    if (!entry.is_directory() && is_catalog_or_log(entry.name)) {
      keep_highest(&highest, leading_hex(entry.name));
    }
  }

  entries.clear();
  if (!ctx.fs.list(dir, &entries)) return 0;
  for (const FileInfo& entry : entries) {
    if (entry.is_directory() || !(is_catalog_or_log(entry.name) || is_journal(entry.name))) {
      continue;
    }
    const uint32_t number = leading_hex(entry.name);
    if (std::find(highest.begin(), highest.end(), number) == highest.end()) {
      ctx.fs.remove(ctx.style.join(dir, entry.name));
    }
  }
  return 0;
}

}  // namespace corvio
