// SPDX-License-Identifier: Apache-2.0
// Files whose permissions matter. Profile databases hold the server password in clear, so they
// are created readable by their owner only; the trusted certificates are public and replaced
// whole, so that a reader never sees half a file.
#pragma once

#include <string>
#include <string_view>

namespace corvio {

// Creates path as an empty file that only its owner may read and write. False, with the reason
// in *error, when it exists already or cannot be created.
bool create_owner_only_file(const std::string& path, std::string* error);

// Takes every permission of group and others away from an existing file. False on failure.
bool restrict_to_owner(const std::string& path);

// True when users other than the owner may read or enter path (POSIX: any group or other bit).
bool accessible_by_others(const std::string& path);

// The command a user types to keep others out of the folder path, as advice in a message.
std::string owner_only_folder_command(const std::string& path);

// Replaces path with bytes, readable by everyone and writable by its owner: written to a
// temporary file beside it, flushed to the disk, then renamed over path. False, with the reason
// in *error, when any step fails; path is then unchanged and the temporary file is gone.
bool replace_public_file(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace corvio
