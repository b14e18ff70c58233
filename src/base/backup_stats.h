// SPDX-License-Identifier: Apache-2.0
// BackupStats: the counters of one run. The engine alone moves them, on the worker thread; the
// progress window's timers and the terminal read them while it does, so each is Relaxed (read
// and written whole, never torn). They are logged in the run log's trailer, stored in the
// catalog and sent in the end-of-run record.
#pragma once

#include <cstdint>

#include "util/relaxed.h"

namespace corvio {

struct BackupStats {
  Relaxed<uint64_t> bytes_total;
  Relaxed<uint32_t> files;
  Relaxed<uint32_t> directories;
  Relaxed<uint32_t> special_files;  // nothing counts these; stays 0 but is logged and stored
  Relaxed<uint64_t> bytes_skipped;
  Relaxed<uint64_t> bytes_stored;
  Relaxed<uint64_t> bytes_compressed;
  Relaxed<uint64_t> bytes_duped;
  Relaxed<uint32_t> segs_total;
  Relaxed<uint32_t> segs_stored;
  Relaxed<uint32_t> segs_duped;
  Relaxed<uint32_t> warnings;
  Relaxed<uint32_t> errors;
  Relaxed<uint32_t> files_scanned;
  Relaxed<uint32_t> files_skipped;
};

}  // namespace corvio
