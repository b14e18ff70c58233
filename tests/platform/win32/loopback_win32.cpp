// SPDX-License-Identifier: Apache-2.0
#include <winsock2.h>

#include <gtest/gtest.h>

#include "platform/loopback.h"

namespace corvio::test {
namespace {

// Winsock wants one start before the first socket; the tests never stop it.
bool winsock_started() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

void close_socket(int* s) {
  if (*s != -1) ::closesocket(static_cast<SOCKET>(*s));
  *s = -1;
}

}  // namespace

LoopbackPair::LoopbackPair() {
  if (!winsock_started()) {
    ADD_FAILURE() << "WSAStartup failed";
    return;
  }
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  if (listener == INVALID_SOCKET ||
      ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ADD_FAILURE() << "cannot listen on the loopback interface: " << ::WSAGetLastError();
    if (listener != INVALID_SOCKET) ::closesocket(listener);
    return;
  }
  SOCKET client = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ADD_FAILURE() << "cannot connect on the loopback interface: " << ::WSAGetLastError();
  }
  SOCKET server = ::accept(listener, nullptr, nullptr);
  ::closesocket(listener);
  client_ = client == INVALID_SOCKET ? -1 : static_cast<int>(client);
  server_ = server == INVALID_SOCKET ? -1 : static_cast<int>(server);
}

LoopbackPair::~LoopbackPair() {
  close_client();
  close_server();
}

bool LoopbackPair::send_from_server(std::string_view bytes) {
  return ::send(static_cast<SOCKET>(server_), bytes.data(), static_cast<int>(bytes.size()), 0) ==
         static_cast<int>(bytes.size());
}

void LoopbackPair::close_server() { close_socket(&server_); }
void LoopbackPair::close_client() { close_socket(&client_); }

}  // namespace corvio::test
