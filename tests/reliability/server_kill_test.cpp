// SPDX-License-Identifier: Apache-2.0
// corvio-server killed with SIGKILL just after it received a given message of a run, and
// started again at once on the same store and port. The client's run rides out the outage
// through its reconnect loop and completes; the run acknowledged before the kill and the one
// completed after it both restore, and the whole store verifies.
#include "kill_scenario.h"

namespace corvio::test {
namespace {

struct ServerKillPoint {
  const char* name;
  MessagePoint message;
};

class ServerKillTest : public KillScenario,
                       public ::testing::WithParamInterface<ServerKillPoint> {};

TEST_P(ServerKillTest, RunSurvivesTheRestartAndEveryAcknowledgedRunRestores) {
  change_tree();
  const auto second_tree = tree_of(source());
  const int port = server->port();
  proxy->arm(at(GetParam().message), [this, port] {
    ASSERT_TRUE(server->kill_now());
    server = std::make_unique<ServerProcess>(std::vector<std::string>{
        "--store", store(), "--listen", "127.0.0.1:" + std::to_string(port), "--trace", trace()});
  });

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_NE(proxy->fired_line(), "") << "the kill point was not reached";
  EXPECT_EQ(server->port(), port) << server->error_output();
  EXPECT_EQ(session.stats.errors, 0u);
  expect_restores(catalogs.front(), first_tree);
  expect_restores(catalogs.back(), second_tree);
  expect_verifies();
}

constexpr After kStart = After::kRunStart;
constexpr After kNewFile = After::kStoreOfNewFile;
constexpr After kCatalog = After::kStoreOfCatalog;

const ServerKillPoint kPoints[] = {
    {"AfterLogin", {kStart, "0008", 1}},
    {"AfterCatalogNumberRequest", {kStart, "0221", 1}},
    {"AfterFirstQuery", {kStart, "8000", 1}},
    {"AfterFirstReference", {kStart, "801e", 1}},
    {"BetweenAStoreAndItsReply", {kNewFile, nullptr, 0}},
    {"MidPayload", {kNewFile, "8012", 2}},
    {"AfterTheLastChunkBeforeStored", {kNewFile, "8012", 3}},
    {"CatalogStore", {kCatalog, nullptr, 0}},
    {"CatalogPayload", {kCatalog, "8012", 1}},
    {"BeforeTheEndOfRunReply", {kStart, "0223", 1}},
};

INSTANTIATE_TEST_SUITE_P(Points, ServerKillTest, ::testing::ValuesIn(kPoints),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvio::test
