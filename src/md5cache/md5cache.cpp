// SPDX-License-Identifier: Apache-2.0
// Opening the cache, and its row-level lookups and writes.
#include "md5cache/md5cache.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/version.h"
#include "db/path_collation.h"
#include "db/steps.h"
#include "db/version_table.h"

namespace corvio {

Md5Cache::Md5Cache(Context& ctx, int busy_timeout_ms)
    : ctx_(ctx),
      busy_timeout_ms_(busy_timeout_ms),
      rng_(static_cast<std::minstd_rand::result_type>(ctx.clock.now())),
      random_([this] { return static_cast<uint32_t>(rng_() % 32768); }) {}

void Md5Cache::sql_error(std::string_view operation, std::string_view text) {
  ++sql_errors_;
  ctx_.messages.message_box(text, "SQL Error in " + std::string(operation));
}

std::string Md5Cache::stored_path(std::string_view path) const {
  // A cut path could name another file and hand it this file's digests; such paths are simply
  // not cached.
  if (path.size() > kMd5CachePathChars) return std::string();
  return ctx_.style.fold(path);
}

uint32_t Md5Cache::recheck_limit() { return 7776000 - random_() % 864000; }

int Md5Cache::open_file(const std::string& path) {
  std::string error;
  if (db_.open(path, &error) != SQLITE_OK) {
    ctx_.messages.message_box("Can't open MD5 database!\n" + path + "\n" + error,
                              "Meridane Online Backup");
    return 1;
  }
  db_.busy_timeout(busy_timeout_ms_);
  return 0;
}

int Md5Cache::open() {
  const std::string path = ctx_.style.join(ctx_.data_dir, "md5cache.dat");
  failed_batches_ = 0;
  if (open_file(path) != 0) return 1;
  std::string error;

  // A readable version table is enough: its values are never compared.
  int rc = SQLITE_OK;
  switch (db::check_version_table(db_, &error, &rc)) {
    case db::VersionCheck::kReadable:
      break;
    case db::VersionCheck::kNew:
      if (create_tables() != 0) {
        db_.close();
        return 1;
      }
      break;
    case db::VersionCheck::kUnreadable:
      // Only a file that is damaged is replaced; one that is busy or cannot be read for
      // another reason may be fine, and stays as it is.
      if (rc == SQLITE_ERROR || rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) {
        if (replace_damaged(path, error) != 0) return 1;
        break;
      }
      db_.close();
      ctx_.messages.message_box("Can't read MD5 database!\n" + path + "\n" + error, "SQL Error");
      return 1;
  }
  if (db_.exec(db::kPageCachePragma, &error) != SQLITE_OK) {
    ctx_.messages.message_box(error, "SQL Error setting cache size!");
  }
  return 0;
}

int Md5Cache::replace_damaged(const std::string& path, const std::string& reason) {
  db_.close();
  char stamp[32];
  const std::time_t now = static_cast<std::time_t>(ctx_.clock.now());
  const std::tm* utc = std::gmtime(&now);  // start-up, one thread: the shared result is fine
  if (!utc || std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", utc) == 0)
    std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(now));
  const std::string aside = path + ".damaged-" + stamp;
  // The journal goes with its database: left behind, it would be played into the new file.
  const std::string journal = path + "-journal";
  if (!ctx_.fs.rename(path, aside) ||
      (ctx_.fs.exists(journal) && !ctx_.fs.rename(journal, aside + "-journal"))) {
    ctx_.messages.message_box("Can't read MD5 database!\n" + path + "\n" + reason +
                                  "\nIt could not be moved aside to " + aside,
                              "SQL Error");
    return 1;
  }
  ctx_.messages.message_box("The MD5 cache " + path + " could not be read (" + reason +
                                "). It was moved to " + aside +
                                " and a new, empty cache is used: files are read again.",
                            "Meridane Online Backup");
  if (open_file(path) != 0) return 1;
  if (create_tables() != 0) {
    db_.close();
    return 1;
  }
  return 0;
}

int Md5Cache::create_tables() {
  // All or nothing: a half-made schema would count as a damaged file at the next start.
  db::Transaction schema(db_);

  char version_row[96];
  std::snprintf(version_row, sizeof version_row,
                "insert into corvio_info values ( null, 16, 1, %d, %d, %d )", kVersionMajor,
                kVersionMinor, kVersionBuild);
  const struct {
    std::string sql;
    std::string_view failure;
  } steps[] = {
      {with_path_collation(
           "create table filespec ( id integer not null primary key autoincrement, filespec "
           "varchar(1024) not null collate nocase, size integer unsigned not null, blocksize "
           "integer unsigned not null, t_modify integer unsigned not null, t_lastcheck integer "
           "unsigned not null )",
           ctx_.style),
       "Error initializing md5cache.dat / filespec"},
      {"create unique index filespec_idx on filespec( filespec )",
       "Error creating indexes on md5cache.dat / filespec"},
      {"create index filespec_t_lastcheck on filespec( t_lastcheck )",
       "Error creating indexes on md5cache.dat / filespec"},
      {"create table segs ( id integer not null primary key autoincrement, file_id integer "
       "unsigned not null, offset integer unsigned not null, size integer unsigned not null, md5 "
       "text(32) not null )",
       "Error initializing md5cache.dat / segs"},
      {"create index file_id_idx on segs( file_id )",
       "Error creating indexes on md5cache.dat / segs"},
      {"create index offset_idx on segs( offset )",
       "Error creating indexes on md5cache.dat / segs"},
      {"create table corvio_info ( id integer not null primary key autoincrement, type integer "
       "unsigned not null, client_type integer unsigned not null, ver_major integer unsigned not "
       "null, ver_minor integer unsigned not null, ver_build integer unsigned not null )",
       "Error initializing md5cache.dat / corvio_info"},
      {version_row, "Error seeding initial md5cache.dat / corvio_info records"},
  };
  for (const auto& step : steps) {
    if (db_.exec(step.sql) != SQLITE_OK) {
      ctx_.messages.message_box(step.failure, "SQL Error");
      return 1;
    }
  }
  if (schema.commit() != SQLITE_OK) {
    ctx_.messages.message_box("Error seeding initial md5cache.dat / corvio_info records",
                              "SQL Error");
    return 1;
  }
  return 0;
}

void Md5Cache::close() {
  if (!is_open()) return;
  flush();
  db_.close();
}

uint32_t Md5Cache::filespec_find(std::string_view path) {
  const std::string key = stored_path(path);
  if (!is_open() || key.empty()) return 0;
  db::CachedStatement st = db_.cached("select id from filespec where filespec=?");
  if (!db::Steps(st, report("md5cache_filespec_find"))
           .bind_text(1, key, "Couldn't bind filespec")
           .row("Error executing statement"))
    return 0;
  const uint32_t id = static_cast<uint32_t>(st->column_int64(0));
  while (st->step() == SQLITE_ROW) {
  }
  return id;
}

int Md5Cache::filespec_getdata(uint32_t file_id, Md5CacheFileData* data) {
  *data = Md5CacheFileData();
  if (!is_open()) return 1;
  db::CachedStatement st =
      db_.cached("select size, t_modify, t_lastcheck, blocksize from filespec where id=?");
  if (!db::Steps(st, report("md5cache_filespec_getdata"))
           .bind_int64(1, file_id, "Couldn't bind filespec_id")
           .row("Error executing statement"))
    return 1;
  // The block loop steps through the cached blocks by the row's blocksize: a damaged value would
  // replay only some blocks of the file (or, at 0, the first one forever). Every row this cache
  // writes has the one block size, so any other counts as no row and the file is read again.
  if (st->column_int64(3) != kBlockSize) return 1;
  data->size = static_cast<uint64_t>(st->column_int64(0));
  data->t_modify = static_cast<uint32_t>(st->column_int64(1));
  data->t_lastcheck = static_cast<uint32_t>(st->column_int64(2));
  data->blocksize = kBlockSize;
  return 0;
}

// Block rows are looked up by file and offset. Both columns have an index of their own, and
// without statistics SQLite picks the offset index, which holds only a few distinct values
// (0, 1 MiB, 2 MiB, ...) and so scans a large share of the table for every block: writing and
// replaying 100,000 files became quadratic. The unary plus on offset leaves it the file_id index,
// which narrows each lookup to one file's blocks; the results are the same.
bool Md5Cache::query_seg(std::string_view operation, const db::CachedStatement& st,
                         uint32_t file_id, uint64_t offset) {
  return db::Steps(st, report(operation))
      .bind_int64(1, file_id, "Couldn't bind filespec_id")
      .bind_int64(2, static_cast<int64_t>(offset), "Couldn't bind offset")
      .row("Error executing statement");
}

int Md5Cache::segs_get_md5(uint32_t file_id, uint64_t offset, uint8_t* md5) {
  std::memset(md5, 0, kMd5Size);
  if (!is_open()) return 1;
  db::CachedStatement st = db_.cached("select md5 from segs where file_id=? and +offset=?");
  if (!query_seg("md5cache_segs_get_md5", st, file_id, offset)) return 1;
  // A damaged digest counts as no digest: the block loop then reads the file.
  return hex_to_md5(st->column_text_view(0), md5) ? 0 : 1;
}

uint32_t Md5Cache::segs_get_size(uint32_t file_id, uint64_t offset) {
  if (!is_open()) return 0;
  db::CachedStatement st = db_.cached("select size from segs where file_id=? and +offset=?");
  if (!query_seg("md5cache_segs_get_size", st, file_id, offset)) return 0;
  return static_cast<uint32_t>(st->column_int64(0));
}

uint32_t Md5Cache::filespec_insert(std::string_view path, uint64_t size, uint32_t blocksize,
                                   uint32_t t_modify, uint32_t t_lastcheck) {
  const std::string key = stored_path(path);
  if (!is_open() || key.empty()) return 0;
  const uint32_t found = filespec_find(key);

  db::CachedStatement st = found != 0 ? db_.cached(
                                            "update filespec set size=?, blocksize=?, t_modify=?, "
                                            "t_lastcheck=? where id=?")
                                      : db_.cached(
                                            "insert into filespec( filespec, size, blocksize, "
                                            "t_modify, t_lastcheck ) values (?,?,?,?,?)");
  db::Steps steps(st, report("md5cache_filespec_insert"));
  // The update takes the values first and the id last; the insert takes the path first.
  const int first = found != 0 ? 1 : 2;
  if (found == 0) steps.bind_text(1, key, "Couldn't bind filespec");
  steps.bind_int64(first, static_cast<int64_t>(size), "Couldn't bind file size")
      .bind_int64(first + 1, blocksize, "Couldn't bind blocksize")
      .bind_int64(first + 2, t_modify, "Couldn't bind t_modify")
      .bind_int64(first + 3, t_lastcheck, "Couldn't bind t_lastcheck");
  if (found != 0) steps.bind_int64(5, found, "Couldn't bind id");
  if (!steps.done(found != 0 ? "SQL Error executing update" : "SQL Error executing insert"))
    return 0;
  return found != 0 ? found : static_cast<uint32_t>(db_.last_insert_rowid());
}

int Md5Cache::segs_delete_all(uint32_t file_id) {
  if (!is_open()) return 1;
  db::CachedStatement st = db_.cached("delete from segs where file_id=?");
  if (!st || st->bind_int64(1, file_id) != SQLITE_OK || st->step() != SQLITE_DONE) {
    sql_error("md5cache_segs_delete_all", db_.error_message());
    return 1;
  }
  return 0;
}

int Md5Cache::segs_insert(const uint8_t* md5, uint32_t file_id, uint64_t offset, uint32_t size) {
  if (!is_open()) return 1;
  {
    db::CachedStatement remove = db_.cached("delete from segs where file_id=? and +offset=?");
    if (!remove || remove->bind_int64(1, file_id) != SQLITE_OK ||
        remove->bind_int64(2, static_cast<int64_t>(offset)) != SQLITE_OK ||
        remove->step() != SQLITE_DONE) {
      sql_error("md5cache_segs_insert (#1)", db_.error_message());
      return 1;
    }
  }

  char hex[kMd5HexChars];
  md5_to_hex(md5, hex);
  db::CachedStatement st = db_.cached("insert into segs( file_id, offset, size, md5 ) values (?,?,?,?)");
  db::Steps(st, report("md5cache_segs_insert"))
      .bind_int64(1, file_id, "Couldn't bind filespec_id")
      .bind_int64(2, static_cast<int64_t>(offset), "Couldn't bind offset")
      .bind_int64(3, size, "Couldn't bind block size")
      .bind_text(4, std::string_view(hex, sizeof hex), "Couldn't bind md5")
      .done("SQL Error executing insert");
  return 0;
}

}  // namespace corvio
