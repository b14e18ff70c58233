// SPDX-License-Identifier: Apache-2.0
// A SQLite database opened for reading only, for the commands that inspect a store: the index
// store.db and the catalogs uploaded into it. db::Database always opens read-write and creates
// a missing file; these commands must not change what they read.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "db/database.h"

namespace corvio::server {

class ReadOnlyDb {
 public:
  // Opens path read-only. immutable: the file is a finished, checked copy that nothing writes
  // (an uploaded catalog), so SQLite takes no locks and looks for no journal beside it. The
  // schema of the file is not trusted: its views and triggers cannot call functions with side
  // effects. Null with *error set on failure.
  static std::unique_ptr<ReadOnlyDb> open(const std::string& path, bool immutable,
                                          std::string* error);

  // Bounds what a file that is not trusted can make its reader spend: all the statements run
  // from now on may take at most steps of SQLite's virtual machine together, and no value read
  // may be longer than max_value bytes. A statement that would go beyond fails, and
  // error_message() says so.
  void limit_work(uint64_t steps, int max_value);
  // True once the work limit was reached: every statement from then on may fail.
  bool out_of_work() const { return work_limit_ > 0 && work_done_ > work_limit_; }

  // An empty Statement when the text cannot be prepared (error_message() tells why).
  db::Statement prepare(std::string_view sql);
  std::string error_message();

 private:
  explicit ReadOnlyDb(sqlite3* db) : db_(db) {}
  static int count_work(void* self);

  std::unique_ptr<sqlite3, db::SqliteCloser> db_;
  uint64_t work_limit_ = 0;
  uint64_t work_done_ = 0;
};

}  // namespace corvio::server
