// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "platform/directories.h"
#include "platform/win32/registry.h"

namespace corvio {

std::optional<std::string> user_data_dir() {
  // At most 234 characters are taken from AppData, so that the data directory with its
  // suffix stays within the 259 characters of a Windows path. A longer value is refused
  // rather than cut, which would name some other directory.
  char app_data[235];
  const DWORD n = ::GetEnvironmentVariableA("AppData", app_data, sizeof app_data);
  if (n == 0 || n >= sizeof app_data) return std::nullopt;
  return std::string(app_data, n) + "\\Meridane Online Backup";
}

std::optional<std::string> install_dir() {
  return win32::registry_string(HKEY_LOCAL_MACHINE, "Software\\Meridane\\Online Backup",
                                "Install_Dir");
}

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The length of the part of a path that names a volume rather than a directory: "C:\" of
// "C:\a\b", "\\server\share\" of a network path, nothing of a relative path.
size_t root_length(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.size() > 2 && is_separator(path[2]) ? 3 : 2;
  if (path.size() < 2 || !is_separator(path[0]) || !is_separator(path[1])) return 0;
  size_t pos = 2;
  for (int part = 0; part < 2 && pos < path.size(); ++part) {
    while (pos < path.size() && !is_separator(path[pos])) ++pos;
    if (pos < path.size()) ++pos;
  }
  return pos;
}

}  // namespace

bool make_dirs(const std::string& dir) {
  if (dir.empty()) return false;
  for (size_t pos = root_length(dir) + 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && !is_separator(dir[pos])) continue;
    if (is_separator(dir[pos - 1])) continue;  // a doubled separator names no new directory
    const std::string part = dir.substr(0, pos);
    if (!::CreateDirectoryA(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  const DWORD attrs = ::GetFileAttributesA(dir.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace corvio
