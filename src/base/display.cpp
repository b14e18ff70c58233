// SPDX-License-Identifier: Apache-2.0
#include "base/display.h"

#include "util/format_count.h"

namespace corvio::ui {

void StatusLine::set_status_text(std::string_view text) {
  if (ProgressView* v = view()) v->set_status(text);
}

std::string StatusLine::status_text() {
  ProgressView* v = view();
  return v ? v->status() : std::string();
}

void Display::set_text(Field field, std::string_view text) {
  if (ProgressView* v = view()) v->set_field(field, text);
}

void Display::set_file_progress(uint32_t position, uint32_t range) {
  if (ProgressView* v = view()) v->set_file_progress(position, range);
}

void StatusLine::set_pause_enabled(bool enabled) {
  if (ProgressView* v = view()) v->set_pause_enabled(enabled);
}

void Display::show_run_finished() {
  if (ProgressView* v = view()) v->show_run_finished();
}

void Display::set_count(Field field, uint64_t value) {
  if (ProgressView* v = view()) v->set_field(field, format_count(value) + " ");
}

}  // namespace corvio::ui
