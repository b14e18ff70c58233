// SPDX-License-Identifier: Apache-2.0
#include "catalog/catalog.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "base/backup_session.h"
#include "base/version.h"
#include "catalog/catalog_schema.h"
#include "db/path_collation.h"

namespace corvio {
namespace {

struct CatinfoRow {
  int type;
  uint64_t value;
};

std::string catinfo_insert(const CatinfoRow& row) {
  char sql[96];
  std::snprintf(sql, sizeof sql, "insert into catinfo (type,misc) values (%d,%" PRIu64 ")",
                row.type, row.value);
  return sql;
}

}  // namespace

std::string Catalog::path_for(const Context& ctx, const std::string& tag, uint32_t catalog_id) {
  char name[16];
  std::snprintf(name, sizeof name, "%08x.cat", catalog_id);
  return ctx.style.join(ctx.profile_dir(tag), name);
}

void Catalog::sql_error(std::string_view operation, std::string_view text) {
  if (failed_) return;  // reported already; once is enough
  failed_ = true;
  ctx_.messages.message_box(text, "SQL Error in " + std::string(operation));
  if (session_ && session_->stop_reason.empty()) session_->stop_reason = kCatalogUnwritten;
}

void Catalog::begin_batch() {
  batch_.emplace(db_);
  if (batch_->begin_result() == SQLITE_OK) return;
  // Rows would still be written, one by one; the catalog can no longer vouch for them.
  batch_.reset();
  sql_error("catalog_commit", "Couldn't begin a transaction: " + db_.error_message());
}

bool Catalog::commit_batch() {
  if (!batch_) return true;
  std::string error;
  const int rc = batch_->commit(&error);
  batch_.reset();  // rolls a failed commit back, so its rows are lost for certain
  if (rc == SQLITE_OK) return true;
  ++failed_batches_;
  sql_error("catalog_commit", "Couldn't commit the catalog's rows: " + error);
  return false;
}

void Catalog::close_handle() {
  batch_.reset();
  db_.close();
}

int Catalog::create(BackupSession& session) {
  close();
  created_ = false;
  failed_ = false;
  failed_batches_ = 0;
  session_ = &session;
  if (!session.profile) {
    ctx_.messages.message_box("Can't open backup catalog database!", "Blah!");
    return 1;
  }
  session.catalog_path = path_for(ctx_, session.profile->tag, session.catalog_id);
  const std::string& path = session.catalog_path;

  // A journal left beside an old catalog of this number would be played back into the new
  // file when it is opened, so it goes with the old file.
  ctx_.fs.remove(path);
  ctx_.fs.remove(path + "-journal");
  if (db_.open(path) != SQLITE_OK) {
    ctx_.messages.message_box("Can't open backup catalog database!", "Blah!");
    return 1;
  }

  std::string error;
  if (db_.exec("PRAGMA synchronous=OFF", &error) != SQLITE_OK) {
    ctx_.messages.message_box(error, "SQL Error setting asynchronous mode!");
  }
  db_.busy_timeout(busy_timeout_ms_);
  if (db_.exec(db::kPageCachePragma, &error) != SQLITE_OK) {
    ctx_.messages.message_box(error, "SQL Error setting cache size!");
  }

  if (create_schema() != 0 || init_config(session) != 0) {
    close_handle();
    return 1;
  }

  db::Transaction first_rows(db_);
  int rc = SQLITE_OK;
  for (int type : catinfo::kConstantTypes) {
    if ((rc = db_.exec(catinfo_insert({type, 1}), &error)) != SQLITE_OK) break;
  }
  if (rc == SQLITE_OK)
    rc = db_.exec(catinfo_insert({catinfo::kCatalogId, session.catalog_id}), &error);
  if (rc == SQLITE_OK) rc = first_rows.commit(&error);
  if (rc != SQLITE_OK) {
    sql_error("catalog_create", error);
    close_handle();
    return 1;
  }

  // From here on a transaction is always open; count_insert() commits it in batches.
  created_ = true;
  begin_batch();
  return 0;
}

int Catalog::create_schema() {
  db::Transaction schema(db_);
  for (const CatalogSchemaStep& step : kCatalogSchema) {
    if (db_.exec(with_path_collation(step.sql, ctx_.style)) != SQLITE_OK) {
      ctx_.messages.message_box(step.failure, "SQL Error");
      return 1;
    }
  }
  char sql[96];
  std::snprintf(sql, sizeof sql, "insert into corvio_info values ( null, %d, 1, %d, %d, %d )",
                kCatalogBuilding, kVersionMajor, kVersionMinor, kVersionBuild);
  if (db_.exec(sql) != SQLITE_OK || schema.commit() != SQLITE_OK) {
    ctx_.messages.message_box("Error seeding initial catalog / corvio_info records", "SQL Error");
    return 1;
  }
  return 0;
}

int Catalog::init_config(const BackupSession& session) {
  static constexpr std::string_view kOperation = "catalog_init_config";
  const std::string& tag = session.profile->tag;
  const std::string cfg_path = ctx_.style.join(ctx_.profile_dir(tag), tag + ".cfg");

  // Opening creates a missing file; a profile database that is not there is not made empty.
  db::Database cfg;
  if (cfg.open_existing(cfg_path) != SQLITE_OK) {
    ctx_.messages.message_box("Can't open profile's database!", "Blah!");
    return 1;
  }
  cfg.busy_timeout(20);

  db::Statement query = cfg.prepare("select id,type,parm,parm2 from config");
  if (!db::Steps(query, report(kOperation))) return 1;

  db::Transaction copy(db_);
  int rc = query.step();
  for (; rc == SQLITE_ROW; rc = query.step()) {
    const int64_t type = query.column_int64(1);
    if (type == 4) continue;  // the password never leaves the profile database
    db::Statement insert = db_.prepare("insert into config( type, parm, parm2 ) values (?,?,?)");
    if (!db::Steps(insert, report(kOperation))
             .bind_int64(1, type)
             .bind_text(2, query.column_text(2))
             .bind_text(3, query.column_text(3))
             .done("Error copying config to catalog!"))
      return 1;
  }
  // A copy cut short by a read error, or not committed, is no copy of the profile.
  std::string error;
  if (rc != SQLITE_DONE || copy.commit(&error) != SQLITE_OK) {
    sql_error(kOperation, "Error copying config to catalog!");
    return 1;
  }
  return 0;
}

int Catalog::write_stats(const BackupSession& session) {
  static constexpr std::string_view kOperation = "catalog_write_stats";
  if (!is_open()) return 1;
  const BackupStats& s = session.stats;
  commit_batch();
  db::Transaction stats(db_);

  // Times are recorded as unsigned 32-bit seconds; every counter is written whole.
  const CatinfoRow rows[] = {
      {catinfo::kStartTime, static_cast<uint32_t>(session.start_time.load())},
      {catinfo::kEndTime, static_cast<uint32_t>(ctx_.clock.now())},
      {catinfo::kFiles, s.files},
      {catinfo::kDirectories, s.directories},
      {catinfo::kSpecialFiles, s.special_files},
      {catinfo::kBytesTotal, s.bytes_total},
      {catinfo::kBytesStored, s.bytes_stored},
      {catinfo::kBytesCompressed, s.bytes_compressed},
      {catinfo::kBytesSkipped, s.bytes_skipped},
      {catinfo::kBytesDuped, s.bytes_duped},
      {catinfo::kFilesSkipped, s.files_skipped},
      {catinfo::kFilesScanned, s.files_scanned},
      {catinfo::kSegsTotal, s.segs_total},
      {catinfo::kSegsStored, s.segs_stored},
      {catinfo::kSegsDuped, s.segs_duped},
      {catinfo::kWarnings, s.warnings},
      {catinfo::kErrors, s.errors},
  };
  for (const CatinfoRow& row : rows) {
    std::string error;
    if (db_.exec(catinfo_insert(row), &error) != SQLITE_OK) sql_error(kOperation, error);
  }

  // Only a catalog that holds every row may say it is the complete record of the run; the
  // mark is committed together with the facts or not at all.
  std::string error;
  if (complete() && db_.exec("update corvio_info set type=" + std::to_string(kCatalogComplete),
                             &error) != SQLITE_OK)
    sql_error(kOperation, error);
  if (stats.commit(&error) != SQLITE_OK) {
    ++failed_batches_;
    sql_error("catalog_commit", "Couldn't commit the catalog's rows: " + error);
  }
  return complete() ? 0 : 1;
}

int Catalog::close() {
  if (!is_open()) return 0;
  commit_batch();
  close_handle();
  return 0;
}

int Catalog::mark_unfinished(const BackupSession& session) {
  db::Database db;
  std::string error;
  int rc = db.open_existing(session.catalog_path, &error);
  if (rc == SQLITE_OK) {
    db.busy_timeout(busy_timeout_ms_);
    rc = db.exec("update corvio_info set type=" + std::to_string(kCatalogBuilding), &error);
  }
  if (rc == SQLITE_OK) return 0;
  ctx_.messages.message_box(error, "SQL Error in catalog_mark_unfinished");
  return 1;
}

}  // namespace corvio
