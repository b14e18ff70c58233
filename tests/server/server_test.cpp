// SPDX-License-Identifier: Apache-2.0
// The serving loop run in this process, for what the program cannot be made to do on purpose:
// a connection whose thread cannot be started.
#include "server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <system_error>

#include "certificates.h"
#include "support/temp_dir.h"
#include "test_client.h"
#include "tls_context.h"

namespace corvio::server {
namespace {

class ServingLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("store");
    ASSERT_TRUE(Store::create(path, &error)) << error;
    ASSERT_TRUE(write_self_signed(path, "127.0.0.1", &error)) << error;
    store = Store::open(path, &error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->add_login("alice", "secret", &error)) << error;
    ctx = make_server_context(path + "/server.pem", path + "/server.key", &error);
    ASSERT_TRUE(ctx) << error;
    listener = Listener::open("127.0.0.1", "0", &error);
    ASSERT_TRUE(listener) << error;
    port = std::stoi(listener->address().substr(listener->address().rfind(':') + 1));
  }

  void start() {
    serving =
        std::thread([this] { Server(*store, ctx.get(), faults, nullptr, options).run(*listener); });
  }

  void TearDown() override {
    if (serving.joinable()) {
      listener->stop();
      serving.join();
    }
  }

  corvio::test::TempDir dir;
  std::string path;
  std::string error;
  std::unique_ptr<Store> store;
  SslCtxPtr ctx;
  std::unique_ptr<Listener> listener;
  int port = 0;
  Faults faults;
  ServerOptions options;
  std::thread serving;
};

TEST_F(ServingLoopTest, ConnectionWhoseThreadCannotStartIsClosedAndServingGoesOn) {
  std::atomic<int> starts{0};
  options.start_thread = [&](std::function<void()> body) {
    if (starts++ == 0) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                              "no thread for the test");
    }
    return std::thread(std::move(body));
  };
  start();
  {
    test::TestClient refused(port, path + "/ca.pem");
    EXPECT_FALSE(refused.ok());  // closed before its handshake
  }
  test::TestClient served(port, path + "/ca.pem");
  ASSERT_TRUE(served.ok()) << served.error();
  EXPECT_EQ(served.greet_and_login("alice", "secret"), 0);
  EXPECT_EQ(starts.load(), 2);
}

}  // namespace
}  // namespace corvio::server
