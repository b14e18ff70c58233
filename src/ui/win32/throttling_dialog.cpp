// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/throttling_dialog.h"

#include "ui/win32/resource.h"
#include "ui/win32/throttling_controls.h"

namespace corvio::ui::win32 {

ThrottlingDialog::ThrottlingDialog(HINSTANCE instance, Profile& running,
                                   std::function<void(uint32_t)> set_priority)
    : Dialog(instance, IDD_THROTTLING),
      profile_(running),
      set_priority_(std::move(set_priority)) {}

bool ThrottlingDialog::on_init() {
  messages_.set_owner(hwnd());
  show_throttling(hwnd(), throttling_fields(profile_));
  return true;
}

void ThrottlingDialog::on_command(int id, int) {
  switch (id) {
    case IDOK:
      if (apply() == 0) end(IDOK);
      break;
    case IDC_APPLY:
      apply();
      break;
    case IDCANCEL:
      end(IDCANCEL);
      break;
  }
}

int ThrottlingDialog::apply() {
  if (throttling_apply(messages_, read_throttling(hwnd()), profile_) != 0) return 1;
  set_priority_(profile_.thread_priority.load());
  return 0;
}

}  // namespace corvio::ui::win32
