// SPDX-License-Identifier: Apache-2.0
#include "catalog_reader.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>

#include "catalog/catalog_schema.h"
#include "stored_block.h"
#include "util/md5_hex.h"

namespace corvio::server {
namespace {

// What reading one catalog may cost. Restore reads its file rows three times and each file's
// blocks once through the catalog's index: about 1.7 million steps for a catalog of 20,000
// files of two blocks (7.9 MB), a fifth of a step per byte. The bound leaves a wide margin
// above that and stops what grows faster than the file (a catalog whose index was dropped
// makes every file's lookup read every block row).
constexpr uint64_t kWorkBase = 10'000'000;
constexpr uint64_t kWorkPerByte = 32;
// The longest value read: far beyond any path, small enough to bound the memory one row takes.
constexpr int kMaxValue = 1 << 20;

const char kColumnsSql[] = "select name from pragma_table_info(?1)";

// The column names of table, in order, as the statement kColumnsSql gives them.
std::vector<std::string> columns_of(db::Statement st, const std::string& table) {
  std::vector<std::string> names;
  if (!st || st.bind_text(1, table) != SQLITE_OK) return names;
  while (st.step() == SQLITE_ROW) names.push_back(st.column_text(0));
  return names;
}

using Tables = std::map<std::string, std::vector<std::string>>;

// The tables of a catalog and their columns, as the client's own schema makes them (SQLite's
// sqlite_sequence among them), built once in memory from that schema.
const Tables& catalog_tables() {
  static const Tables tables = [] {
    Tables out;
    db::Database db;
    if (db.open(":memory:") != SQLITE_OK) return out;
    for (const CatalogSchemaStep& step : kCatalogSchema) db.exec(std::string(step.sql));
    db::Statement st = db.prepare("select name from sqlite_schema where type = 'table'");
    while (st && st.step() == SQLITE_ROW) {
      std::string name = st.column_text(0);
      out[name] = columns_of(db.prepare(kColumnsSql), name);
    }
    return out;
  }();
  return tables;
}

// Whether the file's schema is a catalog's: tables of the catalog's names with their columns,
// and indexes on them. Views, triggers and virtual tables would run code of the file's choosing
// when read, so they are refused before any statement reads a row.
bool check_schema(ReadOnlyDb& db, std::string* why) {
  auto unreadable = [&] {
    *why = "not a readable catalog: " + db.error_message();
    return false;
  };
  db::Statement code =
      db.prepare("select type, name from sqlite_schema where type not in ('table', 'index')");
  if (!code) return unreadable();
  int rc = code.step();
  if (rc == SQLITE_ROW) {
    *why = "not a catalog: it has a " + code.column_text(0) + " \"" + code.column_text(1) + "\"";
    return false;
  }
  if (rc != SQLITE_DONE) return unreadable();

  const Tables& expected = catalog_tables();
  db::Statement tables = db.prepare(
      "select name, type from pragma_table_list where schema = 'main' and name != 'sqlite_schema'"
      " order by name");
  if (!tables) return unreadable();
  std::set<std::string> present;
  while ((rc = tables.step()) == SQLITE_ROW) {
    std::string name = tables.column_text(0);
    std::string type = tables.column_text(1);
    if (type != "table") {
      *why = "not a catalog: it has a " + type + " table \"" + name + "\"";
      return false;
    }
    if (expected.count(name) == 0) {
      *why = "not a catalog: it has a table \"" + name + "\" that catalogs do not have";
      return false;
    }
    present.insert(name);
  }
  if (rc != SQLITE_DONE) return unreadable();
  for (const char* needed : {"filespec", "segs"}) {
    if (present.count(needed) == 0) {
      *why = std::string("not a catalog: it has no table ") + needed;
      return false;
    }
  }
  for (const std::string& table : present) {
    if (columns_of(db.prepare(kColumnsSql), table) != expected.at(table)) {
      *why = "not a catalog: its table " + table + " does not have a catalog's columns";
      return false;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<CatalogReader> CatalogReader::open(const std::string& path, std::string* error) {
  std::unique_ptr<ReadOnlyDb> db = ReadOnlyDb::open(path, true, error);
  if (!db) return nullptr;
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  db->limit_work(kWorkBase + kWorkPerByte * (ec ? 0 : size), kMaxValue);
  if (!check_schema(*db, error)) return nullptr;
  return std::unique_ptr<CatalogReader>(new CatalogReader(std::move(db)));
}

bool CatalogReader::for_each(Kind kind, const std::function<void(const CatalogEntry&)>& visit,
                             std::string* error) {
  const char* where = kind == Kind::kDirectories ? "type = 1"
                      : kind == Kind::kFiles     ? "type = 2"
                                                 : "type not in (1, 2)";
  db::Statement st = db_->prepare(
      std::string("select id, filename_full, type, mode, size, t_access, t_modify from filespec"
                  " where ") +
      where + " order by id");
  if (!st) {
    *error = "cannot read the catalog: " + db_->error_message();
    return false;
  }
  int rc;
  while ((rc = st.step()) == SQLITE_ROW) {
    CatalogEntry e;
    e.id = st.column_int64(0);
    e.path = st.column_text(1);
    e.type = st.column_int64(2);
    e.mode = st.column_int64(3);
    e.size = st.column_int64(4);
    e.t_access = st.column_int64(5);
    e.t_modify = st.column_int64(6);
    visit(e);
    // Reading stops where the work limit was reached, wherever in the visit that was.
    if (db_->out_of_work()) break;
  }
  if (rc != SQLITE_DONE || db_->out_of_work()) {
    *error = "cannot read the catalog: " + db_->error_message();
    return false;
  }
  return true;
}

bool CatalogReader::segs_of(int64_t id, std::vector<CatalogSeg>* out, std::string* error) {
  out->clear();
  db::Statement st =
      db_->prepare("select offset, size, md5 from segs where filespec_id = ? order by offset");
  if (!st || st.bind_int64(1, id) != SQLITE_OK) {
    *error = "cannot read the catalog: " + db_->error_message();
    return false;
  }
  int rc;
  while ((rc = st.step()) == SQLITE_ROW) {
    out->push_back(CatalogSeg{st.column_int64(0), st.column_int64(1), st.column_text(2)});
  }
  if (rc != SQLITE_DONE) {
    *error = "cannot read the catalog: " + db_->error_message();
    return false;
  }
  return true;
}

std::optional<uint32_t> CatalogReader::catalog_number() {
  db::Statement st =
      db_->prepare("select misc from catinfo where type = " + std::to_string(catinfo::kCatalogId));
  if (!st || st.step() != SQLITE_ROW) return std::nullopt;
  return parse_catalog_number(st.column_text(0));
}

bool check_catalog_number(CatalogReader& reader, uint32_t id, std::string* why) {
  std::optional<uint32_t> recorded = reader.catalog_number();
  if (!recorded || *recorded == id) return true;
  *why = "catalog " + std::to_string(id) + ": its catalog block records catalog number " +
         std::to_string(*recorded);
  return false;
}

bool check_uploaded_catalog(const Store& store, const RunRecord& run, std::string* why) {
  StoredCatalog catalog;
  catalog.id = run.catalog_id;
  catalog.run = run;
  std::unique_ptr<CatalogReader> reader = open_run_catalog(store, catalog, why);
  return reader && check_catalog_number(*reader, run.catalog_id, why);
}

std::unique_ptr<CatalogReader> open_run_catalog(const Store& store, const StoredCatalog& catalog,
                                                std::string* error) {
  std::string name = "catalog " + std::to_string(catalog.id);
  if (!catalog.run) {
    *error = name + " is unfinished: the store has no end-of-run record for it";
    return nullptr;
  }
  if (catalog.run->catalog_size > kMaxCatalogLimit) {
    *error = name + ": its end-of-run record gives a catalog size of " +
             std::to_string(catalog.run->catalog_size) + " bytes, more than a block can hold";
    return nullptr;
  }
  BlockKey key{catalog.run->catalog_key, static_cast<uint32_t>(catalog.run->catalog_size)};
  std::string path = store.block_path(key);
  std::string why;
  if (read_stored_block(path, key, nullptr, &why) != BlockRead::kOk) {
    *error = name + ": catalog block (" + describe_block(key) + "): " + why;
    return nullptr;
  }
  std::unique_ptr<CatalogReader> reader = CatalogReader::open(path, &why);
  if (!reader) *error = name + ": catalog block (" + describe_block(key) + "): " + why;
  return reader;
}

bool seg_key(const CatalogSeg& seg, BlockKey* key, std::string* why) {
  if (seg.size < 0 || seg.size > kBlockSize) {
    *why = "block length " + std::to_string(seg.size) + " is out of range";
    return false;
  }
  if (!hex_to_md5(seg.md5, key->md5.data())) {
    *why = "block MD5 \"" + seg.md5 + "\" is not 32 lower-case hexadecimal characters";
    return false;
  }
  key->length = static_cast<uint32_t>(seg.size);
  return true;
}

std::vector<std::string> layout_problems(int64_t size, const std::vector<CatalogSeg>& segs) {
  std::vector<std::string> problems;
  int64_t end = 0;  // where the blocks so far end
  for (const CatalogSeg& seg : segs) {
    if (seg.size < 0) break;  // seg_key reports it
    if (seg.offset < 0 || seg.offset > INT64_MAX - seg.size) {
      problems.push_back("a block offset " + std::to_string(seg.offset) + " is out of range");
      return problems;
    }
    if (seg.offset > end) {
      problems.push_back("no block covers bytes " + std::to_string(end) + " to " +
                         std::to_string(seg.offset - 1));
    } else if (seg.offset < end) {
      problems.push_back("the block at offset " + std::to_string(seg.offset) +
                         " overlaps the one before it");
    }
    end = seg.offset + seg.size;
  }
  if (end != size) {
    problems.push_back("its blocks make " + std::to_string(end) + " bytes, its size is " +
                       std::to_string(size));
  }
  return problems;
}

}  // namespace corvio::server
