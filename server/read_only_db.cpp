// SPDX-License-Identifier: Apache-2.0
#include "read_only_db.h"

namespace corvio::server {
namespace {

// How many virtual-machine steps pass between two counts of the work done.
constexpr int kStepsPerCount = 1000;

// A file: URI for path, every byte but the unreserved ones percent-encoded, so that a '?', '#'
// or '%' in a store's directory name stays part of the path.
std::string file_uri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file:";
  for (unsigned char c : path) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '.' || c == '-' || c == '_';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<ReadOnlyDb> ReadOnlyDb::open(const std::string& path, bool immutable,
                                             std::string* error) {
  std::string uri = file_uri(path) + (immutable ? "?immutable=1" : "?mode=ro");
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  std::unique_ptr<sqlite3, db::SqliteCloser> owner(raw);
  if (rc != SQLITE_OK) {
    *error = "cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    return nullptr;
  }
  sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_busy_timeout(raw, 10000);
  return std::unique_ptr<ReadOnlyDb>(new ReadOnlyDb(owner.release()));
}

void ReadOnlyDb::limit_work(uint64_t steps, int max_value) {
  work_limit_ = steps;
  work_done_ = 0;
  sqlite3_progress_handler(db_.get(), kStepsPerCount, &ReadOnlyDb::count_work, this);
  sqlite3_limit(db_.get(), SQLITE_LIMIT_LENGTH, max_value);
}

int ReadOnlyDb::count_work(void* self) {
  ReadOnlyDb& db = *static_cast<ReadOnlyDb*>(self);
  db.work_done_ += kStepsPerCount;
  return db.work_done_ > db.work_limit_ ? 1 : 0;
}

db::Statement ReadOnlyDb::prepare(std::string_view sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &st, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(st);
    return db::Statement();
  }
  return db::Statement(st);
}

std::string ReadOnlyDb::error_message() {
  if (out_of_work()) {
    return "reading it takes more work than a file of its size can need (" +
           std::to_string(work_limit_) + " steps)";
  }
  return sqlite3_errmsg(db_.get());
}

}  // namespace corvio::server
