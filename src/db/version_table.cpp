// SPDX-License-Identifier: Apache-2.0
#include "db/version_table.h"

namespace corvio::db {

VersionCheck check_version_table(Database& db, std::string* reason, int* rc) {
  const int result = db.exec(kVersionQuery, reason);
  if (rc) *rc = result;
  if (result == SQLITE_OK) return VersionCheck::kReadable;
  // A missing version table is new only in a database that has nothing else either; a file of
  // another program, or one of ours missing a table or a column, is not ours to drop.
  Statement st = db.prepare("select count(*) from sqlite_master");
  if (st && st.step() == SQLITE_ROW && st.column_int64(0) == 0) return VersionCheck::kNew;
  return VersionCheck::kUnreadable;
}

}  // namespace corvio::db
