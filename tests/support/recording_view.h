// SPDX-License-Identifier: Apache-2.0
// A progress window that remembers what it was told: every status text in order, the last
// text of every field, the file progress bar and the button states.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/progress_view.h"

namespace corvio::test {

class RecordingView : public ui::ProgressView {
 public:
  void set_field(ui::Field field, std::string_view text) override {
    std::lock_guard<std::mutex> lock(mu_);
    fields_[field] = std::string(text);
    changes_.push_back(std::to_string(static_cast<int>(field)) + "=" + std::string(text));
  }
  void set_status(std::string_view text) override {
    std::lock_guard<std::mutex> lock(mu_);
    status_ = std::string(text);
    statuses_.push_back(status_);
  }
  std::string status() override {
    std::lock_guard<std::mutex> lock(mu_);
    return status_;
  }
  void set_file_progress(uint32_t position, uint32_t range) override {
    std::lock_guard<std::mutex> lock(mu_);
    progress_position = position;
    progress_range = range;
    changes_.push_back("bar " + std::to_string(position) + "/" + std::to_string(range));
  }
  void set_pause_enabled(bool enabled) override {
    std::lock_guard<std::mutex> lock(mu_);
    pause_enabled = enabled;
    pause_changes.push_back(enabled);
  }
  void show_run_finished() override {
    std::lock_guard<std::mutex> lock(mu_);
    run_finished = true;
  }

  std::string field(ui::Field f) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = fields_.find(f);
    return it == fields_.end() ? std::string() : it->second;
  }
  std::vector<std::string> statuses() {
    std::lock_guard<std::mutex> lock(mu_);
    return statuses_;
  }
  // Every field text and bar position shown, in order, as "<field number>=<text>" and
  // "bar <position>/<range>".
  std::vector<std::string> changes() {
    std::lock_guard<std::mutex> lock(mu_);
    return changes_;
  }

  uint32_t progress_position = 0;
  uint32_t progress_range = 0;
  bool pause_enabled = false;
  std::vector<bool> pause_changes;
  bool run_finished = false;

 private:
  std::mutex mu_;
  std::map<ui::Field, std::string> fields_;
  std::string status_;
  std::vector<std::string> statuses_;
  std::vector<std::string> changes_;
};

}  // namespace corvio::test
