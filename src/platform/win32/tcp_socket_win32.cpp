// SPDX-License-Identifier: Apache-2.0
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <memory>

#include "platform/tcp_socket.h"

namespace corvio {
namespace {

// Winsock must be started once per process before its first call; it stays up until exit.
bool winsock_started() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

struct AddrinfoFree {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

int clamp_int(size_t n) { return static_cast<int>(n > INT_MAX ? INT_MAX : n); }

}  // namespace

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

void TcpSocket::close() {
  if (valid()) ::closesocket(static_cast<SOCKET>(handle_));
  handle_ = kNone;
}

TcpSocket tcp_connect(const std::string& host, uint16_t port) {
  if (!winsock_started()) return TcpSocket();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* raw = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &raw) != 0) {
    return TcpSocket();
  }
  std::unique_ptr<addrinfo, AddrinfoFree> list(raw);
  for (const addrinfo* a = list.get(); a; a = a->ai_next) {
    TcpSocket s(static_cast<intptr_t>(::socket(a->ai_family, a->ai_socktype, a->ai_protocol)));
    if (!s.valid()) continue;  // INVALID_SOCKET is kNone
    if (::connect(static_cast<SOCKET>(s.fd()), a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      continue;
    }
    // Every message is one write that the other side waits for before it answers.
    BOOL on = TRUE;
    ::setsockopt(static_cast<SOCKET>(s.fd()), IPPROTO_TCP, TCP_NODELAY,
                 reinterpret_cast<const char*>(&on), sizeof on);
    return s;
  }
  return TcpSocket();
}

long tcp_send(int fd, const void* data, size_t n) {
  const int rc = ::send(static_cast<SOCKET>(fd), static_cast<const char*>(data), clamp_int(n), 0);
  if (rc >= 0) return rc;
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? kTcpWouldBlock : -1;
}

long tcp_recv(int fd, void* buffer, size_t n) {
  const int rc = ::recv(static_cast<SOCKET>(fd), static_cast<char*>(buffer), clamp_int(n), 0);
  if (rc >= 0) return rc;
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? kTcpWouldBlock : -1;
}

}  // namespace corvio
