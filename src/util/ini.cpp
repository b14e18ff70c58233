// SPDX-License-Identifier: Apache-2.0
#include "util/ini.h"

#include "util/text.h"

namespace corvio {
namespace {

std::string_view trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\'')) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

}  // namespace

std::string ini_get_string(std::string_view text, std::string_view section, std::string_view key,
                           size_t buffer_size) {
  bool in_section = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      if (close != std::string_view::npos) {
        in_section = equal_ignoring_ascii_case(trim(line.substr(1, close - 1)), section);
      }
      continue;
    }
    if (!in_section) continue;
    const size_t eq = line.find('=');
    if (!equal_ignoring_ascii_case(trim(line.substr(0, eq)), key)) continue;
    if (eq == std::string_view::npos || buffer_size == 0) return std::string();
    return bounded(unquote(trim(line.substr(eq + 1))), buffer_size - 1);
  }
  return std::string();
}

}  // namespace corvio
