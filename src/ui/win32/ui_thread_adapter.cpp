// SPDX-License-Identifier: Apache-2.0
#include "ui/win32/ui_thread_adapter.h"

#include "ui/win32/prompts.h"

namespace corvio::ui::win32 {

namespace {

constexpr wchar_t kClassName[] = L"CorvioUiThread";
// wParam: the function that runs the call; lParam: the call.
constexpr UINT kRunCall = WM_APP + 1;
using CallRunner = void (*)(void*);

template <typename F>
void run_call(void* call) {
  (*static_cast<F*>(call))();
}

LRESULT CALLBACK target_procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunCall) {
    reinterpret_cast<CallRunner>(wp)(reinterpret_cast<void*>(lp));
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

UiThreadAdapter::UiThreadAdapter(HINSTANCE instance) : ui_thread_(::GetCurrentThreadId()) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &target_procedure;
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  ::RegisterClassExW(&wc);  // fails harmlessly when an earlier adapter registered it
  target_.reset(::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr));
}

template <typename F>
void UiThreadAdapter::on_ui_thread(F f) {
  if (::GetCurrentThreadId() == ui_thread_) {
    f();
  } else {
    ::SendMessageW(target_.get(), kRunCall, reinterpret_cast<WPARAM>(&run_call<F>),
                   reinterpret_cast<LPARAM>(&f));
  }
}

void UiThreadAdapter::set_window(ProgressView* view, HWND owner) {
  view_ = view;
  owner_ = owner;
}

void UiThreadAdapter::set_field(Field field, std::string_view text) {
  on_ui_thread([&] {
    if (view_) view_->set_field(field, text);
  });
}

void UiThreadAdapter::set_status(std::string_view text) {
  on_ui_thread([&] {
    if (view_) view_->set_status(text);
  });
}

std::string UiThreadAdapter::status() {
  std::string text;
  on_ui_thread([&] {
    if (view_) text = view_->status();
  });
  return text;
}

void UiThreadAdapter::set_file_progress(uint32_t position, uint32_t range) {
  on_ui_thread([&] {
    if (view_) view_->set_file_progress(position, range);
  });
}

void UiThreadAdapter::set_pause_enabled(bool enabled) {
  on_ui_thread([&] {
    if (view_) view_->set_pause_enabled(enabled);
  });
}

void UiThreadAdapter::show_run_finished() {
  on_ui_thread([&] {
    if (view_) view_->show_run_finished();
  });
}

Answer UiThreadAdapter::message_box(std::string_view text, std::string_view title,
                                    Buttons buttons) {
  Answer answer = Answer::Ok;
  on_ui_thread([&] {
    // Over the progress window, or over the dialog it has open (the throttling dialog), so
    // that closing the box does not enable a window that a modal dialog keeps disabled.
    HWND owner = owner_ ? ::GetLastActivePopup(owner_) : ::GetActiveWindow();
    answer = win32::message_box(owner, text, title, buttons);
  });
  return answer;
}

}  // namespace corvio::ui::win32
