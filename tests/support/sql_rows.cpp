// SPDX-License-Identifier: Apache-2.0
#include "support/sql_rows.h"

#include <gtest/gtest.h>

#include <cctype>

#include "db/database.h"

namespace corvio::test {

std::vector<SqlRow> sql_rows(const std::string& db_path, const std::string& sql) {
  std::vector<SqlRow> rows;
  db::Database db;
  if (db.open(db_path) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << db_path;
    return rows;
  }
  db::Statement st = db.prepare(sql);
  if (!st) {
    ADD_FAILURE() << "cannot prepare " << sql << ": " << db.error_message();
    return rows;
  }
  while (st.step() == SQLITE_ROW) {
    SqlRow row;
    for (int i = 0; i < st.column_count(); i++)
      row.push_back(st.column_is_null(i) ? "NULL" : st.column_text(i));
    rows.push_back(row);
  }
  return rows;
}

std::vector<SqlRow> schema_of(const std::string& db_path) {
  std::vector<SqlRow> rows = sql_rows(
      db_path, "select sql from sqlite_master where name not like 'sqlite_%' order by rowid");
  for (SqlRow& row : rows) {
    for (const char* keyword : {"CREATE TABLE", "CREATE UNIQUE INDEX", "CREATE INDEX"}) {
      std::string k = keyword;
      if (row[0].compare(0, k.size(), k) == 0)
        for (size_t i = 0; i < k.size(); i++) row[0][i] = static_cast<char>(tolower(row[0][i]));
    }
  }
  return rows;
}

void sql_exec(const std::string& db_path, const std::string& sql) {
  db::Database db;
  ASSERT_EQ(db.open(db_path), SQLITE_OK) << db_path;
  // A server under test may be writing the same database at this moment.
  db.busy_timeout(10000);
  std::string error;
  ASSERT_EQ(db.exec(sql, &error), SQLITE_OK) << error;
}

}  // namespace corvio::test
