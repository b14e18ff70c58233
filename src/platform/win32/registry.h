// SPDX-License-Identifier: Apache-2.0
// Reading one text value from the registry, the way start-up reads the installation directory.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace corvio::win32 {

// The value `name` of the key `subkey` under `root`, or nothing when the key cannot be opened,
// the value cannot be read, or it does not fit 259 bytes. The key is opened for reading from
// the 64-bit view, then the 32-bit view, then the caller's own view, whichever opens first.
std::optional<std::string> registry_string(HKEY root, const char* subkey, const char* name);

}  // namespace corvio::win32
