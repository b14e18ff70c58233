// The rows a run adds to its catalog: one filespec row per directory or file, one segs row per
// block. Every statement is kept prepared for the catalog's connection (db::Database::cached):
// these run once per file or block.
#include <string>

#include "catalog/catalog.h"
#include "util/block_format.h"
#include "util/md5_hex.h"

namespace corvio {

void Catalog::count_insert() {
  if (++insert_count_ < 128) return;
  commit_batch();
  begin_batch();
  insert_count_ = 0;
}

uint32_t Catalog::filespec_find(std::string_view path) {
  static constexpr std::string_view kOperation = "catalog_filespec_find";
  if (!is_open()) return 0;
  db::CachedStatement st = db_.cached("select id from filespec where filename_full=?");
  if (!st) {
    sql_error(kOperation, "Couldn't prepare SQL statement");
    return 0;
  }
  if (st->bind_text(1, ctx_.style.fold(path)) != SQLITE_OK) {
    sql_error(kOperation, "Couldn't bind filespec");
    return 0;
  }
  int rc = st->step();
  if (rc == SQLITE_DONE) return 0;
  if (rc != SQLITE_ROW) {
    sql_error(kOperation, "Error executing statement");
    return 0;
  }
  const uint32_t id = static_cast<uint32_t>(st->column_int64(0));
  while (st->step() == SQLITE_ROW) {
  }
  return id;
}

uint32_t Catalog::filespec_insert(std::string_view path, const FileStat& stat) {
  static constexpr std::string_view kOperation = "catalog_filespec_insert";
  if (!is_open()) return 0;
  count_insert();
  if (filespec_find(path) != 0) return 0;

  std::string parent, filename;
  ctx_.style.split(path, &parent, &filename);
  const uint32_t parent_id = parent.empty() ? 0 : filespec_find(parent);

  db::CachedStatement st = db_.cached(
      "insert into filespec( parent_id, filename, filename_full, type, attr, mode, owner, "
      "_group, size, t_access, t_change, t_modify, t_backup_start, t_backup_end, blocksize, "
      "extra ) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  if (!st) {
    sql_error(kOperation, "Couldn't prepare SQL statement");
    return 0;
  }
  // Unsigned 32-bit values are bound as 64-bit integers so that none is stored negative.
  struct Bind {
    int rc;
    std::string_view failure;
  };
  const Bind binds[] = {
      {st->bind_int64(1, parent_id), "Couldn't bind parent_id"},
      {st->bind_text(2, filename), "Couldn't bind filename"},
      {st->bind_text(3, path), "Couldn't bind filename_full"},
      {st->bind_int64(4, stat.type), "Couldn't bind type"},
      {st->bind_int64(5, stat.attr), "Couldn't bind attr"},
      {st->bind_int64(6, stat.mode), "Couldn't bind mode"},
      {st->bind_int64(7, stat.owner), "Couldn't bind owner"},
      {st->bind_int64(8, stat.group), "Couldn't bind group"},
      {st->bind_int64(9, static_cast<int64_t>(stat.size)), "Couldn't bind size"},
      {st->bind_int64(10, stat.t_access), "Couldn't bind t_access"},
      {st->bind_int64(11, stat.t_change), "Couldn't bind t_change"},
      {st->bind_int64(12, stat.t_modify), "Couldn't bind t_modify"},
      {st->bind_int64(13, 0), "Couldn't bind t_backup_start"},
      {st->bind_int64(14, 0), "Couldn't bind t_backup_end"},
      {st->bind_int64(15, kBlockSize), "Couldn't bind blocksize"},
      {st->bind_text(16, ""), "Couldn't bind extra"},
  };
  for (const Bind& bind : binds) {
    if (bind.rc != SQLITE_OK) {
      sql_error(kOperation, bind.failure);
      return 0;
    }
  }
  if (st->step() != SQLITE_DONE) {
    sql_error(kOperation, "SQL Error executing insert");
    return 0;
  }
  return static_cast<uint32_t>(db_.last_insert_rowid());
}

int Catalog::seg_insert(uint32_t filespec_id, const uint8_t* md5, uint64_t offset, uint32_t size) {
  static constexpr std::string_view kOperation = "catalog_seg_insert";
  if (!is_open()) return 0;
  count_insert();
  if (filespec_id == 0) return 0;

  char hex[kMd5HexChars];
  md5_to_hex(md5, hex);
  db::CachedStatement st =
      db_.cached("insert into segs ( filespec_id, offset, size, md5 ) values (?,?,?,?)");
  if (!st) {
    sql_error(kOperation, "Couldn't prepare SQL statement");
    return 0;
  }
  if (st->bind_int64(1, filespec_id) != SQLITE_OK) {
    sql_error(kOperation, "Couldn't bind filespec_id");
  } else if (st->bind_int64(2, static_cast<int64_t>(offset)) != SQLITE_OK) {
    sql_error(kOperation, "Couldn't bind offset");
  } else if (st->bind_int64(3, size) != SQLITE_OK) {
    sql_error(kOperation, "Couldn't bind size");
  } else if (st->bind_text(4, std::string_view(hex, sizeof hex)) != SQLITE_OK) {
    sql_error(kOperation, "Couldn't bind md5");
  } else if (st->step() != SQLITE_DONE) {
    sql_error(kOperation, "Couldn't process SQL query!");
  }
  return 0;
}

void Catalog::filespec_set_size(uint32_t filespec_id, uint64_t size) {
  static constexpr std::string_view kOperation = "catalog_filespec_set_size";
  if (!is_open() || filespec_id == 0) return;
  db::CachedStatement st = db_.cached("update filespec set size=? where id=?");
  if (!st) {
    sql_error(kOperation, "Couldn't prepare SQL statement");
  } else if (st->bind_int64(1, static_cast<int64_t>(size)) != SQLITE_OK ||
             st->bind_int64(2, filespec_id) != SQLITE_OK) {
    sql_error(kOperation, "Couldn't bind size");
  } else if (st->step() != SQLITE_DONE) {
    sql_error(kOperation, "Error executing statement");
  }
}

void Catalog::filespec_drop(uint32_t filespec_id) {
  static constexpr std::string_view kOperation = "catalog_filespec_drop";
  if (!is_open() || filespec_id == 0) return;
  for (const char* sql : {"delete from segs where filespec_id=?", "delete from filespec where id=?"}) {
    db::CachedStatement st = db_.cached(sql);
    if (!st) {
      sql_error(kOperation, "Couldn't prepare SQL statement");
      return;
    }
    if (st->bind_int64(1, filespec_id) != SQLITE_OK) {
      sql_error(kOperation, "Couldn't bind filespec_id");
      return;
    }
    if (st->step() != SQLITE_DONE) {
      sql_error(kOperation, "Error executing statement");
      return;
    }
  }
}

}  // namespace corvio
