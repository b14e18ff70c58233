// SPDX-License-Identifier: Apache-2.0
// The contract of the socket waits, built for every platform, over a loopback connection.
// The transport tests cancel_requested between waits, so a wait must end by its time-out and
// must end early when the peer sends or hangs up.
#include "platform/socket_wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/loopback.h"

namespace corvio {
namespace {

TEST(SocketWaitContract, WaitsEndByTheirTimeOutOrEarlyWhenThePeerActs) {
  Clock& clock = system_clock();
  test::LoopbackPair pair;
  ASSERT_NE(pair.client(), -1);
  ignore_broken_pipe();
  EXPECT_EQ(wait_socket(pair.client(), SocketEvent::Writable, 1000), WaitResult::Ready);

  // A silent peer: the wait gives up after its time-out, so a cancel is seen in time.
  int64_t start = clock.now_ms();
  EXPECT_EQ(wait_socket(pair.client(), SocketEvent::Readable, 200), WaitResult::TimedOut);
  int64_t waited = clock.now_ms() - start;
  EXPECT_GE(waited, 200 - 16);
  EXPECT_LT(waited, 2000);

  // Data arriving during the wait ends it at once.
  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(pair.send_from_server("x"));
  });
  start = clock.now_ms();
  EXPECT_EQ(wait_socket(pair.client(), SocketEvent::Readable, 10000), WaitResult::Ready);
  EXPECT_LT(clock.now_ms() - start, 5000);
  sender.join();

  EXPECT_TRUE(set_socket_blocking(pair.client(), false));
  EXPECT_TRUE(set_socket_blocking(pair.client(), true));

  // A peer that hangs up makes the socket ready: the read that follows reports the end.
  pair.close_server();
  EXPECT_EQ(wait_socket(pair.client(), SocketEvent::Readable, 10000), WaitResult::Ready);
}

TEST(SocketWaitContract, AClosedSocketFailsInsteadOfWaiting) {
  test::LoopbackPair pair;
  const int closed = pair.client();
  ASSERT_NE(closed, -1);
  pair.close_client();
  EXPECT_EQ(wait_socket(closed, SocketEvent::Readable, 5000), WaitResult::Failed);
  EXPECT_FALSE(set_socket_blocking(closed, true));
}

}  // namespace
}  // namespace corvio
