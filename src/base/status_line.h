// SPDX-License-Identifier: Apache-2.0
// The part of the progress window that the connection may show: the status line and the state
// of the Pause button (disabled while a retry loop runs). It writes into the progress window
// when one is attached and does nothing otherwise. The rest of the window (counters, current
// file, progress bar) is the run's, through Display.
//
// attach() is called by the front end before the worker starts and detach() after it has
// ended; every other operation may be called from the worker thread.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "base/progress_view.h"

namespace corvio::ui {

class StatusLine {
 public:
  void attach(ProgressView* view) { view_.store(view); }
  void detach() { view_.store(nullptr); }
  bool attached() const { return view_.load() != nullptr; }

  void set_status_text(std::string_view text);
  // The status line as shown, or empty without a window.
  std::string status_text();
  void set_pause_enabled(bool enabled);

 protected:
  ProgressView* view() const { return view_.load(); }

 private:
  std::atomic<ProgressView*> view_{nullptr};
};

}  // namespace corvio::ui
