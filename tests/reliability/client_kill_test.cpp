// SPDX-License-Identifier: Apache-2.0
// The client killed with SIGKILL at many points of a run. The run is a forked copy of this
// process running backup_worker: it dies by its own hand at local events (a directory
// lookup, a file read, a write of SQLite to one of its databases), or the relay kills it just
// after the server received a given message, before the reply reaches it. The profile is then
// run again here, with one block of an unchanged (cached) file lost from the store first.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kill_scenario.h"
#include "sqlite_kill_switch.h"
#include "util/md5_hex.h"

namespace corvio::test {
namespace {

enum class Event { kMessage, kLookup, kRead, kDatabaseWrite };

struct ClientKillPoint {
  const char* name;
  Event event;
  MessagePoint message;   // kMessage
  const char* path_part;  // the others: a part of the path the event is about ("" any)
  int nth;                // the others: which such event
};

class ClientKillTest : public KillScenario, public ::testing::WithParamInterface<ClientKillPoint> {
 protected:
  // The child's part: arm its own death at the point, run, report how it ended.
  [[noreturn]] void run_child(const ClientKillPoint& p) {
    auto countdown = [part = std::string(p.path_part),
                      left = p.nth](const std::string& path) mutable {
      if (path.find(part) != std::string::npos && --left == 0) ::raise(SIGKILL);
    };
    if (p.event == Event::kLookup) fs.on_find = countdown;
    if (p.event == Event::kRead) fs.on_read = countdown;
    if (p.event == Event::kDatabaseWrite) kill_at_sqlite_write(p.path_part, p.nth);
    const bool opened = cache->open() == 0;
    _exit(opened && run() == RunOutcome::kCompleted ? 0 : 1);
  }
};

TEST_P(ClientKillTest, NextRunCompletesAndRestoresAndNoDatabaseIsLeftUnusable) {
  const ClientKillPoint& p = GetParam();
  change_tree();
  const auto second_tree = tree_of(source());

  cache->close();  // the child opens its own connection
  pid_t child = -1;
  if (p.event == Event::kMessage) proxy->arm(at(p.message), [&child] { ::kill(child, SIGKILL); });
  child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) run_child(p);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "the kill point was not reached; the run ended with status " << status;
  if (p.event == Event::kMessage) {
    EXPECT_NE(proxy->fired_line(), "");
  }
  proxy->arm(nullptr, nullptr);

  expect_databases_usable();
  // The MD5 cache still knows sub/c.bin; with its block gone, the cache must not make the
  // next run take the block as held.
  const std::string c = read_file(source("sub/c.bin"));
  lose_block(md5_to_hex(md5_digest(c.data(), c.size())), static_cast<uint32_t>(c.size()));

  ASSERT_EQ(cache->open(), 0);
  messages.clear();
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(session.stats.errors, 0u);
  EXPECT_NE(log_text().find(source("sub/c.bin") + " : 6000 : File (A)  upload... OK\n"),
            std::string::npos)
      << log_text();
  expect_restores(catalogs.back(), second_tree);
  expect_verifies(catalogs.back());
  expect_databases_usable();
}

constexpr After kStart = After::kRunStart;
constexpr After kNewFile = After::kStoreOfNewFile;
constexpr After kCatalog = After::kStoreOfCatalog;

const ClientKillPoint kPoints[] = {
    // The walk.
    {"WalkAtTheSecondLookup", Event::kLookup, {}, "", 2},
    {"WalkAtTheSeventhLookup", Event::kLookup, {}, "", 7},
    {"WalkInASubdirectory", Event::kLookup, {}, "/sub/e", 1},
    // Reading files: the first read, the second block of a file, the catalog before upload.
    {"FirstFileRead", Event::kRead, {}, "", 1},
    {"MidFileBetweenItsBlocks", Event::kRead, {}, "big.bin", 2},
    {"ReadingTheCatalogForUpload", Event::kRead, {}, ".cat", 1},
    // SQLite writing the run's catalog and the MD5 cache (its flush after the walk).
    {"FirstCatalogWrite", Event::kDatabaseWrite, {}, ".cat", 1},
    {"MidCatalogWrites", Event::kDatabaseWrite, {}, ".cat", 5},
    {"LateCatalogWrite", Event::kDatabaseWrite, {}, ".cat", 12},
    {"FirstMd5CacheWrite", Event::kDatabaseWrite, {}, "md5cache.dat", 1},
    {"MidMd5CacheFlush", Event::kDatabaseWrite, {}, "md5cache.dat", 3},
    // Messages the server received, the reply still on its way.
    {"AfterLogin", Event::kMessage, {kStart, "0008", 1}, "", 0},
    {"AfterCatalogNumberRequest", Event::kMessage, {kStart, "0221", 1}, "", 0},
    {"AfterFirstQuery", Event::kMessage, {kStart, "8000", 1}, "", 0},
    {"AfterFirstReference", Event::kMessage, {kStart, "801e", 1}, "", 0},
    {"BetweenAStoreAndItsReply", Event::kMessage, {kNewFile, nullptr, 0}, "", 0},
    {"MidPayload", Event::kMessage, {kNewFile, "8012", 2}, "", 0},
    {"AfterTheLastChunkBeforeStored", Event::kMessage, {kNewFile, "8012", 3}, "", 0},
    {"CatalogStore", Event::kMessage, {kCatalog, nullptr, 0}, "", 0},
    {"CatalogPayload", Event::kMessage, {kCatalog, "8012", 1}, "", 0},
    {"BeforeTheEndOfRunReply", Event::kMessage, {kStart, "0223", 1}, "", 0},
};

INSTANTIATE_TEST_SUITE_P(Points, ClientKillTest, ::testing::ValuesIn(kPoints),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvio::test
