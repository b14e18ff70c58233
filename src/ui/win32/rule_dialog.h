// SPDX-License-Identifier: Apache-2.0
// The include/exclude rule dialog ("Include / Exclude", resource 138), modal over the profile
// editor: one rule's path or pattern (1059), its mode (1061), Browse File (1063) and Browse
// Path (1060). OK applies the rule dialog's checks to the editor's rows and puts the rule in.
#pragma once

#include <vector>

#include "base/context.h"
#include "profile/profile_editor.h"
#include "ui/win32/dialog.h"
#include "ui/win32/prompts.h"

namespace corvio::ui::win32 {

class RuleDialog : public Dialog {
 public:
  // Adds to rows (editing_row -1) or edits rows[editing_row]. Ends with IDOK when the rule
  // went into the rows.
  RuleDialog(HINSTANCE instance, const Context& ctx, std::vector<RuleRow>& rows, int editing_row);

 private:
  bool on_init() override;
  void on_command(int id, int code) override;

  OwnedMessages messages_;
  Context ctx_;  // reports through messages_
  std::vector<RuleRow>& rows_;
  int editing_row_;
};

}  // namespace corvio::ui::win32
