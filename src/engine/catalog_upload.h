// SPDX-License-Identifier: Apache-2.0
// The end of a completed run on the server: the closed catalog file (session.catalog_path)
// stored as one more block, then the end-of-run record with the run's statistics. The file is
// read twice (once for its digest and payload length, once as it is sent) rather than held in
// memory. The catalog is shown as the current file while it goes, and its size is added to
// bytes_total once the record is acknowledged.
#pragma once

#include "engine/run.h"

namespace corvio {

// 0 when both are done; 1 on a local read failure (its reason is written to the run log) or
// cancellation.
[[nodiscard]] int catalog_upload(Run& run);

}  // namespace corvio
