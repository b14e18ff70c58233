// SPDX-License-Identifier: Apache-2.0
// corvio-server verify: checks that the store could restore its finished runs. For each run
// (one, or every run with an end-of-run record) it checks the catalog block the record names,
// then every entry as restore would take it, without writing: its path placed as restore places
// it (a path refused or listed twice is a problem), and every block a file uses present, of its
// length and of its MD5, and laid out so that the blocks make the file exactly (from offset 0,
// no gap, ending at the file's size).
// A block used by several files or runs is read once. Reads nothing but the store, and changes
// it only to take out the damaged blocks it finds (scrub.h).
#pragma once

#include <cstdint>
#include <optional>

#include "problems.h"
#include "run_index.h"
#include "store.h"

namespace corvio::server {

struct VerifyResult {
  uint64_t catalogs = 0;    // finished runs checked
  uint64_t unfinished = 0;  // catalogs without an end-of-run record, passed over
  uint64_t files = 0;
  uint64_t blocks = 0;  // distinct blocks read, catalog blocks included
  uint64_t problems = 0;
};

// Verifies catalog_id, or every finished run when it is not given, reporting each problem
// (naming the catalog, and the file and block where there is one) to report. An unknown
// catalog_id, or an unfinished one, is a problem.
VerifyResult verify_store(Store& store, RunIndex& index, const std::optional<uint32_t>& catalog_id,
                          const ProblemSink& report);

}  // namespace corvio::server
