// SPDX-License-Identifier: Apache-2.0
// The progress window as the run sees it: a set of text fields, a status line, the file
// progress bar and a few buttons. The Qt window and the terminal front end implement it;
// tests record it. Implementations are called from the worker thread and must hand each call
// to their own thread themselves; a call is complete when it returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvio::ui {

// The fields of the progress window, numbered as the window's controls.
enum class Field {
  ProfileName = 1004,
  TagName = 1005,
  Directory = 1012,
  Filename = 1013,
  Size = 1014,
  BlockText = 1016,
  Sent = 1017,
  Directories = 1018,
  Files = 1019,
  FilesSkipped = 1020,
  BytesTotal = 1021,
  BytesSkipped = 1022,
  BytesStored = 1023,
  BytesCompressed = 1024,
  BlocksTotal = 1025,
  NetTx = 1026,
  BlocksStored = 1027,
  BlocksDuped = 1028,
  TxRate = 1029,
  NetRx = 1030,
  RxRate = 1031,
  StartTime = 1032,
  Elapsed = 1033,
  Version = 1045,
};

class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void set_field(Field field, std::string_view text) = 0;
  virtual void set_status(std::string_view text) = 0;
  virtual std::string status() = 0;
  // The File Progress bar: position within 0..range.
  virtual void set_file_progress(uint32_t position, uint32_t range) = 0;
  virtual void set_pause_enabled(bool enabled) = 0;
  // The run has ended: Cancel becomes an enabled "Close", Pause and Throttling are disabled.
  virtual void show_run_finished() = 0;
};

}  // namespace corvio::ui
