// SPDX-License-Identifier: Apache-2.0
// The backup requests against the reference server: the numbers, the block query, and how each
// request survives a misbehaving server.
#include "net/requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "net/messages.h"
#include "server_fixture.h"

namespace corvio::test {
namespace {

using Requests = ServerFixture;

TEST_F(Requests, ProfileAndCatalogNumbers) {
  ASSERT_NO_FATAL_FAILURE(open());
  EXPECT_NE(run.profile_id, 0u);
  EXPECT_NE(run.catalog_id, 0u);
  Lines t = trace();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1], "1 " + to_hex(protocol::encode_profile_get("home")));
  EXPECT_EQ(t[2], "1 " + to_hex(protocol::encode_catalog_alloc(run.profile_id)));
  EXPECT_FALSE(contains(world.view.statuses(), "Reconnecting.."));
}

TEST_F(Requests, ExtraTrailingBytesAreIgnored) {
  ASSERT_NO_FATAL_FAILURE(open({"trailing=profile:1", "trailing=catalog:1"}));
  EXPECT_NE(run.catalog_id, 0u);
  for (const std::string& line : trace()) EXPECT_EQ(line[0], '1') << line;  // one connection
}

TEST_F(Requests, UnknownProfileEndsWithoutReconnecting) {
  ASSERT_TRUE(serve({"profile-unknown"}));
  ASSERT_EQ(session->login(), 0);
  EXPECT_EQ(request_profile_id(*session), 1);
  EXPECT_FALSE(run.connection);
  Lines t = trace();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[2], "1 000f");
  EXPECT_FALSE(contains(world.view.statuses(), "Reconnecting.."));
}

TEST_F(Requests, DroppedConnectionSendsTheSameRequestAgain) {
  ASSERT_NO_FATAL_FAILURE(open({"drop=3:1"}));  // after the catalog request
  Lines again = trace_of("0221");
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0], "1 " + to_hex(protocol::encode_catalog_alloc(run.profile_id)));
  EXPECT_EQ(again[1], "2" + again[0].substr(1));
  Lines st = world.view.statuses();
  EXPECT_TRUE(contains(st, "Reconnected!"));
  EXPECT_FALSE(contains(st, "Allocating Catalog ID..."));  // only after a refusal
}

TEST_F(Requests, RefusedCatalogIsAskedForAgain) {
  ASSERT_NO_FATAL_FAILURE(open({"catalog-refuse=2"}));
  EXPECT_EQ(trace_of("0221").size(), 3u);
  Lines st = world.view.statuses();
  EXPECT_EQ(std::count(st.begin(), st.end(), "Allocating Catalog ID..."), 2);
  EXPECT_EQ(st.back(), "Allocating Catalog ID...");
}

TEST_F(Requests, SilentServerTimesOutAndTheRequestIsRepeated) {
  settings.session_timeout_ms = 1500;  // the silence lasts one time-out
  ASSERT_NO_FATAL_FAILURE(open({"silent=profile:1"}));
  Lines again = trace_of("0102");
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[1], "2" + again[0].substr(1));
  Lines st = world.view.statuses();
  EXPECT_EQ(*std::find(st.begin(), st.end(), "Reconnected!"), "Reconnected!");
  EXPECT_TRUE(contains(st, "Retrieving Profile ID..."));
}

TEST_F(Requests, SplitReplyFailsTheExchange) {
  ASSERT_NO_FATAL_FAILURE(open({"split=query:1"}));
  const std::string block = random_bytes(100, 1);
  EXPECT_EQ(seg_query(*session, md5(block), 100), 1);
  Lines q = trace_of("8000");
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0], "1 " + to_hex(protocol::encode_seg_query(md5(block), 100)));
  EXPECT_EQ(q[1], "2" + q[0].substr(1));
  EXPECT_EQ(world.view.statuses().back(), "Kicking Butt!");
}

TEST_F(Requests, FailedWriteIsStillCounted) {
  ASSERT_TRUE(serve({"drop=2:1"}));  // closes after the second client message
  ASSERT_EQ(session->login(), 0);
  const std::string request = protocol::encode_profile_get("home");
  ASSERT_GT(session->send(request), 0);
  char reply[1024];
  EXPECT_LE(session->recv(reply, sizeof reply), 0);
  uint64_t sent = 76 + request.size();
  EXPECT_EQ(run.net_tx_bytes, sent);

  // The first write after the close may still reach the socket's buffer; a later one fails.
  const std::string query = protocol::encode_seg_query(SegKey{}, 1);
  int rc = 1;
  for (int tries = 0; tries < 50 && rc > 0; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rc = session->send(query);
    sent += query.size();
  }
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(run.net_tx_bytes, sent);
}

}  // namespace
}  // namespace corvio::test
