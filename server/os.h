// SPDX-License-Identifier: Apache-2.0
// The few operating-system services the server needs: a listening socket that a stop request
// (SIGINT, SIGTERM or stop()) wakes, cutting a connection's socket from another thread, and
// forcing written files to the disk. Every operating-system call of the server lives behind this
// header.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "unique_fd.h"
#include "util/file_handle.h"

namespace corvio::server {

class Listener {
 public:
  // Binds and listens on host:port (port 0 picks a free port). Null with *error set on failure.
  static std::unique_ptr<Listener> open(const std::string& host, const std::string& port,
                                        std::string* error);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // The bound address as "ADDR:PORT" (an IPv6 address in brackets), with the real port.
  const std::string& address() const { return address_; }

  // Waits for the next connection and returns its socket, with the peer's "ADDR:PORT" in *peer.
  // Returns -1 once a stop was requested.
  int accept(std::string* peer);

  // Makes accept() return -1. Safe from any thread.
  void stop();

  // Routes SIGINT and SIGTERM of the whole process to stop() of this listener, and ignores
  // SIGPIPE (a client that vanishes mid-write is an error result, not a process kill).
  void stop_on_signals();

 private:
  Listener(UniqueFd fd, UniqueFd wake_read, UniqueFd wake_write, std::string address)
      : fd_(std::move(fd)),
        wake_read_(std::move(wake_read)),
        wake_write_(std::move(wake_write)),
        address_(std::move(address)) {}
  UniqueFd fd_;
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  std::string address_;
};

// Gives an accepted socket a receive and a send time-out, so that a client that stops talking,
// or stops reading its replies, does not hold its thread for ever.
void set_idle_timeouts(int fd, int seconds);

// Sends small writes at once (TCP_NODELAY): every reply is one write the client waits for, so
// holding it back for coalescing only adds latency.
void set_no_delay(int fd);

// Ends both directions of a socket without closing it; a thread blocked reading it wakes up.
void shutdown_socket(int fd);

// Forces every file and folder of the file system holding path (written but not yet on the
// disk) to the disk: one sync for all the blocks written since the last. False on failure.
bool sync_filesystem(const std::string& path);

// Private files and folders, whatever the process's umask: a folder is made (or, existing,
// set) to mode 0700, a file created new with mode 0600. False, with *error set, on failure.
bool make_private_dir(const std::string& path, std::string* error);
// Creates path for writing, with mode 0600. It must not exist yet, unless replace is set (an
// existing file is then emptied and given that mode). Null on failure, with *error set.
FileHandle create_private_file(const std::string& path, std::string* error, bool replace = false);
// Opens path for appending, creating it if need be, and sets its mode to 0600.
FileHandle open_private_append(const std::string& path, std::string* error);

// Sets the mode of an existing file to 0600, or of a folder to 0700, unless it is that already;
// *loose, when given, tells whether it had to. A path that does not exist, or a symbolic link,
// is left alone. False, with *error set, on failure.
bool make_private(const std::string& path, std::string* error, bool* loose = nullptr);

}  // namespace corvio::server
