// SPDX-License-Identifier: Apache-2.0
// Owners for the window and drawing handles of the windows, each released by the call that
// belongs to it.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace corvio::ui::win32 {

struct WindowDestroyer {
  void operator()(HWND hwnd) const { ::DestroyWindow(hwnd); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

struct FontDeleter {
  void operator()(HFONT font) const { ::DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

}  // namespace corvio::ui::win32
