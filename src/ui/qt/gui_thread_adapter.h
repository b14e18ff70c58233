// SPDX-License-Identifier: Apache-2.0
// The one way from the worker thread into the windows. The run's display operations and its
// message boxes arrive here on whichever thread calls them; each is handed to the
// user-interface thread and the caller waits until it has been carried out, so a field write
// is complete when the display operation returns and a box has been answered when
// message_box returns. Called on the user-interface thread itself, they run at once.
//
// The user-interface thread must never wait for the worker while the worker may call in
// here: the progress window learns that the worker has ended from a queued notice instead.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "base/messages.h"
#include "base/progress_view.h"

namespace corvio::ui::qt {

class GuiThreadAdapter : public ProgressView, public Messages {
 public:
  // Create on the user-interface thread.
  GuiThreadAdapter() = default;

  // The progress window that receives the display operations and owns the boxes; null for
  // none (boxes are then owned by the active dialog). User-interface thread only.
  void set_window(ProgressView* view, QWidget* owner);

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
  void on_gui_thread(F f);

  QObject gui_;  // lives on the user-interface thread; the target of the handed calls
  ProgressView* view_ = nullptr;
  QPointer<QWidget> owner_;
};

}  // namespace corvio::ui::qt
