// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/prompts.h"

#include <commdlg.h>
#include <shlobj.h>

#include <memory>

#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

namespace {

struct TaskMemFree {
  void operator()(ITEMIDLIST* p) const { ::CoTaskMemFree(p); }
};
using UniqueIdList = std::unique_ptr<ITEMIDLIST, TaskMemFree>;

// Selects the start folder as soon as the folder chooser is up.
int CALLBACK select_start(HWND hwnd, UINT msg, LPARAM, LPARAM start) {
  if (msg == BFFM_INITIALIZED) ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

}  // namespace

Answer message_box(HWND owner, std::string_view text, std::string_view title, Buttons buttons) {
  const std::wstring wide_text = widen(text);
  const std::wstring wide_title = widen(title);
  if (buttons == Buttons::YesNo) {
    return ::MessageBoxW(owner, wide_text.c_str(), wide_title.c_str(), MB_YESNO | MB_ICONQUESTION) ==
                   IDYES
               ? Answer::Yes
               : Answer::No;
  }
  ::MessageBoxW(owner, wide_text.c_str(), wide_title.c_str(), MB_OK);
  return Answer::Ok;
}

std::optional<std::string> choose_file(HWND owner) {
  wchar_t file[260] = L"";
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"*.*\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = static_cast<DWORD>(std::size(file));
  ofn.lpstrTitle = L"Browse Path / File";
  ofn.Flags = OFN_SHAREAWARE | OFN_NOTESTFILECREATE;
  if (!::GetOpenFileNameW(&ofn)) return std::nullopt;
  return narrow(file);
}

std::optional<std::string> choose_folder(HWND owner, const std::wstring& start) {
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = &select_start;
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  UniqueIdList chosen(::SHBrowseForFolderW(&info));
  if (!chosen) return std::nullopt;
  wchar_t path[MAX_PATH] = L"";
  if (!::SHGetPathFromIDListW(chosen.get(), path)) return std::nullopt;
  return narrow(path);
}

}  // namespace corvio::ui::win32
