// SPDX-License-Identifier: Apache-2.0
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/directories.h"

namespace corvio {

std::optional<std::string> user_data_dir() {
  const char* xdg = ::getenv("XDG_DATA_HOME");
  std::string base;
  // A relative XDG_DATA_HOME is invalid and must be ignored.
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = ::getenv("HOME");
    if (!home || home[0] == '\0') return std::nullopt;
    base = std::string(home) + "/.local/share";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/meridane-online-backup";
}

std::optional<std::string> install_dir() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::nullopt;
  std::string exe(buf, static_cast<size_t>(n));
  size_t cut = exe.find_last_of('/');
  if (cut == std::string::npos) return std::nullopt;
  return cut == 0 ? std::string("/") : exe.substr(0, cut);
}

bool make_dirs(const std::string& dir) {
  if (dir.empty()) return false;
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    std::string part = dir.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace corvio
