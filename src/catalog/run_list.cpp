// SPDX-License-Identifier: Apache-2.0
#include "catalog/run_list.h"

#include <charconv>
#include <map>
#include <string_view>

#include "catalog/catalog_schema.h"
#include "db/database.h"
#include "platform/clock.h"

namespace corvio {
namespace {

// A running backup commits its catalog every 128 inserts; a reader waits that long at most.
constexpr int kBusyMs = 5000;

// The trailers of engine/run_log.cpp as they reach the file, with CR LF line ends. Both are
// under a kilobyte, so the end of the log is all that needs reading.
constexpr std::string_view kCancelledTrailer = "\r\nBackup cancelled!\r\n";
constexpr std::string_view kFailedTrailer = "\r\n\r\nBackup failed: ";
constexpr std::string_view kCompletedTrailer = "\r\nBackup completed!\r\n\r\nBackup Stats:\r\n";
constexpr std::string_view kCompletedEnd = " minutes.\r\n\r\n";
constexpr size_t kTailBytes = 4096;

// The lines of the statistics block that the listing shows.
struct StatLine {
  std::string_view label;
  std::optional<uint64_t> RunSummary::*field;
};
constexpr StatLine kStatLines[] = {{"Files", &RunSummary::files},
                                   {"Bytes", &RunSummary::bytes},
                                   {"Bytes Stored", &RunSummary::bytes_stored},
                                   {"Errors", &RunSummary::errors}};

std::optional<uint64_t> parse_decimal_u64(std::string_view text) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || at != end) return std::nullopt;
  return value;
}

std::optional<uint32_t> as_u32(std::optional<uint64_t> value) {
  if (!value || *value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

// Fills the run's times and counters from its catalog. Empty when it was read; otherwise why
// not, and the run is left as it was.
std::string read_catalog(const std::string& path, RunSummary& run, bool& complete) {
  db::Database db;
  if (int rc = db.open_read_only(path); rc != SQLITE_OK) return sqlite3_errstr(rc);
  db.busy_timeout(kBusyMs);
  auto failure = [&db]() -> std::string {
    // A writer that stopped mid-transaction leaves a journal that only a read-write open would
    // play back; this reader leaves it for the client.
    if (sqlite3_extended_errcode(db.get()) == SQLITE_READONLY_ROLLBACK)
      return "left mid-write, its journal not yet played back";
    return db.error_message();
  };

  db::Statement version = db.prepare("select type from corvio_info order by id limit 1");
  if (!version) return failure();
  int rc = version.step();
  if (rc == SQLITE_DONE) return "no version row";
  if (rc != SQLITE_ROW) return failure();
  const int64_t type = version.column_int64(0);
  if (type != kCatalogComplete && type != kCatalogBuilding)
    return "not a catalog (version type " + std::to_string(type) + ")";

  db::Statement facts = db.prepare("select type, misc from catinfo");
  if (!facts) return failure();
  std::map<int64_t, uint64_t> info;
  while ((rc = facts.step()) == SQLITE_ROW) {
    // A value that is not a number says nothing; the column shows as unknown.
    if (auto value = parse_decimal_u64(facts.column_text(1))) info[facts.column_int64(0)] = *value;
  }
  if (rc != SQLITE_DONE) return failure();

  auto fact = [&info](int64_t t) -> std::optional<uint64_t> {
    auto it = info.find(t);
    if (it == info.end()) return std::nullopt;
    return it->second;
  };
  complete = type == kCatalogComplete;
  run.start_time = as_u32(fact(catinfo::kStartTime));
  run.end_time = as_u32(fact(catinfo::kEndTime));
  run.files = fact(catinfo::kFiles);
  run.bytes = fact(catinfo::kBytesTotal);
  run.bytes_stored = fact(catinfo::kBytesStored);
  run.errors = fact(catinfo::kErrors);
  return "";
}

// The last kTailBytes of the file, read front to back through the platform's file system.
bool read_tail(FileSystem& fs, const std::string& path, std::string& tail) {
  std::unique_ptr<ReadableFile> file = fs.open_read(path);
  if (!file) return false;
  char chunk[65536];
  for (;;) {
    int64_t n = file->read(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) break;
    tail.append(chunk, static_cast<size_t>(n));
    if (tail.size() > 2 * kTailBytes) tail.erase(0, tail.size() - kTailBytes);
  }
  if (tail.size() > kTailBytes) tail.erase(0, tail.size() - kTailBytes);
  return true;
}

// The outcome the log's trailer states and, for a completed run, its statistics block.
RunEnd read_trailer(std::string_view tail, RunSummary& run) {
  if (tail.ends_with(kCancelledTrailer)) return RunEnd::kCancelled;
  // The failed trailer is one line at the very end; a name in the log cannot begin a line.
  if (size_t at = tail.rfind(kFailedTrailer);
      at != std::string_view::npos && tail.ends_with("\r\n") &&
      tail.find("\r\n", at + kFailedTrailer.size()) == tail.size() - 2)
    return RunEnd::kFailed;
  size_t at = tail.rfind(kCompletedTrailer);
  if (at == std::string_view::npos || !tail.ends_with(kCompletedEnd)) return RunEnd::kIncomplete;
  std::string_view stats = tail.substr(at + kCompletedTrailer.size());
  while (!stats.empty()) {
    size_t eol = stats.find("\r\n");
    std::string_view line = stats.substr(0, eol);
    stats.remove_prefix(eol == std::string_view::npos ? stats.size() : eol + 2);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view label = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
    for (const StatLine& stat : kStatLines) {
      if (label != stat.label) continue;
      if (auto number = parse_decimal_u64(value)) run.*stat.field = number;
    }
  }
  return RunEnd::kCompleted;
}

}  // namespace

std::optional<uint32_t> run_number_of(const std::string& file_name, const std::string& suffix) {
  constexpr size_t kDigits = 8;
  if (file_name.size() != kDigits + suffix.size() || !file_name.ends_with(suffix)) return {};
  uint32_t number = 0;
  for (char c : std::string_view(file_name).substr(0, kDigits)) {
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return {};
    number = number * 16 + static_cast<uint32_t>(digit);
  }
  return number;
}

namespace {

// The runs whose catalog or log is in dir, by number; nothing read yet.
std::map<uint32_t, RunSummary> run_files(const Context& ctx, const std::string& dir) {
  std::vector<FileInfo> entries;
  std::map<uint32_t, RunSummary> runs;
  if (!ctx.fs.list(dir, &entries)) return runs;
  for (const FileInfo& entry : entries) {
    if (entry.is_directory()) continue;
    if (auto n = run_number_of(entry.name, ".cat")) runs[*n].has_catalog = true;
    if (auto n = run_number_of(entry.name, ".log")) runs[*n].has_log = true;
  }
  for (auto& [number, run] : runs) run.number = number;
  return runs;
}

// Fills run from its files in dir.
void read_run(const Context& ctx, const std::string& dir, RunSummary& run) {
  char name[16];
  std::snprintf(name, sizeof name, "%08x", run.number);
  const std::string base = ctx.style.join(dir, name);
  bool complete = false;
  if (run.has_catalog) run.catalog_error = read_catalog(base + ".cat", run, complete);
  run.outcome = complete ? RunEnd::kCompleted : RunEnd::kIncomplete;
  // The log is written last, so when it is there its trailer has the last word on the
  // outcome, and its statistics count what happened after the catalog was closed (a failed
  // upload is one more error).
  std::string tail;
  if (run.has_log && !read_tail(ctx.fs, base + ".log", tail)) run.log_error = "cannot be read";
  if (run.has_log && run.log_error.empty()) run.outcome = read_trailer(tail, run);
}

}  // namespace

const char* run_end_text(RunEnd outcome) {
  switch (outcome) {
    case RunEnd::kCompleted:
      return "completed";
    case RunEnd::kCancelled:
      return "cancelled";
    case RunEnd::kFailed:
      return "failed";
    case RunEnd::kIncomplete:
      break;
  }
  return "incomplete";
}

std::vector<RunSummary> list_runs(const Context& ctx, const std::string& tag) {
  const std::string dir = ctx.profile_dir(tag);
  std::vector<RunSummary> out;
  for (auto& [number, run] : run_files(ctx, dir)) {
    read_run(ctx, dir, run);
    out.push_back(run);
  }
  return out;
}

std::optional<RunSummary> last_run(const Context& ctx, const std::string& tag) {
  const std::string dir = ctx.profile_dir(tag);
  std::map<uint32_t, RunSummary> runs = run_files(ctx, dir);
  if (runs.empty()) return std::nullopt;
  RunSummary& run = runs.rbegin()->second;
  read_run(ctx, dir, run);
  return run;
}

std::string last_run_text(const Context& ctx, const std::string& tag) {
  std::optional<RunSummary> run = last_run(ctx, tag);
  if (!run) return "";
  const std::string start = run->start_time ? local_time_text(*run->start_time) : "";
  return start.empty() ? run_end_text(run->outcome) : start + ", " + run_end_text(run->outcome);
}

}  // namespace corvio
