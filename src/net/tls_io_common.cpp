// SPDX-License-Identifier: Apache-2.0
// The parts of tls_io.h that every TLS backend shares: they use only the backend's socket
// descriptor and its transfer functions.
#include "base/messages.h"
#include "net/tls_io.h"

namespace corvio {

int prepare_socket(const TlsConnection& c, ui::Messages& messages) {
  // Descriptor 0 is a valid socket here: a process started with standard input closed gets it
  // for its first connection. Only a negative value means the socket object has none.
  int fd = tls_socket_fd(c);
  if (fd < 0) {
    messages.message_box("Error - fd of BIO is not valid!", "Blah!");
    return -1;
  }
  return fd;
}

int tls_send(TlsConnection* c, const void* data, size_t n, ui::Messages& messages, int timeout_ms) {
  if (!c) return -1;
  int fd = prepare_socket(*c, messages);
  if (fd < 0) return 0;
  return transfer_send(*c, fd, data, n, WaitRules{timeout_ms});
}

int tls_recv(TlsConnection* c, void* buffer, size_t capacity, ui::Messages& messages,
             int timeout_ms) {
  if (!c) return -1;
  int fd = prepare_socket(*c, messages);
  if (fd < 0) return 0;
  return transfer_recv(*c, fd, buffer, capacity, WaitRules{timeout_ms});
}

}  // namespace corvio
