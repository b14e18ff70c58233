// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/profile_editor_dialog.h"

#include "profile/profile_db.h"
#include "ui/win32/list_view.h"
#include "ui/win32/resource.h"
#include "ui/win32/rule_dialog.h"
#include "ui/win32/throttling_controls.h"
#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

ProfileEditorDialog::ProfileEditorDialog(HINSTANCE instance, const Context& ctx, Config& config,
                                         std::unique_ptr<Profile> profile, bool new_profile)
    : Dialog(instance, IDD_PROFILE_EDITOR),
      ctx_{ctx.fs, ctx.clock, messages_, ctx.display, ctx.style, ctx.data_dir, ctx.install_dir},
      editor_(ctx_, config, std::move(profile), new_profile),
      new_profile_(new_profile) {}

bool ProfileEditorDialog::on_init() {
  messages_.set_owner(hwnd());
  // Opening: the record's fields, includes listed before excludes.
  const EditorFields f = editor_fields(editor_.profile());
  set_item_text(hwnd(), IDC_TAG, f.tag);
  set_item_text(hwnd(), IDC_DESCRIPTION, f.description);
  set_item_text(hwnd(), IDC_LOGIN, f.login);
  set_item_text(hwnd(), IDC_PASSWORD, f.password);
  set_item_text(hwnd(), IDC_SERVER, f.server);
  set_item_text(hwnd(), IDC_PORT, f.port);
  show_throttling(hwnd(), f.throttling);
  ::CheckDlgButton(hwnd(), IDC_SHADOW_COPY, f.shadow_copy ? BST_CHECKED : BST_UNCHECKED);
  enable(IDC_SHADOW_COPY, true);
  add_columns(item(IDC_RULE_LIST),
              {{L"Mode", 50}, {L"Path / File", 500}, {L"Type", 50}, {L"Files", 50}, {L"Size", 50}});
  for (const RuleRow& row : f.rules) append_row(item(IDC_RULE_LIST), {row.mode, row.path});
  enable(IDC_TAG, new_profile_);
  return true;
}

void ProfileEditorDialog::on_command(int id, int) {
  switch (id) {
    case IDC_RULE_ADD:
      open_rule_dialog(true);
      break;
    case IDC_RULE_EDIT:
      open_rule_dialog(false);
      break;
    case IDC_RULE_REMOVE:  // nothing is saved until OK
      if (const int row = selected_row(item(IDC_RULE_LIST)); row >= 0)
        ListView_DeleteItem(item(IDC_RULE_LIST), row);
      break;
    case IDOK:
      if (editor_.ok(read()) == 0) end(IDOK);
      break;
    case IDCANCEL:
      end(IDCANCEL);
      break;
  }
}

void ProfileEditorDialog::on_notify(const NMHDR& header) {
  if (header.idFrom != IDC_RULE_LIST) return;
  const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
  if (header.code == NM_CLICK) set_row_buttons(activate.iItem >= 0);
  if (header.code == NM_DBLCLK && activate.iItem >= 0) open_rule_dialog(false);
}

void ProfileEditorDialog::set_row_buttons(bool enabled) {
  enable(IDC_RULE_EDIT, enabled);
  enable(IDC_RULE_REMOVE, enabled);
}

std::vector<RuleRow> ProfileEditorDialog::rows() const {
  std::vector<RuleRow> out;
  const HWND list = item(IDC_RULE_LIST);
  for (int i = 0; i < row_count(list); ++i) out.push_back({cell(list, i, 0), cell(list, i, 1)});
  return out;
}

void ProfileEditorDialog::open_rule_dialog(bool adding) {
  const HWND list = item(IDC_RULE_LIST);
  const int editing_row = adding ? -1 : selected_row(list);
  if (!adding && editing_row < 0) return;
  std::vector<RuleRow> rows = this->rows();
  RuleDialog dialog(instance(), ctx_, rows, editing_row);
  if (dialog.run(hwnd()) != IDOK) return;
  if (adding) {
    append_row(list, {rows.back().mode, rows.back().path});
  } else {
    set_cell(list, editing_row, 0, rows[editing_row].mode);
    set_cell(list, editing_row, 1, rows[editing_row].path);
  }
}

EditorFields ProfileEditorDialog::read() const {
  EditorFields f;
  f.tag = item_text(hwnd(), IDC_TAG);
  f.description = item_text(hwnd(), IDC_DESCRIPTION);
  f.login = item_text(hwnd(), IDC_LOGIN);
  f.password = item_text(hwnd(), IDC_PASSWORD);
  f.server = item_text(hwnd(), IDC_SERVER);
  f.port = item_text(hwnd(), IDC_PORT);
  f.throttling = read_throttling(hwnd());
  f.shadow_copy = ::IsDlgButtonChecked(hwnd(), IDC_SHADOW_COPY) == BST_CHECKED;
  f.rules = rows();
  return f;
}

void profile_editor_new(HINSTANCE instance, const Context& ctx, Config& config, HWND list,
                        HWND owner) {
  ProfileEditorDialog dialog(instance, ctx, config, new_profile_defaults(), true);
  dialog.run(owner);
  if (!dialog.saved()) return;
  append_row(list, {dialog.profile().tag, dialog.profile().description});
}

void profile_editor_edit(HINSTANCE instance, const Context& ctx, Config& config,
                         const std::string& tag, HWND list, HWND owner) {
  std::unique_ptr<Profile> profile = profile_load(ctx, tag, false);
  if (!profile) return;
  ProfileEditorDialog dialog(instance, ctx, config, std::move(profile), false);
  dialog.run(owner);
  if (!dialog.saved()) return;
  if (const int row = selected_row(list); row >= 0)
    set_cell(list, row, 1, dialog.profile().description);
}

}  // namespace corvio::ui::win32
