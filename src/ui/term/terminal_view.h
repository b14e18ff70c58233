// SPDX-License-Identifier: Apache-2.0
// The progress window drawn on a terminal. The worker writes fields and the status line from
// its thread; the front end's thread redraws. On an interactive terminal draw() repaints a
// block of lines in place (status, directory and file with a bar for the current file, the
// counters, the transfer totals, rates and elapsed time). Otherwise only status changes are
// printed, one plain line each, so that logs of cron or systemd stay readable.
#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "base/progress_view.h"

namespace corvio::ui {

class TerminalView : public ProgressView {
 public:
  TerminalView(std::FILE* out, bool interactive) : out_(out), interactive_(interactive) {}

  void set_field(Field field, std::string_view text) override;
  void set_status(std::string_view text) override;
  std::string status() override;
  void set_file_progress(uint32_t position, uint32_t range) override;
  void set_pause_enabled(bool enabled) override;
  void show_run_finished() override;

  // Repaints the block of lines (interactive terminals only).
  void draw(bool paused);
  // Leaves the block on screen and moves below it.
  void finish();
  std::string field(Field f);

 private:
  std::mutex mu_;
  std::FILE* out_;
  bool interactive_;
  std::map<Field, std::string> fields_;
  std::string status_;
  uint32_t position_ = 0;
  uint32_t range_ = 1;
  int drawn_lines_ = 0;
};

// Text with every control character replaced by '?', so that names from the file system
// cannot move the cursor or forge lines.
std::string printable(std::string_view text);

}  // namespace corvio::ui
