// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/dialog.h"

#include <commctrl.h>

namespace corvio::ui::win32 {

INT_PTR Dialog::run(HWND owner) {
  return ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(resource_), owner, &Dialog::procedure,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Dialog::procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lp);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    self->hwnd_ = hwnd;
    return self->on_init() ? TRUE : FALSE;
  }
  if (!self) return FALSE;  // the few messages that come before WM_INITDIALOG
  switch (msg) {
    case WM_COMMAND:
      self->on_command(LOWORD(wp), HIWORD(wp));
      return TRUE;
    case WM_NOTIFY:
      self->on_notify(*reinterpret_cast<const NMHDR*>(lp));
      return TRUE;
    default:
      return self->on_message(msg, wp, lp) ? TRUE : FALSE;
  }
}

}  // namespace corvio::ui::win32
