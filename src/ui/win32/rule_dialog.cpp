// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/rule_dialog.h"

#include "ui/win32/resource.h"
#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

RuleDialog::RuleDialog(HINSTANCE instance, const Context& ctx, std::vector<RuleRow>& rows,
                       int editing_row)
    : Dialog(instance, IDD_RULE),
      ctx_{ctx.fs, ctx.clock, messages_, ctx.display, ctx.style, ctx.data_dir, ctx.install_dir},
      rows_(rows),
      editing_row_(editing_row) {}

bool RuleDialog::on_init() {
  messages_.set_owner(hwnd());
  const bool editing = editing_row_ >= 0 && static_cast<size_t>(editing_row_) < rows_.size();
  set_item_text(hwnd(), IDC_RULE_PATH, editing ? rows_[editing_row_].path : "");
  for (const wchar_t* mode : {L"Include", L"Exclude"})
    ::SendDlgItemMessageW(hwnd(), IDC_RULE_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
  ::SendDlgItemMessageW(hwnd(), IDC_RULE_MODE, CB_SETCURSEL,
                        editing && rows_[editing_row_].mode != kInclude ? 1 : 0, 0);
  return true;
}

void RuleDialog::on_command(int id, int) {
  switch (id) {
    case IDC_BROWSE_FILE:
      if (auto file = choose_file(hwnd())) set_item_text(hwnd(), IDC_RULE_PATH, *file);
      break;
    case IDC_BROWSE_PATH:
      if (auto folder = choose_folder(hwnd(), L"c:\\"))
        set_item_text(hwnd(), IDC_RULE_PATH, *folder);
      break;
    case IDOK: {
      const bool include =
          ::SendDlgItemMessageW(hwnd(), IDC_RULE_MODE, CB_GETCURSEL, 0, 0) == 0;
      if (rule_dialog_ok(ctx_, rows_, item_text(hwnd(), IDC_RULE_PATH, kRuleFieldChars),
                         include, editing_row_) == 0) {
        end(IDOK);
      }
      break;
    }
    case IDCANCEL:
      end(IDCANCEL);
      break;
  }
}

}  // namespace corvio::ui::win32
