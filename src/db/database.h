// SPDX-License-Identifier: Apache-2.0
// A thin owner of the SQLite C API. Every database of the program goes through these three
// types, and every statement text, bind index and result code stays visible at the call site:
//
//   db::Statement st = db.prepare("delete from profiles where profile=?");
//   if (!st || st.bind_text(1, tag) != SQLITE_OK || st.step() != SQLITE_DONE) return fail();
//
// Where each failing step has a message of its own, db::Steps (db/steps.h) runs the sequence.
//
// Results are SQLite's own codes. A Database and its Statements are used by one thread at a
// time; a Statement must not outlive its Database.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace corvio::db {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};

class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* st) : st_(st) {}

  // False when preparing failed.
  explicit operator bool() const { return st_ != nullptr; }

  // Bind indexes count from 1. Texts are copied by SQLite.
  int bind_int(int index, int32_t value);
  int bind_int64(int index, int64_t value);
  int bind_text(int index, std::string_view value);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();

  // Column indexes count from 0.
  int32_t column_int(int index);
  int64_t column_int64(int index);
  std::string column_text(int index);  // empty for NULL
  // The same without a copy: valid until the next step() or reset().
  std::string_view column_text_view(int index);
  int column_count();
  bool column_is_null(int index);

  // Makes a stepped statement ready to run again, with its bindings cleared: a statement used
  // often is prepared once.
  int reset();
  void finalize() { st_.reset(); }

 private:
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> st_;
};

// A statement borrowed from Database::cached(): reset, with its bindings cleared, when this
// goes out of scope, so that no kept statement holds rows (and a read lock) between calls.
class CachedStatement {
 public:
  explicit CachedStatement(Statement* st) : st_(st) {}
  ~CachedStatement() {
    if (st_) st_->reset();
  }
  CachedStatement(const CachedStatement&) = delete;
  CachedStatement& operator=(const CachedStatement&) = delete;

  // False when preparing failed.
  explicit operator bool() const { return st_ != nullptr; }
  Statement* operator->() const { return st_; }
  Statement* get() const { return st_; }  // null when preparing failed

 private:
  Statement* st_;
};

// The page cache of the client's two busy databases, the run's catalog and the MD5 cache: 4 MiB
// each (a negative size counts KiB). Their rows are written and looked up mostly in path order,
// so a cache far smaller than the files costs few reads, while one as large as the files made
// the client's memory grow with the number of files backed up (45 MB for 100,000 files).
inline constexpr const char* kPageCachePragma = "PRAGMA cache_size=-4096";

class Database {
 public:
  Database() = default;

  // Opens read-write, creating the file when missing. On failure nothing stays open (SQLite
  // hands back a handle even when the open fails; it is closed here) and *error, when given,
  // holds SQLite's reason with the system's, as in "unable to open database file (Permission
  // denied)".
  int open(const std::string& path, std::string* error = nullptr);
  // The same for a file that must exist already: a missing one is not created.
  int open_existing(const std::string& path, std::string* error = nullptr);
  // Opens an existing file for reading only, for tools that inspect a database and must not
  // change it: nothing is created, and a journal left beside the file is not played back (the
  // first read fails instead). The file's schema is not trusted to call functions.
  int open_read_only(const std::string& path, std::string* error = nullptr);
  // Closes the database if one is open. Open statements must be finalized first.
  void close() {
    cached_.clear();
    db_.reset();
  }
  bool is_open() const { return db_ != nullptr; }

  int busy_timeout(int ms);

  // Runs SQL text without reading rows. On failure the error text is stored in *error when
  // given, and released in any case.
  int exec(const std::string& sql, std::string* error = nullptr);

  // An empty Statement when the text cannot be prepared.
  Statement prepare(std::string_view sql);
  // The statement of this text, prepared at its first use and kept until close(): for the
  // statements run once per file or block, whose preparation costs about a quarter of a
  // lookup. Empty when the text cannot be prepared (and tried again at the next call). One
  // text is borrowed by one caller at a time.
  CachedStatement cached(std::string_view sql);
  // exec() of one statement through cached(), for those run once per file or batch. Rows it
  // returns are ignored.
  int exec_cached(std::string_view sql, std::string* error = nullptr);

  int64_t last_insert_rowid();
  std::string error_message();
  // True while a transaction is open (SQLite is not in autocommit mode).
  bool in_transaction();

  sqlite3* get() { return db_.get(); }

 private:
  int open_with(const std::string& path, int flags, std::string* error);

  std::unique_ptr<sqlite3, SqliteCloser> db_;
  std::map<std::string, Statement, std::less<>> cached_;  // declared after db_: finalized first
};

// Runs "begin transaction" when made and "rollback" when destroyed, unless a commit() has
// succeeded. A commit that fails (a busy database, a full disk) leaves the transaction to be
// rolled back, so its rows are lost for certain rather than committed by a later statement.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  int begin_result() const { return begin_rc_; }
  // SQLITE_OK, or the failure with SQLite's text in *error when given.
  int commit(std::string* error = nullptr);

 private:
  Database& db_;
  int begin_rc_;
  bool open_;
};

}  // namespace corvio::db
