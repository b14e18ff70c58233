// SPDX-License-Identifier: Apache-2.0
// UniqueFd: the owner of one POSIX file descriptor, which it closes when it goes. It takes the
// descriptor on the line that opens it, so that no early return can leak one. Move-only: a
// move hands the descriptor on and leaves -1 behind; assigning into an owner closes what it
// held. Not thread-safe; one thread owns it at a time.
#pragma once

#include <unistd.h>

#include <utility>

namespace corvio::server {

class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes fd, or holds nothing when it is negative (the failed result of an open).
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  // The descriptor, still owned; -1 when none.
  int get() const { return fd_; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes fd.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace corvio::server
