// SPDX-License-Identifier: Apache-2.0
// The limits of `serve`, with their defaults. Every one is there so that no client, however
// hostile, makes the server hold more than a bounded amount of memory, threads or time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

#include "block.h"
#include "login_throttle.h"

namespace corvio::server {

struct ServerOptions {
  // Most connections served at once; a connection beyond them is closed as soon as it is
  // accepted, and logged.
  size_t max_connections = 64;
  // From the accepted connection to the end of the TLS handshake, and from there to a whole
  // login message; a connection that takes longer is closed.
  std::chrono::milliseconds handshake_timeout{10000};
  std::chrono::milliseconds login_timeout{10000};
  // A client that says nothing for this long once logged in, or whose replies wait this long
  // for it to read them, is disconnected.
  int idle_timeout_seconds = 600;
  // The largest block taken above kBlockSize, that is the largest catalog.
  uint32_t max_catalog = kDefaultMaxCatalog;
  LoginThrottle::Policy login_throttle;
  // Starts the thread of one connection. Tests replace it to see a failure to start one
  // handled; it throws std::system_error then, as std::thread does.
  std::function<std::thread(std::function<void()>)> start_thread = [](std::function<void()> body) {
    return std::thread(std::move(body));
  };
};

}  // namespace corvio::server
