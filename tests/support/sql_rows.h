// Reads a database the way a test checks it: every row of a query as texts, NULL as "NULL".
#pragma once

#include <string>
#include <vector>

namespace corvio::test {

using SqlRow = std::vector<std::string>;

// Fails the current test when the database or the query cannot be opened.
std::vector<SqlRow> sql_rows(const std::string& db_path, const std::string& sql);

// Executes statements on a database, creating it when missing; fails the test on error.
void sql_exec(const std::string& db_path, const std::string& sql);

}  // namespace corvio::test
