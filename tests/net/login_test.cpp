// SPDX-License-Identifier: Apache-2.0
// Opening the session against the reference server: greeting, login statuses, the retry loops
// and the certificate checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "net/messages.h"
#include "net/tls_io.h"
#include "server_fixture.h"

namespace corvio::test {
namespace {

using Statuses = std::vector<std::string>;

class Login : public ServerFixture {};

TEST_F(Login, SucceedsAndSendsTheLoginLayout) {
  login = std::string(32, 'k');  // fills its field without a terminator of its own
  ASSERT_TRUE(serve());
  EXPECT_EQ(session->login(), 0);
  EXPECT_EQ(world.view.statuses(), Statuses({"Connecting...", "Establishing SSL Session...",
                                             "Logging In...", "Login Successful!"}));
  EXPECT_TRUE(run.connection);
  ASSERT_EQ(trace().size(), 1u);
  // The server's trace shows the login message with its password field masked.
  const std::string sent = to_hex(protocol::encode_login(login, password));
  EXPECT_EQ(trace()[0], "1 " + sent.substr(0, 2 * 43) + std::string(2 * 32, 'x') + "00");
  EXPECT_EQ(trace()[0].substr(2 + 2 * 42, 2), "00");
  EXPECT_EQ(trace()[0].find(to_hex(password)), std::string::npos);
  EXPECT_TRUE(world.messages.shown().empty());

  EXPECT_EQ(session->quit(), 0);
  EXPECT_EQ(session->quit(), 0);  // a second quit sends nothing
  EXPECT_FALSE(run.connection);
  EXPECT_EQ(trace_of("000f"), Statuses({"1 000f"}));
  EXPECT_EQ(run.net_tx_bytes, 76u + 2u);
  EXPECT_GE(run.net_rx_bytes, 10u + 3u);
}

TEST_F(Login, ShortGreetingIsAServerErrorAndQuits) {
  ASSERT_TRUE(serve({"greeting=short"}));
  EXPECT_EQ(session->login(), 1);
  EXPECT_EQ(world.view.statuses().back(), "Server Error!");
  EXPECT_FALSE(run.connection);
  EXPECT_EQ(trace(), Statuses({"1 000f"}));
}

TEST_F(Login, GreetingWithAWrongCodeIsAServerError) {
  ASSERT_TRUE(serve({"greeting=badcode"}));
  EXPECT_EQ(session->login_quiet(), 1);
  EXPECT_EQ(world.view.statuses(), Statuses({"Establishing SSL Session...", "Server Error!"}));
  EXPECT_EQ(trace(), Statuses({"1 000f"}));
}

TEST_F(Login, OtherStatusLogsInSilently) {
  ASSERT_TRUE(serve({"login=01"}));
  EXPECT_EQ(session->login(), 0);
  EXPECT_EQ(world.view.statuses().back(), "Logging In...");
  EXPECT_TRUE(run.connection);
}

TEST_F(Login, BusyFailsWithoutQuitOrMessage) {
  ASSERT_TRUE(serve({"login=fe"}));
  EXPECT_EQ(session->login(), 1);
  EXPECT_EQ(world.view.statuses().back(), "Server Busy!");
  EXPECT_FALSE(run.connection);
  EXPECT_TRUE(world.messages.shown().empty());
  EXPECT_TRUE(trace_of("000f").empty());
}

TEST_F(Login, RefusedShowsTheMessageBoxOnlyOutsideReconnection) {
  ASSERT_TRUE(serve({"login=ff"}));
  EXPECT_EQ(session->login(), 1);
  EXPECT_EQ(world.view.statuses().back(), "Login Failed!");
  EXPECT_EQ(world.messages.shown(),
            std::vector<ShownMessage>({{"Login failed!", "Backup Failure"}}));
  EXPECT_FALSE(run.connection);

  world.messages.clear();
  EXPECT_EQ(session->login_quiet(), 1);
  EXPECT_EQ(world.view.statuses().back(), "Login Failed!");
  EXPECT_TRUE(world.messages.shown().empty());
  EXPECT_TRUE(trace_of("000f").empty());
}

TEST_F(Login, ReplySplitInTwoIsAServerError) {
  ASSERT_TRUE(serve({"split=login:1"}));
  EXPECT_EQ(session->login(), 1);
  EXPECT_EQ(world.view.statuses().back(), "Server Error!");
  EXPECT_EQ(session->login(), 0);  // the next attempt gets the reply whole
}

TEST_F(Login, ConnectRetryCountsDownAfterEachFailure) {
  settings.give_up_after = 3;  // busy replies are retried even where nobody watches
  ASSERT_TRUE(serve({"login=fe:3"}));
  EXPECT_EQ(session->connect_retry(), 0);
  Statuses all = world.view.statuses();
  const Statuses attempt = {"Connecting...", "Establishing SSL Session...", "Logging In..."};
  Statuses expected;
  auto add = [&](const Statuses& s) { expected.insert(expected.end(), s.begin(), s.end()); };
  const uint32_t waits[] = {5, 5, 10};
  for (uint32_t k = 1; k <= 3; ++k) {
    add(attempt);
    add({"Server Busy!", "Connection Failed!"});
    for (uint32_t n = waits[k - 1]; n >= 1; --n) {
      add({"Retry connect #" + std::to_string(k) + " in " + std::to_string(n) + "s"});
    }
    add({k == 1 ? std::string("Retry Connect..") : "Retry Connect #" + std::to_string(k) + ".."});
  }
  add(attempt);
  add({"Login Successful!"});
  EXPECT_EQ(all, expected);
  EXPECT_EQ(world.view.pause_changes, std::vector<bool>({false, true}));

  // Sleeps: 500 ms after each failure, a second per countdown step, then 500 ms after the
  // first attempt and 1000 + 500 ms after the later ones.
  std::vector<uint32_t> sleeps = world.clock.sleeps();
  std::vector<uint32_t> want;
  for (uint32_t k = 1; k <= 3; ++k) {
    want.push_back(500);
    want.insert(want.end(), waits[k - 1], 1000);
    if (k == 1) {
      want.push_back(500);
    } else {
      want.insert(want.end(), {1000, 500});
    }
  }
  EXPECT_EQ(sleeps, want);
}

TEST_F(Login, ReconnectCountsDownAndSaysReconnected) {
  ASSERT_TRUE(serve({"login=ff:1"}));
  EXPECT_EQ(session->reconnect(), 0);
  const Statuses expected = {
      "Reconnecting..",         "Establishing SSL Session...", "Logging In...",
      "Login Failed!",          "Reconnect Failed!",           "Reconnect Try #2 in 5s",
      "Reconnect Try #2 in 4s", "Reconnect Try #2 in 3s",      "Reconnect Try #2 in 2s",
      "Reconnect Try #2 in 1s", "Reconnecting #2..",           "Establishing SSL Session...",
      "Logging In...",          "Login Successful!",           "Reconnected!"};
  EXPECT_EQ(world.view.statuses(), expected);
  EXPECT_TRUE(world.messages.shown().empty());  // a refusal while reconnecting has no box
  EXPECT_EQ(world.view.pause_changes, std::vector<bool>({false, true}));
  EXPECT_EQ(world.clock.sleeps(),
            std::vector<uint32_t>({500, 500, 1000, 1000, 1000, 1000, 1000, 1000, 500, 1000}));
}

TEST_F(Login, CancelDuringACountdownEndsTheLoop) {
  ASSERT_TRUE(serve({"login=ff"}));
  size_t sleeps_at_cancel = 0;
  world.clock.on_sleep = [&](uint32_t) {
    if (world.view.status() == "Retry connect #4 in 3s" && !run.cancelled()) {
      run.cancel_requested = 1;
      sleeps_at_cancel = world.clock.sleeps().size();
    }
  };
  EXPECT_EQ(session->connect_retry(), 1);
  // Seen at the next second's test, without sleeping again.
  EXPECT_EQ(world.view.statuses().back(), "Retry connect #4 in 2s");
  EXPECT_EQ(world.clock.sleeps().size(), sleeps_at_cancel);
  EXPECT_EQ(world.view.pause_changes, std::vector<bool>({false}));  // stays disabled
  // With windows refusals go on; one box per refused first-connection attempt.
  EXPECT_EQ(world.messages.shown().size(), 4u);
  EXPECT_EQ(run.stop_reason, "");
  EXPECT_FALSE(run.connection);
}

TEST_F(Login, PauseDuringACountdownHoldsIt) {
  ASSERT_TRUE(serve({"login=fe:1"}));
  int pause_sleeps = 0;
  world.clock.on_sleep = [&](uint32_t ms) {
    if (world.view.status() == "Reconnect Try #2 in 4s" && ms == 1000 && pause_sleeps == 0) {
      run.pause_requested = 1;
    } else if (run.pause_requested && ++pause_sleeps == 30) {
      run.pause_requested = 0;
    }
  };
  EXPECT_EQ(session->reconnect(), 0);
  Statuses all = world.view.statuses();
  auto at = std::find(all.begin(), all.end(), "Paused...");
  ASSERT_NE(at, all.end());
  EXPECT_EQ(*(at - 1), "Reconnect Try #2 in 3s");
  EXPECT_EQ(*(at + 1), "Reconnect Try #2 in 3s");  // restored, then the countdown goes on
  EXPECT_EQ(*(at + 2), "Reconnect Try #2 in 2s");
  EXPECT_EQ(pause_sleeps, 30);
}

// Without windows, three refused logins since the last success end the retry loops; a success
// starts the count again. (Busy replies never end them: ConnectRetryCountsDownAfterEachFailure;
// with windows refusals go on: CancelDuringACountdownEndsTheLoop.)
TEST_F(Login, RefusedLoginsEndTheRetriesWhereNobodyWatches) {
  settings.give_up_after = 3;
  ASSERT_TRUE(serve({"login=ff:2"}));
  auto refusals = [&] {
    Statuses all = world.view.statuses();
    return std::count(all.begin(), all.end(), "Login Failed!");
  };
  EXPECT_EQ(session->connect_retry(), 0);
  EXPECT_EQ(refusals(), 2);
  EXPECT_EQ(world.messages.shown().size(), 2u);  // "Login failed!" for each refusal
  EXPECT_EQ(run.stop_reason, "");

  // Refused again while reconnecting: three more refusals, not one, end the loop.
  run.profile->password = "wrong";
  session->quit();
  EXPECT_EQ(session->reconnect(), 1);
  EXPECT_EQ(refusals(), 5);
  EXPECT_EQ(run.stop_reason, "Login failed! The server refused the login 3 times in a row.");
  EXPECT_TRUE(run.cancelled());
  EXPECT_EQ(world.messages.shown().size(), 2u);  // none while reconnecting
  EXPECT_EQ(world.view.pause_changes, std::vector<bool>({false, true, false}));
  EXPECT_EQ(world.view.statuses().back(), "Reconnect Failed!");
}

TEST_F(Login, UnverifiedCertificatesEndTheRetriesWhereNobodyWatches) {
  settings.give_up_after = 3;
  trust_ca = false;
  ASSERT_TRUE(serve());
  EXPECT_EQ(session->connect_retry(), 1);
  Statuses all = world.view.statuses();
  EXPECT_EQ(std::count(all.begin(), all.end(), "SSL Session Failed!"), 3);
  EXPECT_TRUE(run.stop_reason.starts_with(
      "The server's certificate was not accepted 3 times in a row: "))
      << run.stop_reason;
  EXPECT_EQ(world.messages.shown().size(), 1u);  // the reason, once per run
  EXPECT_TRUE(trace().empty());
}

TEST_F(Login, CertificateFromAnUntrustedAuthorityIsRefusedWithOneMessage) {
  trust_ca = false;
  ASSERT_TRUE(serve());
  int attempts = 0;
  world.clock.on_sleep = [&](uint32_t) {
    if (world.view.status() == "Connection Failed!" && ++attempts == 3) run.cancel_requested = 1;
  };
  EXPECT_EQ(session->connect_retry(), 1);
  EXPECT_EQ(attempts, 3);
  Statuses all = world.view.statuses();
  EXPECT_EQ(std::count(all.begin(), all.end(), "SSL Session Failed!"), 3);
  std::vector<ShownMessage> shown = world.messages.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Connect Error");
  EXPECT_NE(shown[0].text.find("certificate"), std::string::npos) << shown[0].text;
  EXPECT_TRUE(trace().empty());  // nothing was sent to an unverified server
}

TEST_F(Login, CertificateForAnotherHostIsRefused) {
  cert_host = "backup.example.org";
  ASSERT_TRUE(serve());
  EXPECT_EQ(session->login(), 1);
  EXPECT_EQ(world.view.statuses().back(), "SSL Session Failed!");
  ASSERT_EQ(world.messages.shown().size(), 1u);
  EXPECT_NE(world.messages.shown()[0].text.find("mismatch"), std::string::npos)
      << world.messages.shown()[0].text;
  EXPECT_TRUE(trace().empty());
}

// Frees descriptor 0 for the lifetime of the guard, as in a process started with its standard
// input closed, and puts standard input back afterwards.
class StandardInputClosed {
 public:
  StandardInputClosed() : saved_(dup(0)) { close(0); }
  ~StandardInputClosed() {
    dup2(saved_, 0);
    close(saved_);
  }

 private:
  int saved_;
};

TEST_F(Login, ConnectionOnDescriptorZeroIsUsable) {
  ASSERT_TRUE(serve());
  int rc = 1;
  long fd = -1;
  {
    StandardInputClosed guard;
    rc = session->login();
    if (run.connection) fd = tls_socket_fd(*run.connection);
    session->quit();
  }
  EXPECT_EQ(fd, 0);  // the case under test: the socket really got descriptor 0
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(world.view.statuses().back(), "Login Successful!");
  EXPECT_TRUE(world.messages.shown().empty());
  EXPECT_EQ(trace_of("000f"), Statuses({"1 000f"}));
}

TEST_F(Login, BarePrimitivesUseTheirOwnConnectionAndTimeOut) {
  ASSERT_TRUE(serve({"silent=login:1"}));
  TlsSocketPtr socket = tls_new_socket("localhost", server->port());
  ASSERT_TRUE(socket);
  ASSERT_TRUE(tls_connect_socket(socket.get()));
  Handshake hs = tls_handshake(tls, std::move(socket), "localhost", 3000);
  ASSERT_TRUE(hs.connection);
  char buf[1024];
  EXPECT_GE(tls_recv(hs.connection.get(), buf, sizeof buf, world.messages, 3000), 10);
  const std::string m = protocol::encode_login(login, password);
  EXPECT_EQ(tls_send(hs.connection.get(), m.data(), m.size(), world.messages, 3000), 76);
  EXPECT_EQ(tls_recv(hs.connection.get(), buf, sizeof buf, world.messages, 200), -1);
  EXPECT_EQ(tls_send(nullptr, m.data(), m.size(), world.messages, 200), -1);
  EXPECT_EQ(run.net_tx_bytes, 0u);  // only the session forms count
  EXPECT_TRUE(world.messages.shown().empty());
}

}  // namespace
}  // namespace corvio::test
