// SPDX-License-Identifier: Apache-2.0
// The windows' modal prompts: message boxes and the file and folder choosers.
// User-interface thread only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/messages.h"

namespace corvio::ui::win32 {

// A modal box with an OK button, or Yes and No, owned by owner (null: none).
Answer message_box(HWND owner, std::string_view text, std::string_view title,
                   Buttons buttons = Buttons::Ok);

// The system's file chooser ("Browse Path / File"): the chosen file's full path, or nothing
// when cancelled.
std::optional<std::string> choose_file(HWND owner);
// The system's folder chooser, opening on start: the chosen folder, or nothing when cancelled.
std::optional<std::string> choose_folder(HWND owner, const std::wstring& start);

// Messages for code that reports through ui::Messages on the user-interface thread: each box
// is owned by the given window, which may be set once it exists.
class OwnedMessages : public Messages {
 public:
  void set_owner(HWND owner) { owner_ = owner; }
  Answer message_box(std::string_view text, std::string_view title, Buttons buttons) override {
    return win32::message_box(owner_, text, title, buttons);
  }

 private:
  HWND owner_ = nullptr;
};

}  // namespace corvio::ui::win32
