// SPDX-License-Identifier: Apache-2.0
// corvio-server restore: rebuilds the directories and files of a finished run below a target
// directory, from the run's catalog and the blocks the store holds, reading nothing but the
// store.
//
// Only a run with an end-of-run record can be restored: that record names the catalog file,
// stored as a block, by MD5 and size. Every directory row of the catalog is made, every file
// row is rebuilt from its blocks in offset order and given its modification and access times,
// and then every directory gets its times (after its contents are written, which would change
// them). Where a catalog path goes below the target is catalog_path.h's; nothing is written
// outside the target (restore_target.h).
//
// A file is installed only when it is complete: every block present, of its length and MD5,
// the blocks following each other from offset 0 without a gap, and the bytes written equal to
// the catalog's size. Otherwise the file is reported and not written at all (an older file of
// its name in the target stays as it was); everything else is still restored. Each problem is
// reported with the catalog path it concerns.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "problems.h"
#include "run_index.h"
#include "store.h"

namespace corvio::server {

struct RestoreRequest {
  uint32_t catalog_id = 0;
  std::string to;
  std::optional<std::string> path;  // only entries at or below this catalog path
};

struct RestoreResult {
  uint64_t directories = 0;  // directory rows made
  uint64_t files = 0;        // files installed
  uint64_t bytes = 0;        // bytes of the installed files
  uint64_t problems = 0;     // problems reported
  bool failed = false;       // no such run, a damaged catalog, or one not readable to its end
};

// Restores the run, reporting each problem to report. The path filter must be a catalog path
// that parse_catalog_path takes as safe (the caller checks it).
RestoreResult restore_run(const Store& store, RunIndex& index, const RestoreRequest& request,
                          const ProblemSink& report);

}  // namespace corvio::server
