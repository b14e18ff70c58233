// SPDX-License-Identifier: Apache-2.0
// The block loop: backs up one regular file that the tree walk found. It records the file in
// the catalog and asks the MD5 cache whether the file must be read. An unchanged file is not
// read: its blocks' digests come from the cache, each is announced to the server as used by
// this run and recorded in the catalog. A new or changed file is read in blocks of 1,048,576
// bytes; each block is hashed, recorded in the catalog and the cache queue, and stored on the
// server unless the server holds it already.
//
// What the catalog says is always what the server holds: a cached file whose replay the server
// refuses (it lost a block) is read and stored again, with its block rows from that read; a
// file that cannot be opened or read to its end is logged ("Error: couldn't read file: ..."),
// counted in errors and left out of the catalog, and its cache entry is dropped; a file that
// changes size while it is read is recorded with the bytes actually read, counted in warnings
// and not cached.
#pragma once

#include <string>

#include "engine/run.h"
#include "util/block_format.h"

namespace corvio {

// Backs up prefix + name (prefix ends in a separator, or is empty when an include rule names
// the file). 0 when the file is done, skipped or failed; 1 when the run was cancelled.
int backup_file(Run& run, const std::string& prefix, const std::string& name);

}  // namespace corvio
