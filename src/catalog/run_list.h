// SPDX-License-Identifier: Apache-2.0
// The runs of one profile as its folder tells them: every catalog number that has a catalog
// (<%08x>.cat) or a log (<%08x>.log) there, with what those two files say about the run.
// corvioctl lists them; the main window shows each profile's last one.
//
// Nothing here writes: catalogs are opened read-only, so listing the runs of a profile while a
// run is being built, or after one was cut short, changes no file. A file that cannot be read
// is reported on its run and the other runs are read all the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/context.h"

namespace corvio {

// How a run ended. The log's trailer says it; a run without a log is completed when its catalog
// was marked complete (corvio_info type 128) and incomplete otherwise. Failed: the run ended
// without a catalog the server holds (it gave up, or its catalog could not be written or
// uploaded), so it cannot be restored. Incomplete: no trailer, so the run was cut short
// (killed, a crash) or is still going.
enum class RunEnd { kCompleted, kCancelled, kFailed, kIncomplete };

// "completed", "cancelled", "failed" or "incomplete".
const char* run_end_text(RunEnd outcome);

struct RunSummary {
  uint32_t number = 0;
  bool has_catalog = false;
  bool has_log = false;
  // Each absent when no file says it. The counters are the log's statistics when its trailer
  // has them (they are written last and count a failed catalog upload as an error), else the
  // catalog's.
  std::optional<uint32_t> start_time, end_time;  // seconds since 1970, from the catalog
  std::optional<uint64_t> files, bytes, bytes_stored, errors;
  RunEnd outcome = RunEnd::kIncomplete;
  std::string catalog_error;  // why the catalog could not be read; empty when it could
  std::string log_error;      // why the log could not be read; empty when it could
};

// The runs of the profile tag by increasing catalog number, which is the order the server
// handed the numbers out in: oldest first. The tag must have passed profile_tag_check.
std::vector<RunSummary> list_runs(const Context& ctx, const std::string& tag);

// The profile's newest run (the highest catalog number), reading only its own files; none when
// the profile never ran on this machine.
std::optional<RunSummary> last_run(const Context& ctx, const std::string& tag);

// The main window's "Last Run" text: the newest run's local start time and outcome
// ("Tue Dec  9 03:04:05 2026, completed"), the outcome alone when no catalog gives the start;
// empty when the profile never ran.
std::string last_run_text(const Context& ctx, const std::string& tag);

// The run a file belongs to: "0000001a.cat" and "0000001a.log" (suffix ".cat" or ".log") are
// run 0x1a. Exactly eight lower-case hexadecimal digits, as the client names them.
std::optional<uint32_t> run_number_of(const std::string& file_name, const std::string& suffix);

}  // namespace corvio
