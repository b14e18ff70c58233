// SPDX-License-Identifier: Apache-2.0
// The message trace: one line per client message received, as "CONN HEX", CONN the
// connection's sequence number and HEX the message bytes in lower-case hexadecimal. A payload
// message is shown as its first two bytes followed by " +N", N its payload length. The password
// field of a login message is masked: each of its 32 bytes shows as "xx". Tests read the trace
// to see exactly what a client sent, and that a retried request went out byte for byte again.
//
// The trace file is private to its owner (mode 0600), as the store is.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "util/file_handle.h"

namespace corvio::server {

class Trace {
 public:
  // Opens path for appending, creating it with mode 0600 or setting an existing one's mode to
  // 0600. Null, with *error set, on failure.
  static std::unique_ptr<Trace> open(const std::string& path, std::string* error);

  // Appends and flushes one line. Safe from any thread.
  void record(uint64_t connection, std::string_view message);

  // The line record() writes, without its line end.
  static std::string line(uint64_t connection, std::string_view message);

 private:
  explicit Trace(FileHandle file) : file_(std::move(file)) {}
  std::mutex mu_;
  FileHandle file_;
};

}  // namespace corvio::server
