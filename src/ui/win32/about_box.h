// SPDX-License-Identifier: Apache-2.0
// The About box ("About Corvio", resource 103): the program icon and the version line (1045).
#pragma once

#include <windows.h>

namespace corvio::ui::win32 {

// Modal over owner; user-interface thread only.
void show_about_box(HINSTANCE instance, HWND owner);

}  // namespace corvio::ui::win32
