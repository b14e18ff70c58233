#include "catalog/catalog.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "base/version.h"
#include "catalog/catalog_schema.h"
#include "base/backup_session.h"
#include "db/path_collation.h"

namespace corvio {

std::string Catalog::path_for(const Context& ctx, const std::string& tag, uint32_t catalog_id) {
  char name[16];
  std::snprintf(name, sizeof name, "%08x.cat", catalog_id);
  return ctx.style.join(ctx.profile_dir(tag), name);
}

void Catalog::sql_error(std::string_view operation, std::string_view text) {
  ctx_.messages.message_box(text, "SQL Error in " + std::string(operation));
}

int Catalog::create(BackupSession& session) {
  close();
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
  db_.busy_timeout(120000);
  if (db_.exec("PRAGMA cache_size=65536", &error) != SQLITE_OK) {
    ctx_.messages.message_box(error, "SQL Error setting cache size!");
  }

  if (create_schema() != 0 || init_config(session) != 0) {
    db_.close();
    return 1;
  }

  db_.exec("begin transaction");
  db_.exec("insert into catinfo (type,misc) values (1,1)");
  db_.exec("insert into catinfo (type,misc) values (2,1)");
  db_.exec("insert into catinfo (type,misc) values (3,1)");
  char sql[96];
  std::snprintf(sql, sizeof sql, "insert into catinfo (type,misc) values (21,%u)",
                session.catalog_id);
  db_.exec(sql);
  db_.exec("commit");

  // From here on a transaction is always open; count_insert() commits it in batches.
  db_.exec("begin transaction");
  return 0;
}

int Catalog::create_schema() {
  db_.exec("begin transaction");
  for (const CatalogSchemaStep& step : kCatalogSchema) {
    if (db_.exec(with_path_collation(step.sql, ctx_.style)) != SQLITE_OK) {
      ctx_.messages.message_box(step.failure, "SQL Error");
      return 1;
    }
  }
  char sql[96];
  std::snprintf(sql, sizeof sql, "insert into corvio_info values ( null, 129, 1, %d, %d, %d )",
                kVersionMajor, kVersionMinor, kVersionBuild);
  if (db_.exec(sql) != SQLITE_OK) {
    ctx_.messages.message_box("Error seeding initial catalog / corvio_info records", "SQL Error");
    return 1;
  }
  db_.exec("commit");
  return 0;
}

int Catalog::init_config(const BackupSession& session) {
  static constexpr std::string_view kOperation = "catalog_init_config";
  const std::string& tag = session.profile->tag;
  const std::string cfg_path = ctx_.style.join(ctx_.profile_dir(tag), tag + ".cfg");

  // Opening creates a missing file; a profile database that is not there is not made empty.
  db::Database cfg;
  if (!ctx_.fs.exists(cfg_path) || cfg.open(cfg_path) != SQLITE_OK) {
    ctx_.messages.message_box("Can't open profile's database!", "Blah!");
    return 1;
  }
  cfg.busy_timeout(20);

  db::Statement query = cfg.prepare("select id,type,parm,parm2 from config");
  if (!query) {
    sql_error(kOperation, "Couldn't prepare SQL statement");
    return 1;
  }

  db_.exec("begin transaction");
  while (query.step() == SQLITE_ROW) {
    const int64_t type = query.column_int64(1);
    if (type == 4) continue;  // the password never leaves the profile database
    db::Statement insert = db_.prepare("insert into config( type, parm, parm2 ) values (?,?,?)");
    if (!insert) {
      sql_error(kOperation, "Couldn't prepare SQL statement");
      return 1;
    }
    insert.bind_int64(1, type);
    insert.bind_text(2, query.column_text(2));
    insert.bind_text(3, query.column_text(3));
    if (insert.step() != SQLITE_DONE) {
      sql_error(kOperation, "Error copying config to catalog!");
      return 1;
    }
  }
  db_.exec("commit");
  return 0;
}

int Catalog::write_stats(const BackupSession& session) {
  if (!is_open()) return 1;
  const BackupStats& s = session.stats;
  db_.exec("commit");
  db_.exec("begin transaction");

  struct Row {
    int type;
    uint64_t value;
  };
  // Times are recorded as unsigned 32-bit seconds; every counter is written whole.
  const Row rows[] = {
      {22, static_cast<uint32_t>(session.start_time.load())},
      {23, static_cast<uint32_t>(ctx_.clock.now())},
      {32, s.files},
      {33, s.directories},
      {34, s.special_files},
      {35, s.bytes_total},
      {36, s.bytes_stored},
      {37, s.bytes_compressed},
      {38, s.bytes_skipped},
      {39, s.bytes_duped},
      {40, s.files_skipped},
      {41, s.files_scanned},
      {48, s.segs_total},
      {49, s.segs_stored},
      {50, s.segs_duped},
      {64, s.warnings},
      {65, s.errors},
  };
  for (const Row& row : rows) {
    char sql[96];
    std::snprintf(sql, sizeof sql, "insert into catinfo (type,misc) values (%d,%" PRIu64 ")",
                  row.type, row.value);
    db_.exec(sql);
  }

  db_.exec("update corvio_info set type=128");
  db_.exec("commit");
  return 0;
}

int Catalog::close() {
  if (!is_open()) return 0;
  db_.exec("commit");
  db_.close();
  return 0;
}

}  // namespace corvio
