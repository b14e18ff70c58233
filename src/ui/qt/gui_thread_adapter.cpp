// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/gui_thread_adapter.h"

#include <QApplication>
#include <QThread>

#include "ui/qt/prompts.h"

namespace corvio::ui::qt {

template <typename F>
void GuiThreadAdapter::on_gui_thread(F f) {
  if (QThread::currentThread() == gui_.thread())
    f();
  else
    QMetaObject::invokeMethod(&gui_, f, Qt::BlockingQueuedConnection);
}

void GuiThreadAdapter::set_window(ProgressView* view, QWidget* owner) {
  view_ = view;
  owner_ = owner;
}

void GuiThreadAdapter::set_field(Field field, std::string_view text) {
  on_gui_thread([&] {
    if (view_) view_->set_field(field, text);
  });
}

void GuiThreadAdapter::set_status(std::string_view text) {
  on_gui_thread([&] {
    if (view_) view_->set_status(text);
  });
}

std::string GuiThreadAdapter::status() {
  std::string text;
  on_gui_thread([&] {
    if (view_) text = view_->status();
  });
  return text;
}

void GuiThreadAdapter::set_file_progress(uint32_t position, uint32_t range) {
  on_gui_thread([&] {
    if (view_) view_->set_file_progress(position, range);
  });
}

void GuiThreadAdapter::set_pause_enabled(bool enabled) {
  on_gui_thread([&] {
    if (view_) view_->set_pause_enabled(enabled);
  });
}

void GuiThreadAdapter::show_run_finished() {
  on_gui_thread([&] {
    if (view_) view_->show_run_finished();
  });
}

Answer GuiThreadAdapter::message_box(std::string_view text, std::string_view title,
                                     Buttons buttons) {
  Answer answer = Answer::Ok;
  on_gui_thread([&] {
    QWidget* owner = owner_ ? owner_.data() : QApplication::activeModalWidget();
    answer = Prompts::message_box(owner, text, title, buttons);
  });
  return answer;
}

}  // namespace corvio::ui::qt
