// SPDX-License-Identifier: Apache-2.0
// The run's log file: Profiles/<tag>/<catalog number as %08x>.log beside the run's catalog.
// A header names the profile, the server and the catalog; the walk and the block loop write
// one record per entry; a trailer says how the run ended and, for a completed run, gives its
// statistics. Line ends are CR LF on every system. Labels are padded to fixed widths so that
// the values line up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/backup_session.h"
#include "base/context.h"

namespace corvio {

std::string run_log_path(const Context& ctx, const std::string& tag, uint32_t catalog_id);

void write_log_header(std::FILE* log, const Profile& profile, uint32_t catalog_id);
void write_log_cancelled(std::FILE* log);
// The trailer of a run that ended as failed; reason says why, on one line.
void write_log_failed(std::FILE* log, const std::string& reason);
// minutes: the run's length in minutes, logged with one decimal place.
void write_log_completed(std::FILE* log, const BackupStats& stats, double minutes);

}  // namespace corvio
