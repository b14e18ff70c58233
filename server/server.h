// SPDX-License-Identifier: Apache-2.0
// The serving loop: accepts connections and runs each in its own thread, until the listener is
// stopped; then cuts the open connections and waits for their threads. At most
// options.max_connections connections are served at once; one more is closed at once. A
// watchdog thread cuts the connections whose handshake or login is overdue. One log line per
// connection goes to standard error.
#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "connection_control.h"
#include "faults.h"
#include "login_throttle.h"
#include "os.h"
#include "server_options.h"
#include "store.h"
#include "trace.h"

namespace corvio::server {

class Server {
 public:
  Server(Store& store, SSL_CTX* ctx, Faults& faults, Trace* trace,
         const ServerOptions& options = ServerOptions())
      : store_(store),
        ctx_(ctx),
        faults_(faults),
        trace_(trace),
        options_(options),
        throttle_(options.login_throttle) {}

  // Serves until listener.accept() reports a stop. Returns when every connection has ended.
  // Throws std::system_error when the watchdog's thread cannot be started.
  void run(Listener& listener);

 private:
  struct Connection {
    int fd = -1;
    std::shared_ptr<ConnectionControl> control;
    std::thread thread;
  };
  void serve_connection(uint64_t number, int fd, const std::string& peer,
                        ConnectionControl& control);
  void reap_finished();
  void watch_deadlines();
  void refuse(int fd, const std::string& peer);  // lock held

  Store& store_;
  SSL_CTX* ctx_;
  Faults& faults_;
  Trace* trace_;
  const ServerOptions options_;
  LoginThrottle throttle_;
  std::mutex mu_;
  std::condition_variable watch_cv_;
  std::map<uint64_t, Connection> open_;  // by connection number
  std::vector<std::thread> finished_;    // threads done with their connection, to be joined
  bool stopping_ = false;
  // Refused connections: when the last refusal was logged, and how many since went unlogged.
  std::optional<std::chrono::steady_clock::time_point> refusal_logged_;
  uint64_t refusals_unlogged_ = 0;
};

}  // namespace corvio::server
