// SPDX-License-Identifier: Apache-2.0
// Waiting on a connected socket, and the socket settings the TLS transport needs. The TLS
// library owns the socket itself; these take the descriptor it reports.
#pragma once

namespace corvio {

enum class SocketEvent { Readable, Writable };
enum class WaitResult { Ready, TimedOut, Failed };

// Waits until the socket is ready for the event, for at most timeout_ms milliseconds. A
// closed or reset connection counts as ready: the following read or write reports it.
WaitResult wait_socket(int fd, SocketEvent event, int timeout_ms);

// Switches the socket between blocking and non-blocking mode. False on failure.
bool set_socket_blocking(int fd, bool blocking);

// Makes a write to a connection the peer has closed fail with an error instead of ending the
// process (SIGPIPE on POSIX). Called once before the first connection.
void ignore_broken_pipe();

}  // namespace corvio
