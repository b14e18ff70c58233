// SPDX-License-Identifier: Apache-2.0
#include "engine/run_log.h"

#include <cinttypes>

namespace corvio {

std::string run_log_path(const Context& ctx, const std::string& tag, uint32_t catalog_id) {
  char name[16];
  std::snprintf(name, sizeof name, "%08x.log", catalog_id);
  return ctx.style.join(ctx.profile_dir(tag), name);
}

void write_log_header(std::FILE* log, const Profile& p, uint32_t catalog_id) {
  std::fprintf(log, "Meridane Network Backup Log\n");
  std::fprintf(log, "Backup Set:  %s\n", p.tag.c_str());
  std::fprintf(log, "Description: %s\n", p.description.c_str());
  std::fprintf(log, "\n");
  std::fprintf(log, "Server:      %s:%d\n", p.server.c_str(), p.port);
  std::fprintf(log, "Login:       %s\n", p.login.c_str());
  std::fprintf(log, "Catalog ID:  %08x\n", catalog_id);
  std::fprintf(log, "%s\n\n", std::string(70, '-').c_str());
  std::fprintf(log, "Commencing backup..\n\n");
}

void write_log_cancelled(std::FILE* log) { std::fputs("\n\nBackup cancelled!\n", log); }

void write_log_failed(std::FILE* log, const std::string& reason) {
  std::fprintf(log, "\n\nBackup failed: %s\n", reason.c_str());
}

void write_log_completed(std::FILE* log, const BackupStats& s, double minutes) {
  std::fputs("\nBackup completed!\n", log);
  std::fputs("\nBackup Stats:\n", log);
  std::fprintf(log, "%s\n", std::string(46, '-').c_str());
  std::fprintf(log, "Directories:    %u\n", s.directories.load());
  std::fprintf(log, "Special Files:  %u\n", s.special_files.load());
  std::fprintf(log, "Files:          %u\n", s.files.load());
  std::fprintf(log, "\n");
  std::fprintf(log, "Bytes:          %" PRIu64 "\n", s.bytes_total.load());
  std::fprintf(log, "Bytes Skipped:  %" PRIu64 "\n", s.bytes_skipped.load());
  std::fprintf(log, "Bytes Stored:   %" PRIu64 "\n", s.bytes_stored.load());
  std::fprintf(log, "Bytes Compr'd:  %" PRIu64 "\n", s.bytes_compressed.load());
  std::fprintf(log, "\n");
  std::fprintf(log, "Segs:           %u\n", s.segs_total.load());
  std::fprintf(log, "Segs Stored:    %u\n", s.segs_stored.load());
  std::fprintf(log, "Segs Duped:     %u\n", s.segs_duped.load());
  std::fprintf(log, "\n");
  std::fprintf(log, "Files Scanned:  %u\n", s.files_scanned.load());
  std::fprintf(log, "Files Skipped:  %u\n", s.files_skipped.load());
  std::fprintf(log, "Warnings:       %u\n", s.warnings.load());
  std::fprintf(log, "Errors:         %u\n", s.errors.load());
  std::fprintf(log, "\n");
  std::fprintf(log, "Backup completed in %0.1f minutes.\n", minutes);
  std::fprintf(log, "\n");
}

}  // namespace corvio
