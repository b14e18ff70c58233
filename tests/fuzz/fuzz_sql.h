// SPDX-License-Identifier: Apache-2.0
// Rows for the database targets, as a user editing a database by hand might leave them: each
// value an integer, a real, a text of any bytes, a blob or NULL, written as an SQL literal.
#pragma once

#include <cstdio>
#include <string>

#include "fuzz_check.h"
#include "util/hex.h"

namespace corvio::fuzz {

inline std::string sql_value(Input& in) {
  switch (in.byte() % 8) {
    case 0:
      return "NULL";
    case 1:
      return std::to_string(static_cast<int32_t>(in.u32()));
    case 2: {
      uint64_t high = in.u32();
      return std::to_string(static_cast<int64_t>(high << 32 | in.u32()));
    }
    case 3: {
      // Up to about 2e299: finite, so that SQLite reads the literal as a number.
      char real[32];
      std::snprintf(real, sizeof real, "%.17g", static_cast<int32_t>(in.u32()) * 1e290);
      return real;
    }
    case 4:
      return "X'" + to_hex(in.long_text()) + "'";
    default:  // mostly texts, the usual case
      return "CAST(X'" + to_hex(in.long_text()) + "' AS TEXT)";
  }
}

// The version table every database carries, sometimes left out or with odd values.
inline std::string sql_version_table(Input& in) {
  if (in.byte() % 4 == 0) return "";
  std::string sql =
      "create table corvio_info (id, type, client_type, ver_major, ver_minor, "
      "ver_build); insert into corvio_info values (null";
  for (int i = 0; i < 5; ++i) sql += ", " + sql_value(in);
  return sql + ");";
}

}  // namespace corvio::fuzz
