// SPDX-License-Identifier: Apache-2.0
// What the serving loop and the session of one connection share: the connection's deadline,
// which the loop's watchdog enforces by cutting the socket once it has passed, and the server's
// stop, which ends the session's waits. Safe from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace corvio::server {

class ConnectionControl {
 public:
  using Clock = std::chrono::steady_clock;

  // The connection must reach its next step (the end of the handshake, a login) within d.
  void set_deadline(Clock::duration d);
  void clear_deadline();
  // For the watchdog: true, once, when the deadline has passed; the caller then cuts the socket.
  bool expire_if_due(Clock::time_point now);
  // True when the deadline passed and the socket was cut for it.
  bool timed_out() const;

  // Waits for d, or less when the server stops. False when it stopped.
  bool wait(Clock::duration d);
  void stop();

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::optional<Clock::time_point> deadline_;
  bool timed_out_ = false;
  bool stopped_ = false;
};

}  // namespace corvio::server
