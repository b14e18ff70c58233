// SPDX-License-Identifier: Apache-2.0
// End-of-run pruning of rows for files that are gone or were not read for a long time.
#include <cstdio>
#include <optional>

#include "base/backup_session.h"
#include "db/steps.h"
#include "md5cache/md5cache.h"

namespace corvio {
namespace {

constexpr uint32_t kCandidateAhead = 86400;  // one day in the future
constexpr uint32_t kCandidateAge = 7776000;  // 90 days
constexpr int64_t kRemoveAge = 15552000;     // 180 days
constexpr uint32_t kRemovalsPerCommit = 64;
// Failed steps of the candidate query (a busy or damaged database) before giving up. A failed
// step restarts the query, so the limit counts every failure of the pass, not only a run of them.
constexpr int kStepAttempts = 3;

}  // namespace

uint32_t Md5Cache::cleanup(const BackupSession* session) {
  static constexpr std::string_view kOperation = "md5cache_cleanup";
  if (!is_open()) return 0;
  flush();
  const uint32_t now = static_cast<uint32_t>(ctx_.clock.now());

  db::Statement st = db_.prepare(
      "select id,filespec,t_lastcheck from filespec where t_lastcheck>? or t_lastcheck<? limit "
      "10000");
  // Both bounds wrap in 32 bits, as the stored times do.
  if (!db::Steps(st, report(kOperation))
           .bind_int64(1, static_cast<uint32_t>(now + kCandidateAhead),
                       "Couldn't bind first t_lastcheck")
           .bind_int64(2, static_cast<uint32_t>(now - kCandidateAge),
                       "Couldn't bind second t_lastcheck"))
    return 1;

  uint32_t removed = 0;
  uint32_t in_batch = 0;
  std::optional<db::Transaction> batch;
  // Commits the open batch of removals; a failed commit loses them (the rows are kept and the
  // files are candidates again next time), is shown and counted.
  auto commit = [&] {
    std::string error;
    const int rc = batch->commit(&error);
    batch.reset();
    in_batch = 0;
    if (rc == SQLITE_OK) return true;
    ++failed_batches_;
    sql_error(kOperation, "Couldn't commit the removals: " + error);
    return false;
  };
  bool stop = false;
  int failed_steps = 0;
  while (!stop) {
    int rc = st.step();
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      if (++failed_steps >= kStepAttempts) break;
      continue;
    }
    // The row in hand is still handled after a cancel request.
    if (session && session->cancelled()) stop = true;

    const uint32_t id = static_cast<uint32_t>(st.column_int64(0));
    const std::string path = st.column_text(1);
    // Signed, so that a row dated in the future is young rather than ancient.
    const int64_t age = int64_t{now} - static_cast<uint32_t>(st.column_int64(2));
    if (age <= kRemoveAge && ctx_.fs.exists(path)) continue;

    ++removed;
    if (!batch) {
      batch.emplace(db_);
      if (batch->begin_result() != SQLITE_OK) {
        sql_error(kOperation, "Couldn't begin a transaction: " + db_.error_message());
        return 1;
      }
    }
    char segs_sql[64], file_sql[64];
    std::snprintf(segs_sql, sizeof segs_sql, "delete from segs where file_id=%u", id);
    std::snprintf(file_sql, sizeof file_sql, "delete from filespec where id=%u", id);
    std::string error;
    if (db_.exec(segs_sql, &error) != SQLITE_OK || db_.exec(file_sql, &error) != SQLITE_OK) {
      sql_error(kOperation, error);
      st.finalize();
      // Rolled back, so that no file row is left without its blocks: the block loop would take
      // such a row for a file of no blocks and skip reading it.
      batch.reset();
      return 1;
    }
    if (++in_batch == kRemovalsPerCommit && !commit()) return 1;
  }
  if (batch && !commit()) return 1;
  return removed;
}

}  // namespace corvio
