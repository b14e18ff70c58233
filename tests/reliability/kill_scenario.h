// SPDX-License-Identifier: Apache-2.0
// The run the kill tests interrupt. SetUp backs a small tree up once (run 1, completed and
// acknowledged) through a RelayProxy; change_tree() then changes it so that the next run reads
// changed and new files, stores new blocks, references unchanged ones and uploads a catalog:
// every step a kill can land in. The tests stop that run at one point, run the profile again
// and check what a user would: the runs restore byte for byte, the store verifies, and the
// local databases still open.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "engine/engine_fixture.h"
#include "relay_proxy.h"

namespace corvio::test {

// Where in the stream of client messages to stop: the nth message of a code (four hex digits,
// as the server's trace writes them: "8000" query, "8010" store, "8012" payload chunk, "801e"
// reference, "0223" end of run, ...), counted from the start of the run or from the store of a
// given block; with no code, the store itself.
enum class After { kRunStart, kStoreOfNewFile, kStoreOfCatalog };
struct MessagePoint {
  After after;
  const char* code;
  int nth;
};

class KillScenario : public EngineFixture {
 protected:
  void SetUp() override;
  void change_tree();

  // A trigger for RelayProxy::arm that fires at the point.
  std::function<bool(const std::string&)> at(const MessagePoint& point) const;

  // Both checked with EXPECT; a restore compares the restored source tree with tree.
  void expect_restores(uint32_t catalog, const std::map<std::string, std::string>& tree);
  void expect_verifies(uint32_t catalog = 0);  // 0: every finished run
  // Every database the client keeps passes SQLite's integrity check.
  void expect_databases_usable();

  std::string trace() const { return dir.file("trace"); }
  // The new file of change_tree(): one block of three payload chunks.
  static std::string new_file_bytes();

  std::map<std::string, std::string> first_tree;  // what run 1 backed up
  std::set<std::string> file_blocks;              // MD5 (hex) of every block of both trees
  std::unique_ptr<RelayProxy> proxy;
};

}  // namespace corvio::test
