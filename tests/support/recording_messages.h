// SPDX-License-Identifier: Apache-2.0
// Records every message box instead of showing it, and answers questions with next_answer.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "base/messages.h"

namespace corvio::test {

struct ShownMessage {
  std::string text;
  std::string title;
  bool operator==(const ShownMessage&) const = default;
};

// So that a failed expectation shows the boxes, not their bytes.
inline void PrintTo(const ShownMessage& m, std::ostream* os) { *os << m.title << ": " << m.text; }

class RecordingMessages : public ui::Messages {
 public:
  ui::Answer message_box(std::string_view text, std::string_view title,
                         ui::Buttons buttons) override {
    std::lock_guard<std::mutex> lock(mu_);
    shown_.push_back({std::string(text), std::string(title)});
    return buttons == ui::Buttons::YesNo ? next_answer : ui::Answer::Ok;
  }

  std::vector<ShownMessage> shown() {
    std::lock_guard<std::mutex> lock(mu_);
    return shown_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mu_);
    shown_.clear();
  }

  ui::Answer next_answer = ui::Answer::No;

 private:
  std::mutex mu_;
  std::vector<ShownMessage> shown_;
};

}  // namespace corvio::test
