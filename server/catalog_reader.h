// SPDX-License-Identifier: Apache-2.0
// Reading a run's catalog as the client uploaded it (src/catalog/catalog_schema.h is its
// format): the filespec rows, one per directory (type 1) or regular file (type 2) with the
// path exactly as the client recorded it in filename_full, and the segs rows, one per block of
// a file: its byte offset in the file, its length and its MD5 digest as 32 lower-case
// hexadecimal characters. Times are seconds since 1970 (UTC).
//
// The catalog is the block named by the run's end-of-run record; the caller checks that block
// (read_stored_block) before opening it here, and nothing writes it afterwards.
//
// A catalog is a file its client chose, so it is read defensively: opened read-only, its
// schema checked first (the catalog's own tables with their own columns, indexes on them, and
// nothing else: no view, trigger or virtual table, which would run code of the file's choosing),
// and with a bound on the work all statements on it may do together, in proportion to the
// file's size, so that no catalog can keep restore or verify busy for long.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "block.h"
#include "read_only_db.h"
#include "run_index.h"
#include "store.h"

namespace corvio::server {

inline constexpr int64_t kEntryDirectory = 1;
inline constexpr int64_t kEntryFile = 2;

struct CatalogEntry {
  int64_t id = 0;
  std::string path;  // filename_full
  int64_t type = 0;
  int64_t mode = 0;  // 16384 under the Windows style; st_mode under POSIX
  int64_t size = 0;
  int64_t t_access = 0;
  int64_t t_modify = 0;
};

struct CatalogSeg {
  int64_t offset = 0;
  int64_t size = 0;
  std::string md5;  // as recorded
};

class CatalogReader {
 public:
  // Opens the catalog file at path and checks its schema. Null with *error set when it is not a
  // readable catalog.
  static std::unique_ptr<CatalogReader> open(const std::string& path, std::string* error);

  enum class Kind { kDirectories, kFiles, kOther };
  // Calls visit for every entry of that kind, in the order of their ids (the order the client
  // recorded them: a directory before what it contains). False with *error set when the
  // catalog cannot be read to its end.
  bool for_each(Kind kind, const std::function<void(const CatalogEntry&)>& visit,
                std::string* error);
  // The blocks of the entry id by increasing offset.
  bool segs_of(int64_t id, std::vector<CatalogSeg>* out, std::string* error);
  // The catalog number the catalog records for itself (catinfo type 21), when it has one.
  std::optional<uint32_t> catalog_number();

 private:
  explicit CatalogReader(std::unique_ptr<ReadOnlyDb> db) : db_(std::move(db)) {}
  std::unique_ptr<ReadOnlyDb> db_;
};

// The key of a recorded block; false with *why set when its digest text or length is not one.
bool seg_key(const CatalogSeg& seg, BlockKey* key, std::string* why);

// What keeps a file's blocks from making up the file exactly: they must start at offset 0,
// follow each other without a gap or an overlap, and end at the file's size. Empty when they do.
std::vector<std::string> layout_problems(int64_t size, const std::vector<CatalogSeg>& segs);

// False with *why set when the catalog records a catalog number other than id.
bool check_catalog_number(CatalogReader& reader, uint32_t id, std::string* why);

// Whether the catalog an end-of-run record names may become the run's, checked before the
// record is kept: held in the store, intact, a catalog as open() takes it, and recording the
// run's own number if it records one. False with *why set.
bool check_uploaded_catalog(const Store& store, const RunRecord& run, std::string* why);

// Checks the catalog block of a finished run (its end-of-run record names it by MD5 and size)
// and opens it. Null with *error set when the run is unfinished or its catalog block is
// missing, damaged or not a catalog.
std::unique_ptr<CatalogReader> open_run_catalog(const Store& store, const StoredCatalog& catalog,
                                                std::string* error);

}  // namespace corvio::server
