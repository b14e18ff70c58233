// SPDX-License-Identifier: Apache-2.0
// The include/exclude rule dialog ("Include / Exclude"), modal over the profile editor: one
// rule's path or pattern (1059), its mode (1061), Browse File (1063) and Browse Path (1060).
// OK applies the rule dialog's checks to the editor's rows and puts the rule in.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <vector>

#include "base/context.h"
#include "profile/profile_editor.h"
#include "ui/qt/prompts.h"

namespace corvio::ui::qt {

class RuleDialog : public QDialog {
 public:
  // Adds to rows (editing_row -1) or edits rows[editing_row].
  RuleDialog(const Context& ctx, std::vector<RuleRow>& rows, int editing_row, QWidget* parent);

  // 0 when the rule went into the rows and the dialog closed; otherwise it stays open.
  int ok();

 private:
  OwnedMessages messages_{this};
  Context ctx_;  // reports through messages_
  std::vector<RuleRow>& rows_;
  int editing_row_;
  QLineEdit* path_;
  QComboBox* mode_;
};

}  // namespace corvio::ui::qt
