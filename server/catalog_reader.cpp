#include "catalog_reader.h"

#include <cstdint>

#include "catalog/catalog_schema.h"
#include "stored_block.h"
#include "util/md5_hex.h"

namespace corvio::server {

std::unique_ptr<CatalogReader> CatalogReader::open(const std::string& path, std::string* error) {
  std::unique_ptr<ReadOnlyDb> db = ReadOnlyDb::open(path, true, error);
  if (!db) return nullptr;
  // A file that is not a SQLite database, or one without the catalog's tables, fails here.
  db::Statement check = db->prepare("select count(*) from filespec, segs where 0");
  if (!check || check.step() != SQLITE_ROW) {
    *error = "not a readable catalog: " + db->error_message();
    return nullptr;
  }
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
  }
  if (rc != SQLITE_DONE) {
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
