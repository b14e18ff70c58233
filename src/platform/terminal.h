// SPDX-License-Identifier: Apache-2.0
// The terminal a secret is typed on.
#pragma once

#include <cstdio>
#include <memory>

namespace corvio {

// While it lives, a terminal behind `in` does not echo what is typed, so that a password does
// not show on the screen. Does nothing when `in` is not a terminal (a pipe or a file).
class HiddenInput {
 public:
  explicit HiddenInput(std::FILE* in);
  ~HiddenInput();
  HiddenInput(const HiddenInput&) = delete;
  HiddenInput& operator=(const HiddenInput&) = delete;

  // True when `in` is a terminal.
  bool is_terminal() const { return terminal_; }

 private:
  struct Saved;  // the terminal's settings before, restored by the destructor
  bool terminal_ = false;
  std::unique_ptr<Saved> saved_;
};

}  // namespace corvio
