// SPDX-License-Identifier: Apache-2.0
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/loopback.h"

namespace corvio::test {

LoopbackPair::LoopbackPair() {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ADD_FAILURE() << "cannot listen on the loopback interface";
    if (listener >= 0) ::close(listener);
    return;
  }
  client_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(client_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ADD_FAILURE() << "cannot connect on the loopback interface";
  }
  server_ = ::accept(listener, nullptr, nullptr);
  ::close(listener);
}

LoopbackPair::~LoopbackPair() {
  close_client();
  close_server();
}

bool LoopbackPair::send_from_server(std::string_view bytes) {
  return ::send(server_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
}

void LoopbackPair::close_server() {
  if (server_ >= 0) ::close(server_);
  server_ = -1;
}

void LoopbackPair::close_client() {
  if (client_ >= 0) ::close(client_);
  client_ = -1;
}

}  // namespace corvio::test
