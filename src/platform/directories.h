// SPDX-License-Identifier: Apache-2.0
// Where the program keeps its files and where it is installed.
#pragma once

#include <optional>
#include <string>

namespace corvio {

// The per-user data directory, or nothing when the environment does not say where it is.
// Windows: %AppData%\Meridane Online Backup. POSIX: $XDG_DATA_HOME/meridane-online-backup, with
// XDG_DATA_HOME defaulting to $HOME/.local/share. The directory is not created here.
std::optional<std::string> user_data_dir();

// The installation directory, or nothing when it cannot be found. Windows: the registry value
// "Install_Dir"; POSIX: the directory of the running executable.
std::optional<std::string> install_dir();

// Creates dir and any missing parents (mode 0700 for the ones created). False on failure.
bool make_dirs(const std::string& dir);

}  // namespace corvio
