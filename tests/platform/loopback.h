// SPDX-License-Identifier: Apache-2.0
// A connected pair of TCP sockets over the loopback interface, for the socket wait tests; one
// implementation per platform (posix/, win32/). Closed when it goes.
#pragma once

#include <string_view>

namespace corvio::test {

class LoopbackPair {
 public:
  LoopbackPair();  // fails the current test when the pair cannot be made
  ~LoopbackPair();
  LoopbackPair(const LoopbackPair&) = delete;
  LoopbackPair& operator=(const LoopbackPair&) = delete;

  // The client's descriptor, as the TLS library reports it.
  int client() const { return client_; }
  // Sends bytes from the server's end; false on failure.
  bool send_from_server(std::string_view bytes);
  void close_server();
  void close_client();

 private:
  int client_ = -1;
  int server_ = -1;
};

}  // namespace corvio::test
