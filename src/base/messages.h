// SPDX-License-Identifier: Apache-2.0
// Message boxes. Every user-visible failure, notice and question of the program is one call of
// Messages::message_box. The windows show a modal box (from the worker thread the call waits
// until the user has answered), the terminal front end prints "title: text" to standard error
// and answers No to questions, and tests record the calls.
#pragma once

#include <string_view>

namespace corvio::ui {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

class Messages {
 public:
  virtual ~Messages() = default;
  // May be called from any thread; returns when the box has been answered.
  virtual Answer message_box(std::string_view text, std::string_view title,
                             Buttons buttons = Buttons::Ok) = 0;
};

}  // namespace corvio::ui
