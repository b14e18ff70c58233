// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/app_window.h"

#include <commctrl.h>

#include "ui/win32/resource.h"

namespace corvio::ui::win32 {

namespace {

// The window is never shown, so it never paints and never gets a command from its menu.
LRESULT CALLBACK app_window_procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

AppWindow::AppWindow(HINSTANCE instance) {
  wchar_t title[100] = L"";
  wchar_t class_name[100] = L"";
  ::LoadStringW(instance, IDS_APP_TITLE, title, 100);
  ::LoadStringW(instance, IDC_CORVIO, class_name, 100);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &app_window_procedure;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_CORVIO));
  wc.hIconSm = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = MAKEINTRESOURCEW(IDC_CORVIO);
  wc.lpszClassName = class_name;
  ::RegisterClassExW(&wc);

  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;  // 0x40FF
  ::InitCommonControlsEx(&controls);

  window_.reset(::CreateWindowExW(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr));
}

}  // namespace corvio::ui::win32
