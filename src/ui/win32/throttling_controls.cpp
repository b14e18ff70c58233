// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/throttling_controls.h"

#include "ui/win32/resource.h"
#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

namespace {

constexpr const wchar_t* kPriorities[] = {L"Highest", L"Above Normal", L"Normal",
                                          L"Below Normal", L"Idle"};
constexpr const wchar_t* kUnits[] = {L"B/s (bytes/sec)",     L"KB/s (kilobytes/sec)",
                                     L"MB/s (megabytes/sec)", L"bps (bits/sec)",
                                     L"kbps (kilobits/sec)",  L"mbps (megabits/sec)"};

template <size_t N>
void fill_list(HWND dialog, int id, const wchar_t* const (&entries)[N], int selected) {
  ::SendDlgItemMessageW(dialog, id, CB_RESETCONTENT, 0, 0);
  for (const wchar_t* entry : entries)
    ::SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
  ::SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

// The selected position, -1 for none.
int selected(HWND dialog, int id) {
  return static_cast<int>(::SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

bool ticked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

}  // namespace

void show_throttling(HWND dialog, const ThrottlingFields& f) {
  fill_list(dialog, IDC_PRIORITY, kPriorities, f.priority_index);
  fill_list(dialog, IDC_TX_UNIT, kUnits, f.tx_unit_index);
  fill_list(dialog, IDC_RX_UNIT, kUnits, f.rx_unit_index);
  set_item_text(dialog, IDC_FILE_DELAY, f.file_delay);
  set_item_text(dialog, IDC_BLOCK_DELAY, f.block_delay);
  set_item_text(dialog, IDC_TX_RATE_LIMIT, f.tx_rate);
  set_item_text(dialog, IDC_RX_RATE_LIMIT, f.rx_rate);
  ::CheckDlgButton(dialog, IDC_TX_ENABLE, f.tx_limit ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(dialog, IDC_RX_ENABLE, f.rx_limit ? BST_CHECKED : BST_UNCHECKED);
}

ThrottlingFields read_throttling(HWND dialog) {
  ThrottlingFields f;
  f.priority_index = selected(dialog, IDC_PRIORITY);
  f.file_delay = item_text(dialog, IDC_FILE_DELAY);
  f.block_delay = item_text(dialog, IDC_BLOCK_DELAY);
  f.tx_limit = ticked(dialog, IDC_TX_ENABLE);
  f.tx_rate = item_text(dialog, IDC_TX_RATE_LIMIT);
  f.tx_unit_index = selected(dialog, IDC_TX_UNIT);
  f.rx_limit = ticked(dialog, IDC_RX_ENABLE);
  f.rx_rate = item_text(dialog, IDC_RX_RATE_LIMIT);
  f.rx_unit_index = selected(dialog, IDC_RX_UNIT);
  return f;
}

}  // namespace corvio::ui::win32
