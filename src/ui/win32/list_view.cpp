// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/list_view.h"

#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

void add_columns(HWND list, const std::vector<Column>& columns) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  for (size_t i = 0; i < columns.size(); ++i) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(columns[i].title);
    column.cx = columns[i].width;
    column.iSubItem = static_cast<int>(i);
    ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

void append_row(HWND list, const std::vector<std::string>& texts) {
  std::wstring first = widen(texts.at(0));
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row_count(list);
  item.pszText = first.data();
  const int row =
      static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (size_t i = 1; i < texts.size(); ++i) set_cell(list, row, static_cast<int>(i), texts[i]);
}

void set_cell(HWND list, int row, int column, std::string_view text) {
  std::wstring wide = widen(text);
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = wide.data();
  ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string cell(HWND list, int row, int column, size_t max_chars) {
  std::wstring buffer(max_chars + 1, L'\0');
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = buffer.data();
  item.cchTextMax = static_cast<int>(buffer.size());
  const auto n = ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                reinterpret_cast<LPARAM>(&item));
  buffer.resize(static_cast<size_t>(n));
  return narrow(buffer);
}

int row_count(HWND list) { return ListView_GetItemCount(list); }

int selected_row(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

}  // namespace corvio::ui::win32
