// SPDX-License-Identifier: Apache-2.0
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
  if (!is_open()) return 0;
  db::CachedStatement st = db_.cached("select id from filespec where filename_full=?");
  if (!db::Steps(st, report("catalog_filespec_find"))
           .bind_text(1, ctx_.style.fold(path), "Couldn't bind filespec")
           .row("Error executing statement"))
    return 0;
  const uint32_t id = static_cast<uint32_t>(st->column_int64(0));
  while (st->step() == SQLITE_ROW) {
  }
  return id;
}

uint32_t Catalog::filespec_insert(std::string_view path, const FileStat& stat) {
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
  // Unsigned 32-bit values are bound as 64-bit integers so that none is stored negative.
  if (!db::Steps(st, report("catalog_filespec_insert"))
           .bind_int64(1, parent_id, "Couldn't bind parent_id")
           .bind_text(2, filename, "Couldn't bind filename")
           .bind_text(3, path, "Couldn't bind filename_full")
           .bind_int64(4, stat.type, "Couldn't bind type")
           .bind_int64(5, stat.attr, "Couldn't bind attr")
           .bind_int64(6, stat.mode, "Couldn't bind mode")
           .bind_int64(7, stat.owner, "Couldn't bind owner")
           .bind_int64(8, stat.group, "Couldn't bind group")
           .bind_int64(9, static_cast<int64_t>(stat.size), "Couldn't bind size")
           .bind_int64(10, stat.t_access, "Couldn't bind t_access")
           .bind_int64(11, stat.t_change, "Couldn't bind t_change")
           .bind_int64(12, stat.t_modify, "Couldn't bind t_modify")
           .bind_int64(13, 0, "Couldn't bind t_backup_start")
           .bind_int64(14, 0, "Couldn't bind t_backup_end")
           .bind_int64(15, kBlockSize, "Couldn't bind blocksize")
           .bind_text(16, "", "Couldn't bind extra")
           .done("SQL Error executing insert"))
    return 0;
  return static_cast<uint32_t>(db_.last_insert_rowid());
}

int Catalog::seg_insert(uint32_t filespec_id, const uint8_t* md5, uint64_t offset, uint32_t size) {
  if (!is_open()) return 0;
  count_insert();
  if (filespec_id == 0) return 0;

  char hex[kMd5HexChars];
  md5_to_hex(md5, hex);
  db::CachedStatement st =
      db_.cached("insert into segs ( filespec_id, offset, size, md5 ) values (?,?,?,?)");
  db::Steps(st, report("catalog_seg_insert"))
      .bind_int64(1, filespec_id, "Couldn't bind filespec_id")
      .bind_int64(2, static_cast<int64_t>(offset), "Couldn't bind offset")
      .bind_int64(3, size, "Couldn't bind size")
      .bind_text(4, std::string_view(hex, sizeof hex), "Couldn't bind md5")
      .done("Couldn't process SQL query!");
  return 0;
}

void Catalog::filespec_set_size(uint32_t filespec_id, uint64_t size) {
  if (!is_open() || filespec_id == 0) return;
  db::CachedStatement st = db_.cached("update filespec set size=? where id=?");
  db::Steps(st, report("catalog_filespec_set_size"))
      .bind_int64(1, static_cast<int64_t>(size), "Couldn't bind size")
      .bind_int64(2, filespec_id, "Couldn't bind size")
      .done("Error executing statement");
}

void Catalog::filespec_drop(uint32_t filespec_id) {
  if (!is_open() || filespec_id == 0) return;
  for (const char* sql : {"delete from segs where filespec_id=?", "delete from filespec where id=?"}) {
    db::CachedStatement st = db_.cached(sql);
    if (!db::Steps(st, report("catalog_filespec_drop"))
             .bind_int64(1, filespec_id, "Couldn't bind filespec_id")
             .done("Error executing statement"))
      return;
  }
}

}  // namespace corvio
