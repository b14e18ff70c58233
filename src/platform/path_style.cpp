// SPDX-License-Identifier: Apache-2.0
#include "platform/path_style.h"

#include "util/text.h"

namespace corvio {

PathStyle PathStyle::native() {
#ifdef _WIN32
  return windows();
#else
  return posix();
#endif
}

std::string PathStyle::join(std::string_view dir, std::string_view name) const {
  std::string out(dir);
  if (out.empty() || out.back() != separator) out += separator;
  out += name;
  return out;
}

std::string PathStyle::fold(std::string_view path) const {
  return fold_case ? lower_ascii(path) : std::string(path);
}

bool PathStyle::is_absolute(std::string_view path) const {
  if (!drive_letters) return path.starts_with('/');
  const bool letter = !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') ||
                                        (path[0] >= 'a' && path[0] <= 'z'));
  if (letter && path.size() >= 2 && path[1] == ':') return path.size() == 2 || path[2] == '\\';
  return path.starts_with("\\\\");
}

bool PathStyle::same(std::string_view a, std::string_view b) const {
  return fold_case ? equal_ignoring_ascii_case(a, b) : a == b;
}

void PathStyle::split(std::string_view path, std::string* parent, std::string* name) const {
  size_t cut = path.rfind(separator);
  if (cut == std::string_view::npos || (!drive_letters && path == "/")) {
    parent->clear();
    *name = path;
    return;
  }
  // The POSIX root is a directory of its own, so "/a" has the parent "/".
  *parent = path.substr(0, (!drive_letters && cut == 0) ? 1 : cut);
  *name = path.substr(cut + 1);
}

}  // namespace corvio
