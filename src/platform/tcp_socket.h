// SPDX-License-Identifier: Apache-2.0
// A TCP connection to a server, for a TLS layer that does its own record work over the raw
// socket (the Windows build; OpenSSL's socket objects do this themselves elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvio {

// Owns one socket and closes it when it goes. Used by one thread at a time.
class TcpSocket {
 public:
  TcpSocket() = default;
  explicit TcpSocket(intptr_t handle) : handle_(handle) {}
  TcpSocket(TcpSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  ~TcpSocket() { close(); }

  bool valid() const { return handle_ != kNone; }
  // The descriptor for the socket waits (socket_wait.h), -1 when there is none.
  int fd() const { return valid() ? static_cast<int>(handle_) : -1; }

 private:
  static constexpr intptr_t kNone = -1;
  void close();
  intptr_t handle_ = kNone;
};

// Resolves host and connects to the first of its addresses that answers on port, waiting as
// long as the system does; the socket sends small writes at once (TCP_NODELAY). Not valid on
// failure.
TcpSocket tcp_connect(const std::string& host, uint16_t port);

// One send or receive on a non-blocking socket: the byte count (> 0), kTcpWouldBlock when the
// socket has no room or no data now, -1 on error; tcp_recv returns 0 when the peer has closed
// the connection.
inline constexpr long kTcpWouldBlock = -2;
long tcp_send(int fd, const void* data, size_t n);
long tcp_recv(int fd, void* buffer, size_t n);

}  // namespace corvio
