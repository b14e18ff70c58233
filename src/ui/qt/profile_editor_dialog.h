// SPDX-License-Identifier: Apache-2.0
// The profile editor ("New Backup Profile", for New and for Edit): tag, description,
// connection, throttling, the shadow-copy switch and the list of include and exclude rules.
// OK hands the fields to ProfileEditor, which checks and saves them; the dialog closes only
// when the profile was saved.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>

#include "base/context.h"
#include "profile/profile_editor.h"
#include "ui/qt/click_list.h"
#include "ui/qt/prompts.h"
#include "ui/qt/throttling_controls.h"

namespace corvio::ui::qt {

class ProfileEditorDialog : public QDialog {
 public:
  ProfileEditorDialog(const Context& ctx, Config& config, std::unique_ptr<Profile> profile,
                      bool new_profile, QWidget* parent);

  // OK (1): 0 when saved and closed; otherwise the reason has been shown and it stays open.
  int ok();
  bool saved() const { return editor_.saved(); }
  const Profile& profile() const { return editor_.profile(); }

 private:
  EditorFields read() const;
  std::vector<RuleRow> rows() const;
  void add_row(const RuleRow& row);
  void open_rule_dialog(bool adding);
  void set_row_buttons(bool enabled);

  OwnedMessages messages_{this};
  Context ctx_;  // reports through messages_
  ProfileEditor editor_;
  QLineEdit* tag_;
  QLineEdit* description_;
  QLineEdit* login_;
  QLineEdit* password_;
  QLineEdit* server_;
  QLineEdit* port_;
  std::unique_ptr<ThrottlingControls> throttling_;
  QCheckBox* shadow_copy_;
  ClickList* rules_;
  QPushButton* edit_;
  QPushButton* remove_;
};

// New (from the main window): edits the new-profile defaults; after a save appends the new
// profile's row (tag, description) to list.
void profile_editor_new(const Context& ctx, Config& config, QTreeWidget* list, QWidget* owner);
// Edit: loads the profile (a profile that does not load is not edited; the load has said why)
// and after a save writes its description into the selected row of list.
void profile_editor_edit(const Context& ctx, Config& config, const std::string& tag,
                         QTreeWidget* list, QWidget* owner);

}  // namespace corvio::ui::qt
