// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/about_box.h"

#include "base/version.h"
#include "ui/win32/dialog.h"
#include "ui/win32/resource.h"
#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

namespace {

class AboutBox : public Dialog {
 public:
  explicit AboutBox(HINSTANCE instance) : Dialog(instance, IDD_ABOUT) {}

 private:
  bool on_init() override {
    set_item_text(hwnd(), IDC_VERSION, version_text() + " for Windows Vista and 7");
    return true;
  }
  void on_command(int id, int) override {
    if (id == IDOK || id == IDCANCEL) end(id);
  }
};

}  // namespace

void show_about_box(HINSTANCE instance, HWND owner) { AboutBox(instance).run(owner); }

}  // namespace corvio::ui::win32
