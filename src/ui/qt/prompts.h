// SPDX-License-Identifier: Apache-2.0
// The windows' modal prompts: message boxes and the file and folder choosers. Every dialog
// asks through these, so that tests can script them: with scripting on, a box is recorded
// instead of shown and answered with the next answer, and a chooser returns the next file or
// folder set for it. Call on the user-interface thread only.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"

class QWidget;

namespace corvio::ui::qt {

struct ShownBox {
  std::string text;
  std::string title;
  bool operator==(const ShownBox&) const = default;
};

class Prompts {
 public:
  // A modal box with an OK button, or Yes and No, owned by parent.
  static Answer message_box(QWidget* parent, std::string_view text, std::string_view title,
                            Buttons buttons = Buttons::Ok);
  // The file chooser; the chosen file's full path, or empty when cancelled.
  static QString choose_file(QWidget* parent, const QString& title);
  // The folder chooser opening on start; the chosen folder, or empty when cancelled.
  static QString choose_folder(QWidget* parent, const QString& start);

  // Test seams. Scripting on: boxes are recorded and answered with next_answer (OK for OK
  // boxes), choosers take the next file or folder once (an empty text cancels).
  static void set_scripted(bool on);
  static void set_next_answer(Answer answer);
  static void set_next_file(const QString& path);
  static void set_next_folder(const QString& path);
  // The boxes recorded so far, which are then forgotten.
  static std::vector<ShownBox> take_shown();
};

// Messages for code that reports through ui::Messages on the user-interface thread: each box
// is owned by the given window.
class OwnedMessages : public Messages {
 public:
  explicit OwnedMessages(QWidget* owner) : owner_(owner) {}
  Answer message_box(std::string_view text, std::string_view title, Buttons buttons) override {
    return Prompts::message_box(owner_, text, title, buttons);
  }

 private:
  QWidget* owner_;
};

// 8-bit texts of files, databases and paths to window texts and back.
inline QString qtext(std::string_view s) {
  return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string text8(const QString& s) { return s.toLocal8Bit().toStdString(); }

}  // namespace corvio::ui::qt
