// SPDX-License-Identifier: Apache-2.0
// Every database of the program carries the one-row version table corvio_info. Opening one only
// tests that the table can be read; what it records is never compared. A database that exists
// and cannot be read as expected is never rebuilt on the spot: only a file that holds no table
// at all (it did not exist, or is empty) counts as new.
#pragma once

#include <string>

#include "db/database.h"

namespace corvio::db {

inline constexpr char kVersionQuery[] =
    "select type, client_type, ver_major, ver_minor, ver_build from corvio_info";

enum class VersionCheck {
  kReadable,    // the version table reads: the database is used as it is
  kNew,         // no table, index or view at all: the schema may be created
  kUnreadable,  // anything else; SQLite's reason in *reason
};

// Runs the version query on an open database. *rc receives the query's result code when given.
VersionCheck check_version_table(Database& db, std::string* reason, int* rc = nullptr);

}  // namespace corvio::db
