// SPDX-License-Identifier: Apache-2.0
// The runs a store holds, read from its index without changing it: every catalog number the
// server allocated, with the login and profile tag it belongs to and, for a run that finished,
// its end-of-run record (which names the catalog file, stored as a block, by MD5 and size).
// A catalog without an end-of-run record is unfinished: the run was cancelled, failed or is
// still going on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "read_only_db.h"
#include "store.h"

namespace corvio::server {

struct StoredCatalog {
  uint32_t id = 0;
  std::string login;
  std::string tag;
  int64_t created = 0;           // when the number was allocated, seconds since 1970
  std::optional<RunRecord> run;  // the end-of-run record; none while unfinished
  // Blocks the run referenced that the store no longer holds (lost in a crash of the machine,
  // or taken out as damaged): a run with any is damaged until a client uploads them again.
  int64_t missing_blocks = 0;
};

// A catalog number written in decimal digits only, at most 4294967295; nothing otherwise.
std::optional<uint32_t> parse_catalog_number(std::string_view text);

class RunIndex {
 public:
  // Opens the index of the store in dir, read-only. Null with *error set when dir holds no
  // store.
  static std::unique_ptr<RunIndex> open(const std::string& dir, std::string* error);

  // Every catalog, by increasing number; only login's when login is given.
  bool list(const std::optional<std::string>& login, std::vector<StoredCatalog>* out,
            std::string* error);
  // The catalog numbered id; *out empty when the store has none of that number.
  bool find(uint32_t id, std::optional<StoredCatalog>* out, std::string* error);

 private:
  explicit RunIndex(std::unique_ptr<ReadOnlyDb> db) : db_(std::move(db)) {}
  bool query(const std::optional<std::string>& login, std::optional<uint32_t> id,
             std::vector<StoredCatalog>* out, std::string* error);

  std::unique_ptr<ReadOnlyDb> db_;
};

}  // namespace corvio::server
