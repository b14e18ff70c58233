// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/progress_window.h"

#include <commctrl.h>

#include <algorithm>

#include "base/version.h"
#include "ui/win32/resource.h"
#include "ui/win32/throttling_dialog.h"
#include "ui/win32/wide_text.h"

namespace corvio::ui::win32 {

namespace {

// Posted by the worker thread.
constexpr UINT kCloseWhenDone = WM_APP + 1;
constexpr UINT kWorkerEnded = WM_APP + 2;

constexpr UINT_PTR kTimer100ms = 1;
constexpr UINT_PTR kTimer500ms = 2;
constexpr UINT_PTR kTimer3000ms = 3;

}  // namespace

ProgressWindow::ProgressWindow(HINSTANCE instance, Context& ctx, BackupSession& session,
                               UiThreadAdapter& adapter, RunWorker run_worker)
    : Dialog(instance, IDD_PROGRESS),
      session_(session),
      adapter_(adapter),
      run_worker_(std::move(run_worker)),
      run_(ctx, session) {}

ProgressWindow::~ProgressWindow() {
  if (run_.running()) {
    // Only when the window goes away with the run still on (the program is being torn down):
    // the worker may be waiting for this thread, so keep serving it until it has ended.
    session_.cancel_requested = 1;
    while (!run_.finished()) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    run_.join();
  }
  adapter_.set_window(nullptr, nullptr);
}

bool ProgressWindow::on_init() {
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(::LoadIconW(instance(), MAKEINTRESOURCEW(IDI_CORVIO))));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(::LoadIconW(instance(), MAKEINTRESOURCEW(IDI_SMALL))));
  status_font_.reset(::CreateFontW(22, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH, L"arial"));
  ::SendDlgItemMessageW(hwnd(), IDC_STATUS, WM_SETFONT,
                        reinterpret_cast<WPARAM>(status_font_.get()), TRUE);

  adapter_.set_window(this, hwnd());
  const HWND window = hwnd();
  auto body = [this, window] {
    return run_worker_([window] { ::PostMessageW(window, kCloseWhenDone, 0, 0); });
  };
  // The worker's last act: the join and a pending close happen on this thread.
  auto ended = [window] { ::PostMessageW(window, kWorkerEnded, 0, 0); };
  run_.start(adapter_, body, ended);
  set_field(Field::Version, version_text() + " for Windows Vista");
  ::SetTimer(hwnd(), kTimer100ms, 100, nullptr);
  ::SetTimer(hwnd(), kTimer500ms, 500, nullptr);
  ::SetTimer(hwnd(), kTimer3000ms, 3000, nullptr);
  // Cancel takes the keyboard rather than a read-only field.
  ::SetFocus(item(IDCANCEL));
  return false;
}

void ProgressWindow::on_command(int id, int) {
  switch (id) {
    case IDCANCEL:  // Cancel, Close and the close box
      if (run_.running()) {
        session_.cancel_requested = 1;  // the worker reacts at its next check
        return;
      }
      end(IDCANCEL);
      break;
    case IDC_PAUSE:
      pause_pressed();
      break;
    case IDC_THROTTLING:
      ThrottlingDialog(instance(), *session_.profile, [this](uint32_t p) {
        run_.set_worker_priority(p);
      }).run(hwnd());
      break;
  }
}

bool ProgressWindow::on_message(UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_TIMER:
      if (wp == kTimer100ms) run_.every_100ms();
      if (wp == kTimer500ms) run_.every_500ms();
      if (wp == kTimer3000ms) run_.every_3000ms();
      return true;
    case kCloseWhenDone:
      close_when_done_ = true;
      return true;
    case kWorkerEnded:
      run_.join();
      if (close_when_done_) end(IDOK);
      return true;
    case WM_DESTROY:
      for (UINT_PTR timer : {kTimer100ms, kTimer500ms, kTimer3000ms}) ::KillTimer(hwnd(), timer);
      return false;
  }
  return false;
}

void ProgressWindow::pause_pressed() {
  if (session_.pause_requested.load()) {
    session_.pause_requested = 0;
    ::SetDlgItemTextW(hwnd(), IDC_PAUSE, L"Pause");
  } else {
    session_.pause_requested = 1;
    ::SetDlgItemTextW(hwnd(), IDC_PAUSE, L"Resume");
  }
}

void ProgressWindow::set_field(Field field, std::string_view text) {
  set_item_text(hwnd(), static_cast<int>(field), text);
}

void ProgressWindow::set_status(std::string_view text) { set_item_text(hwnd(), IDC_STATUS, text); }

std::string ProgressWindow::status() { return item_text(hwnd(), IDC_STATUS, 1023); }

void ProgressWindow::set_file_progress(uint32_t position, uint32_t range) {
  // The bar's scale is a signed int; keep the proportion for larger ranges.
  while (range > 1'000'000'000u) {
    range /= 2;
    position /= 2;
  }
  ::SendDlgItemMessageW(hwnd(), IDC_FILE_PROGRESS, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
  ::SendDlgItemMessageW(hwnd(), IDC_FILE_PROGRESS, PBM_SETPOS, std::min(position, range), 0);
}

void ProgressWindow::set_pause_enabled(bool enabled) { enable(IDC_PAUSE, enabled); }

void ProgressWindow::show_run_finished() {
  enable(IDCANCEL, true);
  ::SetDlgItemTextW(hwnd(), IDCANCEL, L"Close");
  // Close takes the keyboard, which a button about to be disabled may hold.
  ::SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IDCANCEL)), TRUE);
  enable(IDC_THROTTLING, false);
  enable(IDC_PAUSE, false);
}

}  // namespace corvio::ui::win32
