// SPDX-License-Identifier: Apache-2.0
#include "run_index.h"

#include <filesystem>

#include "util/md5_hex.h"

namespace corvio::server {

std::optional<uint32_t> parse_catalog_number(std::string_view text) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != text.npos) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (char c : text) value = value * 10 + static_cast<uint64_t>(c - '0');
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::unique_ptr<RunIndex> RunIndex::open(const std::string& dir, std::string* error) {
  std::string path = dir + "/store.db";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) ||
      !std::filesystem::is_directory(dir + "/blocks", ec)) {
    *error = dir + " is not a store (run: corvio-server init --store " + dir + ")";
    return nullptr;
  }
  std::unique_ptr<ReadOnlyDb> db = ReadOnlyDb::open(path, false, error);
  if (!db) return nullptr;
  return std::unique_ptr<RunIndex>(new RunIndex(std::move(db)));
}

bool RunIndex::list(const std::optional<std::string>& login, std::vector<StoredCatalog>* out,
                    std::string* error) {
  return query(login, std::nullopt, out, error);
}

bool RunIndex::find(uint32_t id, std::optional<StoredCatalog>* out, std::string* error) {
  std::vector<StoredCatalog> found;
  if (!query(std::nullopt, id, &found, error)) return false;
  out->reset();
  if (!found.empty()) *out = std::move(found.front());
  return true;
}

bool RunIndex::query(const std::optional<std::string>& login, std::optional<uint32_t> id,
                     std::vector<StoredCatalog>* out, std::string* error) {
  // Both filters are bound; a NULL parameter lets every row through.
  db::Statement st = db_->prepare(
      "select catalogs.id, profiles.login, profiles.tag, catalogs.created, runs.catalog_id,"
      " runs.catalog_md5, runs.catalog_size, runs.end_time, runs.files, runs.directories,"
      " runs.special_files, runs.bytes_total, runs.bytes_stored, runs.bytes_compressed,"
      " (select count(*) from refs where refs.catalog_id = catalogs.id and not exists"
      "  (select 1 from blocks where blocks.md5 = refs.md5 and blocks.length = refs.length))"
      " from catalogs join profiles on profiles.id = catalogs.profile_id"
      " left join runs on runs.catalog_id = catalogs.id"
      " where (?1 is null or profiles.login = ?1) and (?2 is null or catalogs.id = ?2)"
      " order by catalogs.id");
  if (!st || (login && st.bind_text(1, *login) != SQLITE_OK) ||
      (id && st.bind_int64(2, *id) != SQLITE_OK)) {
    *error = "cannot read the store index: " + db_->error_message();
    return false;
  }
  int rc;
  while ((rc = st.step()) == SQLITE_ROW) {
    StoredCatalog c;
    c.id = static_cast<uint32_t>(st.column_int64(0));
    c.login = st.column_text(1);
    c.tag = st.column_text(2);
    c.created = st.column_int64(3);
    c.missing_blocks = st.column_int64(14);
    if (!st.column_is_null(4)) {
      RunRecord run;
      run.catalog_id = c.id;
      // A damaged digest text stays all zeros, which names no block the store holds.
      hex_to_md5(st.column_text(5), run.catalog_key.data());
      run.catalog_size = static_cast<uint64_t>(st.column_int64(6));
      run.time = static_cast<uint32_t>(st.column_int64(7));
      run.files = static_cast<uint32_t>(st.column_int64(8));
      run.directories = static_cast<uint32_t>(st.column_int64(9));
      run.special_files = static_cast<uint32_t>(st.column_int64(10));
      run.bytes_total = static_cast<uint64_t>(st.column_int64(11));
      run.bytes_stored = static_cast<uint64_t>(st.column_int64(12));
      run.bytes_compressed = static_cast<uint64_t>(st.column_int64(13));
      c.run = run;
    }
    out->push_back(std::move(c));
  }
  if (rc != SQLITE_DONE) {
    *error = "cannot read the store index: " + db_->error_message();
    return false;
  }
  return true;
}

}  // namespace corvio::server
