// SPDX-License-Identifier: Apache-2.0
#include "ui/term/terminal_view.h"

#include <algorithm>

namespace corvio::ui {

std::string printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = '?';
  }
  return out;
}

void TerminalView::set_field(Field field, std::string_view text) {
  std::lock_guard<std::mutex> lock(mu_);
  fields_[field] = std::string(text);
}

void TerminalView::set_status(std::string_view text) {
  std::lock_guard<std::mutex> lock(mu_);
  if (status_ == text) return;
  status_ = std::string(text);
  if (!interactive_ && !status_.empty()) {
    std::fprintf(out_, "%s\n", printable(status_).c_str());
    std::fflush(out_);
  }
}

std::string TerminalView::status() {
  std::lock_guard<std::mutex> lock(mu_);
  return status_;
}

void TerminalView::set_file_progress(uint32_t position, uint32_t range) {
  std::lock_guard<std::mutex> lock(mu_);
  position_ = position;
  range_ = range == 0 ? 1 : range;
}

void TerminalView::set_pause_enabled(bool) {}
void TerminalView::show_run_finished() {}

std::string TerminalView::field(Field f) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = fields_.find(f);
  return it == fields_.end() ? std::string() : it->second;
}

void TerminalView::draw(bool paused) {
  if (!interactive_) return;
  std::lock_guard<std::mutex> lock(mu_);
  auto f = [this](Field field) {
    auto it = fields_.find(field);
    return it == fields_.end() ? std::string() : printable(it->second);
  };
  constexpr int kBar = 30;
  const int filled =
      static_cast<int>(std::min<uint64_t>(kBar, uint64_t{kBar} * position_ / range_));
  const std::string bar = "[" + std::string(filled, '#') + std::string(kBar - filled, '.') + "]";

  const std::string lines[] = {
      printable(status_) + (paused ? "   [paused: p or SIGUSR1 resumes]" : ""),
      "Directory: " + f(Field::Directory),
      "File:      " + f(Field::Filename) + "  Size: " + f(Field::Size) + " Sent: " + f(Field::Sent),
      "           " + bar + " " + f(Field::BlockText),
      "Dirs: " + f(Field::Directories) + " Files: " + f(Field::Files) +
          " Skipped: " + f(Field::FilesSkipped) + " Blocks: " + f(Field::BlocksTotal) + " stored " +
          f(Field::BlocksStored) + " duped " + f(Field::BlocksDuped),
      "Bytes: " + f(Field::BytesTotal) + " skipped " + f(Field::BytesSkipped) + " stored " +
          f(Field::BytesStored) + " compressed " + f(Field::BytesCompressed),
      "Net TX: " + f(Field::NetTx) + "(" + f(Field::TxRate) + ") RX: " + f(Field::NetRx) + "(" +
          f(Field::RxRate) + ")  Started: " + f(Field::StartTime) +
          "  Elapsed: " + f(Field::Elapsed),
  };
  if (drawn_lines_ > 0) std::fprintf(out_, "\033[%dA", drawn_lines_);
  for (const std::string& line : lines) std::fprintf(out_, "\r\033[K%s\n", line.c_str());
  drawn_lines_ = static_cast<int>(std::size(lines));
  std::fflush(out_);
}

void TerminalView::finish() {
  std::lock_guard<std::mutex> lock(mu_);
  drawn_lines_ = 0;
}

}  // namespace corvio::ui
