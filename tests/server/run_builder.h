// SPDX-License-Identifier: Apache-2.0
// A backup run for the tests of the server's restore, verify and catalogs commands: its catalog
// built with the client's own catalog code (corvio::Catalog, in the Windows or the POSIX path
// style, as the client's run builds it), and the blocks of its files, cut at 1 MiB as the
// client cuts them. put_run() then puts the blocks and the catalog into a store the way the
// server's session does after checking them, with the references and the end-of-run record.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "base/backup_session.h"
#include "store.h"
#include "support/test_world.h"

namespace corvio::server::test {

inline constexpr size_t kBlock = 1048576;

class RunBuilder {
 public:
  RunBuilder(bool windows, uint32_t catalog_id);

  void add_dir(const std::string& path, uint32_t t_modify, uint32_t t_access,
               uint32_t mode = 16384);
  // Records a file and its blocks; its filespec id.
  uint32_t add_file(const std::string& path, const std::string& bytes, uint32_t t_modify,
                    uint32_t t_access, uint32_t mode = 16384);
  // Records a file row of the given size without blocks, and then block rows of chosen
  // offsets, for layouts the client would not make.
  uint32_t add_file_row(const std::string& path, uint64_t size, uint32_t t_modify);
  void add_block_row(uint32_t id, const std::string& block, uint64_t offset);

  // Writes the end-of-run statistics, closes the catalog and returns its bytes.
  std::string finish();

  // The distinct blocks recorded so far, by their bytes.
  const std::vector<std::string>& blocks() const { return blocks_; }
  uint32_t files() const { return files_; }
  uint32_t directories() const { return directories_; }
  uint64_t bytes() const { return bytes_; }

 private:
  void keep(const std::string& block);

  corvio::test::TestWorld world_;
  Context ctx_;
  BackupSession session_;
  Catalog catalog_;
  std::vector<std::string> blocks_;
  std::map<std::string, bool> kept_;
  uint32_t files_ = 0;
  uint32_t directories_ = 0;
  uint64_t bytes_ = 0;
};

// Puts the run into store as catalog catalog_id of login: every block in blocks, each
// referenced, then the catalog as one more block and the end-of-run record. The record's end
// time is end_time.
void put_run(Store& store, const std::string& login, uint32_t catalog_id,
             const std::vector<std::string>& blocks, const std::string& catalog,
             const RunBuilder& run, uint32_t end_time);

// Bytes that zlib cannot shrink, and bytes that it can.
std::string noise(size_t n, uint32_t seed);
std::string text(size_t n, uint32_t seed);

}  // namespace corvio::server::test
