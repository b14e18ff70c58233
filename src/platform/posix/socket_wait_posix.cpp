// SPDX-License-Identifier: Apache-2.0
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>

#include "platform/socket_wait.h"

namespace corvio {

WaitResult wait_socket(int fd, SocketEvent event, int timeout_ms) {
  pollfd p{};
  p.fd = fd;
  p.events = event == SocketEvent::Readable ? POLLIN : POLLOUT;
  int rc;
  do {
    rc = ::poll(&p, 1, timeout_ms);
  } while (rc == -1 && errno == EINTR);
  if (rc == 0) return WaitResult::TimedOut;
  if (rc < 0 || (p.revents & POLLNVAL)) return WaitResult::Failed;
  return WaitResult::Ready;  // includes POLLHUP/POLLERR: the transfer itself reports them
}

bool set_socket_blocking(int fd, bool blocking) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags == -1) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

void ignore_broken_pipe() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace corvio
