// SPDX-License-Identifier: Apache-2.0
// The tree walk of one include rule: depth first, applying the exclude rules, recording every
// directory in the catalog, writing one log record per entry and handing every regular file to
// the block loop. Runs on the backup worker thread; its state is the recursion itself.
//
// Log records: "<path> : <size> : <kind> (<attribute letters>)", kind "Dir", "File" or
// "Unknown" (special files and symbolic links, which are never opened or followed). A file's
// record is continued by the block loop; every other record ends its line.
#pragma once

#include <cstdint>
#include <string>

#include "engine/run.h"

namespace corvio {

// Visits prefix + name and, for a directory, everything below it. prefix is the parent's path
// (empty for an include rule), name the entry's name (the include path itself at the top).
// 1 when the run was cancelled, else 0.
int walk_tree(Run& run, const std::string& prefix, std::string name);

// Records the directory prefix + name in the catalog and counts it. Always 0.
int record_directory(Run& run, const std::string& prefix, const std::string& name);

// Records every directory on the way to include_path, and include_path itself.
void record_ancestors(Run& run, const std::string& include_path);

// The progress window's Directory, Filename, Size and Sent fields for the file now being sent
// (the walk's entries, then the catalog): the size and nothing sent yet, both empty for size 0.
void show_current_file(const Context& ctx, const std::string& path, uint64_t size);

// The same for an entry of the walk, with the file's block text and progress bar reset.
void show_entry_progress(Run& run, const std::string& full_path, uint64_t size);

// "A", "H", "R", "S" for the archive, hidden, read-only and system bits, in that order.
std::string attribute_letters(uint32_t attributes);

}  // namespace corvio
