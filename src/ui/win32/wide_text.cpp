// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

std::wstring widen(std::string_view text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

std::string item_text(HWND dialog, int id, size_t max_chars) {
  std::wstring buffer(max_chars + 1, L'\0');
  const UINT n = ::GetDlgItemTextW(dialog, id, buffer.data(), static_cast<int>(buffer.size()));
  buffer.resize(n);
  return narrow(buffer);
}

void set_item_text(HWND dialog, int id, std::string_view text) {
  ::SetDlgItemTextW(dialog, id, widen(text).c_str());
}

}  // namespace corvio::ui::win32
