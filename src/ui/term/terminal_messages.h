// SPDX-License-Identifier: Apache-2.0
// Message boxes for a terminal: each is printed as "title: text" on standard error, and
// questions are answered No, since nobody may be there to answer them.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>

#include "base/messages.h"

namespace corvio::ui {

class TerminalMessages : public Messages {
 public:
  explicit TerminalMessages(std::FILE* out = stderr) : out_(out) {}
  Answer message_box(std::string_view text, std::string_view title, Buttons buttons) override;
  // Runs before each box is printed: a progress display drawn in place uses it to move below
  // its lines first, so that the box is not drawn over. Empty to remove.
  void set_before_print(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mu_);
    before_print_ = std::move(hook);
  }

 private:
  std::mutex mu_;  // the worker and the main thread may both report
  std::FILE* out_;
  std::function<void()> before_print_;
};

}  // namespace corvio::ui
