// SPDX-License-Identifier: Apache-2.0
// The session without a server: closed-session primitives, a refused connection, the pause
// point and the TLS context's trust file.
#include "net/connection.h"

#include <gtest/gtest.h>

#include "base/backup_session.h"
#include "engine/pause_point.h"
#include "net/tls_context.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using Statuses = std::vector<std::string>;

struct ClosedSession : ::testing::Test {
  ClosedSession() {
    world.attach_view();
    run.profile = std::make_unique<Profile>();
    run.profile->server = "127.0.0.1";
    run.profile->port = 1;  // nothing listens there: the connection is refused
    EXPECT_EQ(tls.init(world.ctx), 0);
  }
  test::TestWorld world;
  TlsContext tls;
  BackupSession run;
  Connection session{world.ctx, world.display, tls, run};
};

TEST_F(ClosedSession, PrimitivesFailWithoutCountingAndQuitIsHarmless) {
  char buf[8];
  EXPECT_EQ(session.send("\x80\x00"), -1);
  EXPECT_EQ(session.recv(buf, sizeof buf), -1);
  EXPECT_EQ(run.net_tx_bytes, 0u);
  EXPECT_EQ(session.quit(), 0);
  EXPECT_EQ(session.quit(), 0);
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_F(ClosedSession, RefusedConnectionStatuses) {
  EXPECT_EQ(session.login(), 1);
  EXPECT_EQ(world.view.statuses(), Statuses({"Connecting...", "Connect Failed!"}));
  EXPECT_FALSE(run.connection);

  // The quiet attempt says nothing about connecting; the loop around it still counts down.
  world.clock.on_sleep = [&](uint32_t) {
    if (world.view.status() == "Reconnect Try #2 in 5s") run.cancel_requested = 1;
  };
  EXPECT_EQ(session.reconnect(), 1);
  EXPECT_EQ(world.view.statuses(),
            Statuses({"Connecting...", "Connect Failed!", "Reconnecting..", "Reconnect Failed!",
                      "Reconnect Try #2 in 5s", "Reconnect Try #2 in 4s"}));
}

TEST_F(ClosedSession, PausePointHoldsAndRestoresTheStatus) {
  wait_if_paused(world.ctx, run, session);  // not paused: no wait at all
  EXPECT_TRUE(world.clock.sleeps().empty());

  world.display.set_status_text("Kicking Butt!");
  run.pause_requested = 1;
  world.clock.on_sleep = [&](uint32_t) {
    if (world.clock.sleeps().size() == 5) run.pause_requested = 0;
  };
  wait_if_paused(world.ctx, run, session);
  EXPECT_EQ(world.clock.sleeps(), std::vector<uint32_t>(5, 100));
  EXPECT_EQ(world.view.statuses(), Statuses({"Kicking Butt!", "Paused...", "Kicking Butt!"}));

  // Cancelling ends a pause as well.
  run.pause_requested = 1;
  world.clock.on_sleep = [&](uint32_t) { run.cancel_requested = 1; };
  wait_if_paused(world.ctx, run, session);
  EXPECT_EQ(world.clock.sleeps().size(), 6u);
}

TEST(TlsContext, UnreadableTrustFileIsReportedAndLeftOut) {
  test::TestWorld world;
  test::write_file(world.dir.file(kTrustedCaFile), "-----BEGIN CERTIFICATE-----\nnot base64\n");
  TlsContext tls;
  EXPECT_EQ(tls.init(world.ctx), 0);
  EXPECT_NE(tls.get(), nullptr);
  ASSERT_EQ(world.messages.shown().size(), 1u);
  EXPECT_EQ(world.messages.shown()[0].title, "OpenSSL Init Error");
}

}  // namespace
}  // namespace corvio
