// SPDX-License-Identifier: Apache-2.0
#include <winsock2.h>

#include "platform/socket_wait.h"

namespace corvio {

// The TLS library reports a socket as an int; on Windows it is a SOCKET, which fits.
WaitResult wait_socket(int fd, SocketEvent event, int timeout_ms) {
  WSAPOLLFD p{};
  p.fd = static_cast<SOCKET>(fd);
  p.events = event == SocketEvent::Readable ? POLLRDNORM : POLLWRNORM;
  const int rc = ::WSAPoll(&p, 1, timeout_ms);
  if (rc == 0) return WaitResult::TimedOut;
  if (rc < 0 || (p.revents & POLLNVAL)) return WaitResult::Failed;
  return WaitResult::Ready;  // includes POLLHUP/POLLERR: the transfer itself reports them
}

bool set_socket_blocking(int fd, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  return ::ioctlsocket(static_cast<SOCKET>(fd), FIONBIO, &non_blocking) == 0;
}

// A write to a closed connection fails with an error on Windows already; there is no signal.
void ignore_broken_pipe() {}

}  // namespace corvio
