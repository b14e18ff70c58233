// SPDX-License-Identifier: Apache-2.0
#include "platform/win32/registry.h"

#include "platform/win32/win32_handles.h"

namespace corvio::win32 {

std::optional<std::string> registry_string(HKEY root, const char* subkey, const char* name) {
  HKEY opened = nullptr;
  bool found = false;
  for (REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}, REGSAM{0}}) {
    if (::RegOpenKeyExA(root, subkey, 0, KEY_READ | view, &opened) == ERROR_SUCCESS) {
      found = true;
      break;
    }
  }
  if (!found) return std::nullopt;
  UniqueKey key(opened);
  // A stored value need not end with a terminator: the zero-filled byte after the 259 that
  // may be read ends it.
  char value[260] = {};
  DWORD size = sizeof value - 1;
  if (::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(value);
}

}  // namespace corvio::win32
