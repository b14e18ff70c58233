// SPDX-License-Identifier: Apache-2.0
// The profile editor and its rule dialog as real dialogs: a thread timer plays the user,
// typing into the controls and pressing the buttons while the dialogs run modally, and the
// test checks the profile that was stored, the row added to the main window's list and the
// message box that the refused rule raised.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/display.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"
#include "ui/win32/app_window.h"
#include "ui/win32/list_view.h"
#include "ui/win32/profile_editor_dialog.h"
#include "ui/win32/resource.h"
#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {
namespace {

// The user's steps, each run once the window it needs is up; the timer polls for it.
struct Step {
  const wchar_t* window_title;
  std::function<void(HWND)> act;
};

std::vector<Step>* g_steps = nullptr;
size_t g_next = 0;

void CALLBACK play(HWND, UINT, UINT_PTR, DWORD) {
  if (g_next >= g_steps->size()) return;
  const Step& step = (*g_steps)[g_next];
  HWND window = ::FindWindowW(L"#32770", step.window_title);
  if (!window || !::IsWindowEnabled(window)) return;  // not up yet, or behind a nested box
  ++g_next;
  step.act(window);
}

void type(HWND dialog, int id, const wchar_t* text) { ::SetDlgItemTextW(dialog, id, text); }
void select(HWND dialog, int id, int index) {
  ::SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
// Posted, so that a dialog the button opens runs in the modal loop, not inside the timer.
void press(HWND dialog, int id) { ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

TEST(Win32Dialogs, NewProfileTypedIntoTheEditorIsStoredAndListed) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  AppWindow app_window(instance);  // the window class and the common controls
  test::TempDir dir;
  test::RecordingMessages messages;
  Display display;
  Context ctx{real_file_system(), system_clock(), messages, display, PathStyle::windows(),
              dir.path(), ""};
  Config config(ctx);
  ASSERT_EQ(config.open(), 0);

  // The main window's list, which New appends the saved profile to.
  HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT, 0, 0, 400, 200,
                                nullptr, nullptr, instance, nullptr);
  ASSERT_NE(list, nullptr);
  add_columns(list, {{L"Tag", 90}, {L"Description", 310}});

  std::string refusal;
  std::vector<Step> steps = {
      {L"New Backup Profile",
       [](HWND editor) {
         type(editor, IDC_TAG, L"My-Backup_1");
         type(editor, IDC_DESCRIPTION, L"Documents");
         type(editor, IDC_LOGIN, L"anna");
         type(editor, IDC_PASSWORD, L"secret");
         type(editor, IDC_SERVER, L"localhost");
         type(editor, IDC_PORT, L"5421");
         select(editor, IDC_PRIORITY, 0);  // "Highest"
         type(editor, IDC_FILE_DELAY, L"250");
         press(editor, IDC_RULE_ADD);
       }},
      {L"Include / Exclude",
       [](HWND rule) {
         type(rule, IDC_RULE_PATH, L"C:\\Data");
         press(rule, IDOK);
       }},
      {L"New Backup Profile", [](HWND editor) { press(editor, IDC_RULE_ADD); }},
      {L"Include / Exclude",
       [](HWND rule) {
         type(rule, IDC_RULE_PATH, L"C:\\Data\\*.tmp");  // a wildcard, still in Include mode
         press(rule, IDOK);
       }},
      {L"Can't Add Include/Exclude",
       [&refusal](HWND box) {
         refusal = item_text(box, 0xFFFF);  // the box's text control
         press(box, IDOK);
       }},
      {L"Include / Exclude",
       [](HWND rule) {
         select(rule, IDC_RULE_MODE, 1);  // "Exclude"
         press(rule, IDOK);
       }},
      {L"New Backup Profile", [](HWND editor) { press(editor, IDOK); }},
  };
  g_steps = &steps;
  g_next = 0;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &play);
  profile_editor_new(instance, ctx, config, list, nullptr);
  ::KillTimer(nullptr, timer);
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < row_count(list); ++i) rows.push_back({cell(list, i, 0), cell(list, i, 1)});
  ::DestroyWindow(list);

  EXPECT_EQ(g_next, steps.size()) << "the dialogs closed before every step was played";
  EXPECT_EQ(refusal,
            "Error - Wildcards (* and ?) are supported only in exclude rules.\n"
            "Include rules do not yet support wildcards.");
  EXPECT_TRUE(messages.shown().empty());  // every box was owned by its dialog

  std::unique_ptr<Profile> stored = profile_load(ctx, "my-backup_1", true);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->description, "Documents");
  EXPECT_EQ(stored->login, "anna");
  EXPECT_EQ(stored->server, "localhost");
  EXPECT_EQ(stored->port, 5421u);
  EXPECT_EQ(stored->thread_priority.load(), 4u);
  EXPECT_EQ(stored->file_delay_ms.load(), 250u);
  EXPECT_EQ(stored->include_rules, std::vector<std::string>{"C:\\Data"});
  EXPECT_EQ(stored->exclude_rules, std::vector<std::string>{"C:\\Data\\*.tmp"});
  // New added the saved profile's row to the list.
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"my-backup_1", "Documents"}));
}

}  // namespace
}  // namespace corvio::ui::win32
