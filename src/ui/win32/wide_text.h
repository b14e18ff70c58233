// SPDX-License-Identifier: Apache-2.0
// The program's 8-bit texts (files, databases, paths: the system ANSI code page, as the file
// system layer passes them to the ...A calls) to window texts in UTF-16 and back, and the
// reading and writing of dialog controls' texts. User-interface thread only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace corvio::ui::win32 {

std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

// At most max_chars characters of a control's text.
std::string item_text(HWND dialog, int id, size_t max_chars = 1023);
void set_item_text(HWND dialog, int id, std::string_view text);

}  // namespace corvio::ui::win32
