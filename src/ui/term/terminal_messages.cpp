// SPDX-License-Identifier: Apache-2.0
#include "ui/term/terminal_messages.h"

namespace corvio::ui {

Answer TerminalMessages::message_box(std::string_view text, std::string_view title,
                                     Buttons buttons) {
  std::lock_guard<std::mutex> lock(mu_);
  if (before_print_) before_print_();
  std::fprintf(out_, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
               static_cast<int>(text.size()), text.data());
  std::fflush(out_);
  return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

}  // namespace corvio::ui
