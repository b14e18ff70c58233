// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace corvio::ui::qt {

namespace {

// User-interface thread only, so no lock.
struct Script {
  bool on = false;
  Answer next_answer = Answer::No;
  std::optional<QString> next_file;
  std::optional<QString> next_folder;
  std::vector<ShownBox> shown;
};

Script& script() {
  static Script s;
  return s;
}

// A scripted chooser answer, used once; nothing when the real chooser is to be shown.
std::optional<QString> take(std::optional<QString>& next) {
  std::optional<QString> out;
  out.swap(next);
  return out;
}

}  // namespace

Answer Prompts::message_box(QWidget* parent, std::string_view text, std::string_view title,
                            Buttons buttons) {
  Script& s = script();
  if (s.on) {
    s.shown.push_back({std::string(text), std::string(title)});
    return buttons == Buttons::YesNo ? s.next_answer : Answer::Ok;
  }
  if (buttons == Buttons::YesNo) {
    return QMessageBox::question(parent, qtext(title), qtext(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
               ? Answer::Yes
               : Answer::No;
  }
  QMessageBox::information(parent, qtext(title), qtext(text));
  return Answer::Ok;
}

QString Prompts::choose_file(QWidget* parent, const QString& title) {
  if (script().on) return take(script().next_file).value_or(QString());
  return QDir::toNativeSeparators(QFileDialog::getOpenFileName(parent, title, QString(), "*.*"));
}

QString Prompts::choose_folder(QWidget* parent, const QString& start) {
  if (script().on) return take(script().next_folder).value_or(QString());
  return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(parent, QString(), start));
}

void Prompts::set_scripted(bool on) {
  script() = Script();
  script().on = on;
}
void Prompts::set_next_answer(Answer answer) { script().next_answer = answer; }
void Prompts::set_next_file(const QString& path) { script().next_file = path; }
void Prompts::set_next_folder(const QString& path) { script().next_folder = path; }

std::vector<ShownBox> Prompts::take_shown() {
  std::vector<ShownBox> out;
  out.swap(script().shown);
  return out;
}

}  // namespace corvio::ui::qt
