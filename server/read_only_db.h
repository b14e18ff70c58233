// A SQLite database opened for reading only, for the commands that inspect a store: the index
// store.db and the catalogs uploaded into it. db::Database always opens read-write and creates
// a missing file; these commands must not change what they read.
#pragma once

#include <sqlite3.h>

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

  // An empty Statement when the text cannot be prepared (error_message() tells why).
  db::Statement prepare(std::string_view sql);
  std::string error_message();

 private:
  explicit ReadOnlyDb(sqlite3* db) : db_(db) {}
  std::unique_ptr<sqlite3, db::SqliteCloser> db_;
};

}  // namespace corvio::server
