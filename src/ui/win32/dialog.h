// SPDX-License-Identifier: Apache-2.0
// A modal dialog from a dialog resource. A window class derives from Dialog, handles the
// messages it cares about and leaves the rest to the system's default dialog handling. The
// object must outlive run(). User-interface thread only.
#pragma once

#include <windows.h>

namespace corvio::ui::win32 {

class Dialog {
 public:
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Shows the dialog modally over owner (null: none) and returns the result it ended with,
  // or -1 when it could not be created.
  INT_PTR run(HWND owner);
  HWND hwnd() const { return hwnd_; }

 protected:
  Dialog(HINSTANCE instance, int resource) : instance_(instance), resource_(resource) {}

  // WM_INITDIALOG; true lets the system set the keyboard focus.
  virtual bool on_init() { return true; }
  // WM_COMMAND from a control or button.
  virtual void on_command(int id, int code) = 0;
  // WM_NOTIFY from a control.
  virtual void on_notify(const NMHDR&) {}
  // Any other message; true when handled.
  virtual bool on_message(UINT, WPARAM, LPARAM) { return false; }

  void end(INT_PTR result) { ::EndDialog(hwnd_, result); }
  HWND item(int id) const { return ::GetDlgItem(hwnd_, id); }
  void enable(int id, bool on) const { ::EnableWindow(item(id), on ? TRUE : FALSE); }
  HINSTANCE instance() const { return instance_; }

 private:
  static INT_PTR CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HINSTANCE instance_;
  int resource_;
  HWND hwnd_ = nullptr;
};

}  // namespace corvio::ui::win32
