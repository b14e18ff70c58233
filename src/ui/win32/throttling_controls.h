// SPDX-License-Identifier: Apache-2.0
// The throttling controls that the profile editor and the throttling dialog share: thread
// priority (1035), the delays between files (1042) and blocks (1043), and for each direction
// an "Enable -" box (1040 TX, 1041 RX), a rate (1036, 1037) and a unit list (1038, 1039).
// User-interface thread only.
#pragma once

#include <windows.h>

#include "profile/throttling_fields.h"

namespace corvio::ui::win32 {

// Fills the three lists and shows fields in the controls of dialog.
void show_throttling(HWND dialog, const ThrottlingFields& fields);
ThrottlingFields read_throttling(HWND dialog);

}  // namespace corvio::ui::win32
