// SPDX-License-Identifier: Apache-2.0
// The report-style list views of the main window and the profile editor: columns, rows of
// 8-bit texts, the selected row. User-interface thread only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <string_view>
#include <vector>

namespace corvio::ui::win32 {

struct Column {
  const wchar_t* title;
  int width;  // pixels
};

// Adds the columns, and selects whole rows so that a click anywhere on a row hits it.
void add_columns(HWND list, const std::vector<Column>& columns);
// Appends a row; texts[0] is the row text, the rest its columns.
void append_row(HWND list, const std::vector<std::string>& texts);
void set_cell(HWND list, int row, int column, std::string_view text);
// At most max_chars characters of a cell.
std::string cell(HWND list, int row, int column, size_t max_chars = 1023);
int row_count(HWND list);
// The selected row, -1 for none.
int selected_row(HWND list);

}  // namespace corvio::ui::win32
