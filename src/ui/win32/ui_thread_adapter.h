// SPDX-License-Identifier: Apache-2.0
// The one way from the worker thread into the windows. The run's display operations and its
// message boxes arrive here on whichever thread calls them; each is sent to a message-only
// window of the user-interface thread and the caller waits until that thread has carried it
// out (SendMessage), so a field write is complete when the display operation returns and a
// box has been answered when message_box returns. Called on the user-interface thread itself,
// they run at once. The user-interface thread serves these calls whenever it waits for
// messages, including inside modal dialogs and message boxes.
//
// The user-interface thread must never wait for the worker while the worker may call in
// here: the progress window learns that the worker has ended from a posted message instead.
#pragma once

#include <windows.h>

#include "base/messages.h"
#include "base/progress_view.h"
#include "ui/win32/gdi_handles.h"

namespace corvio::ui::win32 {

class UiThreadAdapter : public ProgressView, public Messages {
 public:
  // Create on the user-interface thread.
  explicit UiThreadAdapter(HINSTANCE instance);
  UiThreadAdapter(const UiThreadAdapter&) = delete;
  UiThreadAdapter& operator=(const UiThreadAdapter&) = delete;

  // The progress window that receives the display operations and owns the boxes (or the
  // dialog it has open does); null for none (boxes are then owned by the thread's active
  // window). User-interface thread only.
  void set_window(ProgressView* view, HWND owner);

  void set_field(Field field, std::string_view text) override;
  void set_status(std::string_view text) override;
  std::string status() override;
  void set_file_progress(uint32_t position, uint32_t range) override;
  void set_pause_enabled(bool enabled) override;
  void show_run_finished() override;

  Answer message_box(std::string_view text, std::string_view title, Buttons buttons) override;

 private:
  // Runs f on the user-interface thread and returns when it has run.
  template <typename F>
  void on_ui_thread(F f);

  DWORD ui_thread_;
  UniqueWindow target_;  // message-only window; the receiver of the handed calls
  ProgressView* view_ = nullptr;
  HWND owner_ = nullptr;
};

}  // namespace corvio::ui::win32
