// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/main_window.h"

#include "catalog/run_list.h"
#include "profile/profile_db.h"
#include "ui/win32/about_box.h"
#include "ui/win32/list_view.h"
#include "ui/win32/profile_editor_dialog.h"
#include "ui/win32/prompts.h"
#include "ui/win32/resource.h"

namespace corvio::ui::win32 {

namespace {

constexpr char kTitle[] = "Meridane Online Backup";

// A register entry whose tag is not a valid one names no profile folder to look in.
std::string last_run_of(const Context& ctx, std::string tag) {
  return profile_tag_check(tag) ? std::string() : last_run_text(ctx, tag);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, Application& app)
    : Dialog(instance, IDD_MAIN), app_(app) {}

HWND MainWindow::list() const { return item(IDC_PROFILE_LIST); }

bool MainWindow::on_init() {
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(::LoadIconW(instance(), MAKEINTRESOURCEW(IDI_CORVIO))));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(::LoadIconW(instance(), MAKEINTRESOURCEW(IDI_SMALL))));
  add_columns(list(), {{L"Tag", 90}, {L"Description", 310}, {L"Last Run", 118}});
  for (const ProfileListEntry& entry : app_.config().profile_list())
    append_row(list(), {entry.tag, entry.description, last_run_of(app_.context(), entry.tag)});
  return true;
}

void MainWindow::on_command(int id, int) {
  switch (id) {
    case IDOK:
      if (const ProfileListEntry* entry = selected_entry()) backup(*entry);
      break;
    case IDCANCEL:  // Quit and the close box
      end(IDCANCEL);
      break;
    case IDC_NEW:
      profile_editor_new(instance(), app_.context(), app_.config(), list(), hwnd());
      set_row_buttons(false);
      rebuild_list();
      break;
    case IDC_EDIT_PROFILE:
      if (const ProfileListEntry* entry = selected_entry()) {
        const std::string tag = entry->tag;
        profile_editor_edit(instance(), app_.context(), app_.config(), tag, list(), hwnd());
        rebuild_list();
      }
      break;
    case IDC_DELETE:
      if (const int row = selected_row(list()); row >= 0) {
        profile_delete(app_.context(), app_.config(), cell(list(), row, 0));
        ListView_DeleteItem(list(), row);
        set_row_buttons(false);
        rebuild_list();
      }
      break;
    case IDC_ABOUT:
      show_about_box(instance(), hwnd());
      break;
    case IDC_HELP_BUTTON:
      message_box(hwnd(), "Online help is not yet available.", kTitle);
      break;
  }
}

void MainWindow::on_notify(const NMHDR& header) {
  if (header.idFrom != IDC_PROFILE_LIST) return;
  const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
  if (header.code == NM_CLICK) set_row_buttons(activate.iItem >= 0);
  if (header.code == NM_DBLCLK && activate.iItem >= 0) {
    if (const ProfileListEntry* entry = selected_entry()) backup(*entry);
  }
}

const ProfileListEntry* MainWindow::selected_entry() {
  const int row = selected_row(list());
  if (row < 0) return nullptr;
  const std::string tag = cell(list(), row, 0);
  for (const ProfileListEntry& entry : app_.config().profile_list()) {
    if (entry.tag == tag) return &entry;
  }
  return nullptr;
}

void MainWindow::backup(const ProfileListEntry& entry) {
  if (app_.open_selected_profile(entry) != 0) return;
  chosen_ = true;
  end(IDOK);
}

void MainWindow::rebuild_list() {
  app_.config().profile_list_free();
  app_.config().load_profiles();
}

void MainWindow::set_row_buttons(bool enabled) {
  enable(IDOK, enabled);
  enable(IDC_EDIT_PROFILE, enabled);
  enable(IDC_DELETE, enabled);
}

}  // namespace corvio::ui::win32
