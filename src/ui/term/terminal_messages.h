// Message boxes for a terminal: each is printed as "title: text" on standard error, and
// questions are answered No, since nobody may be there to answer them.
#pragma once

#include <cstdio>
#include <mutex>

#include "ui/messages.h"

namespace corvio::ui {

class TerminalMessages : public Messages {
 public:
  explicit TerminalMessages(std::FILE* out = stderr) : out_(out) {}
  Answer message_box(std::string_view text, std::string_view title, Buttons buttons) override;

 private:
  std::mutex mu_;  // the worker and the main thread may both report
  std::FILE* out_;
};

}  // namespace corvio::ui
