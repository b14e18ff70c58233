// SPDX-License-Identifier: Apache-2.0
#include "kill_scenario.h"

#include <filesystem>

#include "platform/directories.h"
#include "profile/profile_db.h"
#include "support/sql_rows.h"
#include "util/md5_hex.h"

namespace corvio::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBlock = 1048576;

// Compressible bytes, so that a block of them is a payload of one chunk.
std::string text_bytes(size_t size, char seed) {
  std::string bytes;
  while (bytes.size() < size)
    bytes += std::string("line of ") + seed + " " + std::to_string(bytes.size()) + "\n";
  bytes.resize(size);
  return bytes;
}

}  // namespace

std::string KillScenario::new_file_bytes() { return pattern(10000, 7); }

void KillScenario::SetUp() {
  write_file(source("a.txt"), "first version");
  write_file(source("big.bin"), text_bytes(kBlock + 5000, 'b'));
  fs::create_directories(source("sub/deeper"));
  write_file(source("sub/c.bin"), pattern(6000, 3));
  write_file(source("sub/deeper/d.txt"), text_bytes(300, 'd'));
  trace_path = trace();
  ASSERT_TRUE(serve());
  proxy = std::make_unique<RelayProxy>(server->port(), trace());
  ASSERT_NE(proxy->port(), 0);
  profile.port = static_cast<uint16_t>(proxy->port());
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  first_tree = tree_of(source());
  for (const auto& [name, bytes] : first_tree) {
    for (size_t at = 0; at < bytes.size(); at += kBlock)
      file_blocks.insert(
          md5_to_hex(md5_digest(bytes.data() + at, std::min(kBlock, bytes.size() - at))));
  }
  clock.advance_ms(3600 * 1000);
}

void KillScenario::change_tree() {
  write_file(source("a.txt"), "second, longer version");
  write_file(source("big.bin"), text_bytes(kBlock + 9000, 'B'));
  write_file(source("new.bin"), new_file_bytes());
  fs::create_directories(source("sub/e"));
  write_file(source("sub/e/f.bin"), pattern(5000, 9));
  for (const auto& [name, bytes] : tree_of(source())) {
    for (size_t at = 0; at < bytes.size(); at += kBlock)
      file_blocks.insert(
          md5_to_hex(md5_digest(bytes.data() + at, std::min(kBlock, bytes.size() - at))));
  }
}

std::function<bool(const std::string&)> KillScenario::at(const MessagePoint& point) const {
  const std::string new_file =
      md5_to_hex(md5_digest(new_file_bytes().data(), new_file_bytes().size()));
  auto started = std::make_shared<bool>(point.after == After::kRunStart);
  auto count = std::make_shared<int>(0);
  const std::set<std::string> blocks = file_blocks;
  return [=](const std::string& line) {
    const std::string hex = line.substr(line.find(' ') + 1);
    const std::string code = hex.substr(0, 4);
    if (!*started) {
      if (code != "8010") return false;
      const std::string md5 = hex.substr(4, 32);
      *started = point.after == After::kStoreOfNewFile ? md5 == new_file : !blocks.count(md5);
      return *started && point.code == nullptr;
    }
    return point.code != nullptr && code == point.code && ++*count == point.nth;
  };
}

void KillScenario::expect_restores(uint32_t catalog,
                                   const std::map<std::string, std::string>& tree) {
  std::string to, err;
  ASSERT_EQ(restore(catalog, &to, &err), 0) << "catalog " << catalog << ": " << err;
  EXPECT_EQ(tree_difference(tree, tree_of(to + source())), "") << "catalog " << catalog;
}

void KillScenario::expect_verifies(uint32_t catalog) {
  std::vector<std::string> args = {"verify", "--store", store()};
  if (catalog != 0) args.insert(args.end(), {"--catalog", std::to_string(catalog)});
  std::string out, err;
  EXPECT_EQ(run_server_command(args, "", &out, &err), 0) << out << err;
}

void KillScenario::expect_databases_usable() {
  std::vector<std::string> dbs = {ctx.style.join(ctx.data_dir, "md5cache.dat"),
                                  ctx.style.join(ctx.data_dir, "corvio.dat"),
                                  profile_db_path(ctx, profile.tag)};
  for (const auto& entry : fs::directory_iterator(ctx.profile_dir(profile.tag))) {
    if (entry.path().extension() == ".cat") dbs.push_back(entry.path().string());
  }
  for (const std::string& db : dbs) {
    EXPECT_EQ(sql_rows(db, "pragma integrity_check"), (std::vector<SqlRow>{{"ok"}})) << db;
  }
}

}  // namespace corvio::test
