// SPDX-License-Identifier: Apache-2.0
#include "db/database.h"

#include <cstring>

namespace corvio::db {

int Statement::bind_int(int index, int32_t value) {
  return sqlite3_bind_int(st_.get(), index, value);
}

int Statement::bind_int64(int index, int64_t value) {
  return sqlite3_bind_int64(st_.get(), index, value);
}

int Statement::bind_text(int index, std::string_view value) {
  // A non-null pointer even for an empty text, so that it binds '' and not NULL.
  return sqlite3_bind_text(st_.get(), index, value.empty() ? "" : value.data(),
                           static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

int Statement::step() { return sqlite3_step(st_.get()); }

int Statement::reset() {
  int rc = sqlite3_reset(st_.get());
  sqlite3_clear_bindings(st_.get());
  return rc;
}

int32_t Statement::column_int(int index) { return sqlite3_column_int(st_.get(), index); }

int64_t Statement::column_int64(int index) { return sqlite3_column_int64(st_.get(), index); }

std::string Statement::column_text(int index) {
  const unsigned char* text = sqlite3_column_text(st_.get(), index);
  if (!text) return std::string();
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(st_.get(), index)));
}

std::string_view Statement::column_text_view(int index) {
  const unsigned char* text = sqlite3_column_text(st_.get(), index);
  if (!text) return std::string_view();
  return std::string_view(reinterpret_cast<const char*>(text),
                          static_cast<size_t>(sqlite3_column_bytes(st_.get(), index)));
}

int Statement::column_count() { return sqlite3_column_count(st_.get()); }

bool Statement::column_is_null(int index) {
  return sqlite3_column_type(st_.get(), index) == SQLITE_NULL;
}

int Database::open(const std::string& path, std::string* error) {
  return open_with(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
}

int Database::open_existing(const std::string& path, std::string* error) {
  return open_with(path, SQLITE_OPEN_READWRITE, error);
}

int Database::open_with(const std::string& path, int flags, std::string* error) {
  cached_.clear();  // statements of a connection opened before
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    if (error) {
      *error = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
      const int system_error = raw ? sqlite3_system_errno(raw) : 0;
      if (system_error != 0) *error += " (" + std::string(std::strerror(system_error)) + ")";
    }
    db_.reset();
  }
  return rc;
}

int Database::open_read_only(const std::string& path, std::string* error) {
  int rc = open_with(path, SQLITE_OPEN_READONLY, error);
  if (rc == SQLITE_OK) sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  return rc;
}

int Database::busy_timeout(int ms) { return sqlite3_busy_timeout(db_.get(), ms); }

int Database::exec(const std::string& sql, std::string* error) {
  if (!db_) {
    if (error) *error = "database is not open";
    return SQLITE_MISUSE;
  }
  char* text = nullptr;
  int rc = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &text);
  if (error) *error = text ? text : "";
  sqlite3_free(text);
  return rc;
}

Statement Database::prepare(std::string_view sql) {
  if (!db_) return Statement();
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &st, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(st);
    return Statement();
  }
  return Statement(st);
}

CachedStatement Database::cached(std::string_view sql) {
  auto it = cached_.find(sql);
  if (it == cached_.end()) {
    Statement st = prepare(sql);
    if (!st) return CachedStatement(nullptr);
    it = cached_.emplace(std::string(sql), std::move(st)).first;
  }
  return CachedStatement(&it->second);
}

int Database::exec_cached(std::string_view sql, std::string* error) {
  CachedStatement st = cached(sql);
  const int rc = st ? st->step() : SQLITE_ERROR;
  const int result = rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
  if (error) *error = result == SQLITE_OK ? "" : error_message();
  return result;
}

int64_t Database::last_insert_rowid() { return sqlite3_last_insert_rowid(db_.get()); }

std::string Database::error_message() { return db_ ? sqlite3_errmsg(db_.get()) : "not open"; }

bool Database::in_transaction() { return db_ && sqlite3_get_autocommit(db_.get()) == 0; }

Transaction::Transaction(Database& db)
    : db_(db), begin_rc_(db.exec_cached("begin transaction")), open_(begin_rc_ == SQLITE_OK) {}

Transaction::~Transaction() {
  if (open_) db_.exec_cached("rollback");
}

int Transaction::commit(std::string* error) {
  if (!open_) {
    if (error) *error = "no transaction is open";
    return SQLITE_MISUSE;
  }
  int rc = db_.exec_cached("commit", error);
  if (rc == SQLITE_OK) open_ = false;
  return rc;
}

}  // namespace corvio::db
