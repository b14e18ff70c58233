// SPDX-License-Identifier: Apache-2.0
// Opening a TLS connection step by step, and the timed read and write primitives.
//
// Opening is split into its steps (create the socket object, connect it, run the handshake)
// so that each caller can report each step in its own words. The primitives wait on the
// socket with a time-out and never close the connection on failure: closing is the caller's
// decision. tls_send and tls_recv are the bare forms for a connection the caller holds; the
// session forms (Connection::send, Connection::recv) add cancellation, counting and throttling on
// top of transfer().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/tls_connection.h"
#include "util/relaxed.h"

namespace corvio {

class TlsContext;
namespace ui {
class Messages;
}

// The socket under a connection until its handshake: the TLS backend's own type.
class TlsSocket;
struct TlsSocketFree {
  void operator()(TlsSocket* s) const;
};
using TlsSocketPtr = std::unique_ptr<TlsSocket, TlsSocketFree>;

// The socket object for "host:port", not yet connected, set to send small writes at once
// (TCP_NODELAY); null on failure.
TlsSocketPtr tls_new_socket(const std::string& host, uint16_t port);

// Connects the socket object. False on failure.
bool tls_connect_socket(TlsSocket* socket);

struct Handshake {
  TlsConnectionPtr connection;  // null when the handshake failed
  // Why the server's certificate was refused; empty when it was not the reason.
  std::string verify_error;
};

// The transfers change the connection's state (the TLS session, and the records held in either
// direction), so they take it as non-const; one thread uses a connection at a time.

// Creates the TLS session over a connected socket (which it takes over in every case), turns
// on automatic retry and runs the client handshake, verifying the server's certificate for
// host. The handshake waits at most timeout_ms for each step of the peer.
Handshake tls_handshake(const TlsContext& tls, TlsSocketPtr socket, const std::string& host,
                        int timeout_ms);

struct WaitRules {
  int timeout_ms;
  // Set for the session forms: a value of 1 ends the transfer with 0 after each wait that the
  // TLS layer asked for. Null for the bare forms.
  const Relaxed<uint32_t>* cancel = nullptr;
  // Set for the session forms: a failed socket wait shows "Other select() error!".
  ui::Messages* wait_failure_box = nullptr;
};

// The descriptor of the connection's socket, or -1 when it has none.
int tls_socket_fd(const TlsConnection& c);

// The socket's descriptor. When it is not valid, shows "Error - fd of BIO is not valid!" and
// returns -1. The socket is non-blocking since the handshake.
int prepare_socket(const TlsConnection& c, ui::Messages& messages);

// Wait for the socket and write n bytes in one TLS write, or read up to n bytes in one TLS
// read. Return the count (> 0), 0 when cancelled, -1 on time-out, wait failure or TLS error.
// A write with more set may stay in the connection's write buffer (with the records before it)
// until a write without more, or the next read, sends them: for a run of messages that the
// peer does not answer one by one.
int transfer_send(TlsConnection& c, int fd, const void* data, size_t n, const WaitRules& rules,
                  bool more = false);
int transfer_recv(TlsConnection& c, int fd, void* buffer, size_t n, const WaitRules& rules);
// Waits for room on the socket until the records held in the write buffer are all written.
// 1 when they are (or none were held), 0 when cancelled, -1 on time-out, wait failure or
// socket error.
int transfer_flush(TlsConnection& c, int fd, const WaitRules& rules);

// The bare primitives: -1 when the connection is missing, otherwise as transfer() with the
// given time-out, no cancellation and no message for a failed wait.
int tls_send(TlsConnection* c, const void* data, size_t n, ui::Messages& messages, int timeout_ms);
int tls_recv(TlsConnection* c, void* buffer, size_t capacity, ui::Messages& messages,
             int timeout_ms);

}  // namespace corvio
