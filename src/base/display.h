// SPDX-License-Identifier: Apache-2.0
// The operations through which the run reports its progress: the status line (StatusLine), the
// current file, the counters and the file progress bar. They write into the progress window
// when one is attached and do nothing otherwise, so the engine runs the same with a window,
// with the terminal front end, and with none at all. Every operation may be called from the
// worker thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/status_line.h"

namespace corvio::ui {

class Display : public StatusLine {
 public:
  void set_text(Field field, std::string_view text);
  void set_file_progress(uint32_t position, uint32_t range);
  void show_run_finished();

  // Counter fields: the value in format_count followed by one blank.
  void set_count(Field field, uint64_t value);
  void set_files(uint32_t v) { set_count(Field::Files, v); }
  void set_directories(uint32_t v) { set_count(Field::Directories, v); }
  void set_files_skipped(uint32_t v) { set_count(Field::FilesSkipped, v); }
  void set_bytes_skipped(uint64_t v) { set_count(Field::BytesSkipped, v); }
  void set_bytes_compressed(uint64_t v) { set_count(Field::BytesCompressed, v); }
  void set_bytes_stored(uint64_t v) { set_count(Field::BytesStored, v); }
  void set_bytes_total(uint64_t v) { set_count(Field::BytesTotal, v); }
  void set_segs_stored(uint32_t v) { set_count(Field::BlocksStored, v); }
  void set_segs_duped(uint32_t v) { set_count(Field::BlocksDuped, v); }
  void set_segs_total(uint32_t v) { set_count(Field::BlocksTotal, v); }
  void set_file_bytes_sent(uint64_t v) { set_count(Field::Sent, v); }
};

}  // namespace corvio::ui
