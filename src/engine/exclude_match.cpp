// SPDX-License-Identifier: Apache-2.0
#include "engine/exclude_match.h"

#include <string>

namespace corvio {

bool wildcard_match(std::string_view text, std::string_view pattern) {
  // Greedy matching with one backtrack point: the last '*' seen and the text position it was
  // tried at. Giving up the earlier stars' choices never finds a match the last one misses,
  // so this is exact without recursion.
  size_t t = 0, p = 0;
  size_t star = std::string_view::npos, star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int exclude_match(const PathStyle& style, std::string_view text, std::string_view rule) {
  if (text.empty() || rule.empty()) return 0;
  std::string pattern = style.fold(rule);
  pattern += '*';
  return wildcard_match(style.fold(text), pattern) ? 1 : 0;
}

bool within(const PathStyle& style, std::string_view path, std::string_view dir) {
  while (dir.size() > 1 && dir.back() == style.separator) dir.remove_suffix(1);
  while (path.size() > 1 && path.back() == style.separator) path.remove_suffix(1);
  if (dir.empty() || path.size() < dir.size()) return false;
  const std::string head = style.fold(path.substr(0, dir.size()));
  if (head != style.fold(dir)) return false;
  return path.size() == dir.size() || dir.back() == style.separator ||
         path[dir.size()] == style.separator;
}

}  // namespace corvio
