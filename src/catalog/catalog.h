// SPDX-License-Identifier: Apache-2.0
// Catalog: the SQLite database that describes one backup run. It holds every directory and
// file the run recorded (filespec), every block of each file with its MD5 digest (segs), a copy
// of the profile's settings without the password (config), numbered facts about the run
// (catinfo) and the version row (corvio_info: 129 while being built, 128 once complete).
//
// The file is Profiles/<tag>/<catalog number as %08x>.cat under the data directory. It is built
// for insert speed: synchronous writes off, a large page cache, and one long transaction that
// is committed and reopened every 128 counted insert calls, so at most 127 stay uncommitted.
//
// Every batch's commit is checked. A batch whose commit fails (a busy database, a full disk) is
// rolled back and counted: its rows are lost, so the catalog is incomplete. An incomplete
// catalog is never marked 128: write_stats() still writes the run's facts but returns 1, and
// complete() says false, so that the run does not pass it off as the record of every file.
//
// One catalog is open at a time, used by the backup worker only. The first failure after
// create() is shown through ctx.messages with its own text and title, and ends the run: it sets
// the session's stop_reason (kCatalogUnwritten), so the walk stops at its next step and the run
// ends as failed, since it can no longer be restored. Later failures (a full disk fails every
// statement) are counted but not shown again; the caller goes on. While no catalog is open (none
// created yet, or its creation failed) the operations touch nothing and show nothing: the
// failure to create it has already been reported once, and the run continues without a
// catalog.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/context.h"
#include "catalog/file_stat.h"
#include "db/database.h"
#include "db/steps.h"

namespace corvio {

struct BackupSession;

// Why a run stops when its catalog cannot be written.
inline constexpr char kCatalogUnwritten[] =
    "The backup catalog could not be written, so this run cannot be restored.";

class Catalog {
 public:
  // busy_timeout_ms: how long a statement waits for another connection's lock (tests shorten it).
  explicit Catalog(Context& ctx, int busy_timeout_ms = 120000)
      : ctx_(ctx), busy_timeout_ms_(busy_timeout_ms) {}
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;

  // Where the catalog numbered catalog_id of the profile tag lives.
  static std::string path_for(const Context& ctx, const std::string& tag, uint32_t catalog_id);

  // Replaces any catalog of the session's number, creates the schema, copies the profile's
  // settings, writes the catinfo rows 1, 2, 3 and 21 and leaves a transaction open. Stores the
  // path in session.catalog_path. 0 on success; 1 with nothing open after a failure.
  int create(BackupSession& session);
  // Copies the config rows of the profile database <tag>.cfg, all but the password (type 4).
  // Part of create(). 0 on success, 1 after its message.
  int init_config(const BackupSession& session);

  // The id of the filespec row recorded for path (letter case folded under the Windows style),
  // or 0 when there is none or the lookup failed.
  uint32_t filespec_find(std::string_view path);
  // Records one directory or file below its parent's row. The new row's id, or 0 when nothing
  // was recorded (the path is known already, or a statement failed).
  uint32_t filespec_insert(std::string_view path, const FileStat& stat);
  // Records one block of the file filespec_id; an id of 0 records nothing. Always 0.
  int seg_insert(uint32_t filespec_id, const uint8_t* md5, uint64_t offset, uint32_t size);

  // Corrections the block loop makes once a file's read is over: the size actually read when
  // the file changed meanwhile, or the removal of the row and its block rows when the file
  // could not be read to its end, so the catalog never lists content it does not have. An id
  // of 0 changes nothing.
  void filespec_set_size(uint32_t filespec_id, uint64_t size);
  void filespec_drop(uint32_t filespec_id);

  // Writes the end-of-run catinfo rows from the session and, when every row so far was
  // committed, marks the catalog complete (128). 0; 1 when no catalog is open or it is not
  // complete() (it keeps the type 129 of an unfinished catalog).
  int write_stats(const BackupSession& session);
  // Commits and closes the open catalog; nothing when none is open. Always 0: whether the last
  // batch made it is what complete() says afterwards.
  int close();
  // Takes the complete mark (128) back from the closed catalog at session.catalog_path, for a
  // run whose catalog never reached the server. 0; 1 after its message when it could not.
  int mark_unfinished(const BackupSession& session);

  bool is_open() const { return db_.is_open(); }
  // True when the last create() succeeded and, since then, no statement of the catalog failed
  // and every batch was committed: the file holds every row handed to it. Stays readable after
  // close(), until the next create(). Conservative: a failed lookup counts as well.
  bool complete() const { return created_ && !failed_; }
  // Batches lost to a failed commit since the last create().
  uint32_t failed_batches() const { return failed_batches_; }
  // Counted insert calls since the last intermediate commit.
  uint32_t insert_count() const { return insert_count_; }

 private:
  int create_schema();
  void count_insert();
  // The long-lived batch: opened after create() and after every intermediate commit.
  void begin_batch();
  // Commits the open batch, if any. A failed commit is rolled back, shown and counted; false.
  bool commit_batch();
  // Shows a failed statement's message with the title "SQL Error in <operation>"; the catalog
  // is no longer complete.
  void sql_error(std::string_view operation, std::string_view text);
  // sql_error() for one operation, as the report of a db::Steps.
  auto report(std::string_view operation) {
    return [this, operation](std::string_view text) { sql_error(operation, text); };
  }
  void close_handle();

  Context& ctx_;
  int busy_timeout_ms_;
  db::Database db_;
  std::optional<db::Transaction> batch_;  // destroyed before db_
  BackupSession* session_ = nullptr;      // of the last create(), told when the catalog fails
  bool created_ = false;
  bool failed_ = false;
  uint32_t failed_batches_ = 0;
  // Shared by filespec_insert and seg_insert; reset only by the intermediate commit.
  uint32_t insert_count_ = 0;
};

}  // namespace corvio
