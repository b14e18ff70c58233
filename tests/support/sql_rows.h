// SPDX-License-Identifier: Apache-2.0
// Reads a database the way a test checks it: every row of a query as texts, NULL as "NULL".
#pragma once

#include <string>
#include <vector>

namespace corvio::test {

using SqlRow = std::vector<std::string>;

// Fails the current test when the database or the query cannot be opened.
std::vector<SqlRow> sql_rows(const std::string& db_path, const std::string& sql);

// The statements that created a database's tables and indexes, in creation order. SQLite keeps
// them verbatim except for the leading "CREATE TABLE" or "CREATE INDEX", turned back to lower
// case here; its own tables are left out.
std::vector<SqlRow> schema_of(const std::string& db_path);

// Executes statements on a database, creating it when missing; fails the test on error.
void sql_exec(const std::string& db_path, const std::string& sql);

}  // namespace corvio::test
