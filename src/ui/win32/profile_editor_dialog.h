// SPDX-License-Identifier: Apache-2.0
// The profile editor ("New Backup Profile", resource 137, for New and for Edit): tag,
// description, connection, throttling, the shadow-copy switch and the list of include and
// exclude rules. OK hands the fields to ProfileEditor, which checks and saves them; the dialog
// closes only when the profile was saved. User-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/context.h"
#include "profile/profile_editor.h"
#include "ui/win32/dialog.h"
#include "ui/win32/prompts.h"

namespace corvio::ui::win32 {

class ProfileEditorDialog : public Dialog {
 public:
  ProfileEditorDialog(HINSTANCE instance, const Context& ctx, Config& config,
                      std::unique_ptr<Profile> profile, bool new_profile);

  bool saved() const { return editor_.saved(); }
  const Profile& profile() const { return editor_.profile(); }

 private:
  bool on_init() override;
  void on_command(int id, int code) override;
  void on_notify(const NMHDR& header) override;

  EditorFields read() const;
  std::vector<RuleRow> rows() const;
  void open_rule_dialog(bool adding);
  void set_row_buttons(bool enabled);

  OwnedMessages messages_;
  Context ctx_;  // reports through messages_
  ProfileEditor editor_;
  bool new_profile_;
};

// New (from the main window): edits the new-profile defaults; after a save appends the new
// profile's row (tag, description) to list.
void profile_editor_new(HINSTANCE instance, const Context& ctx, Config& config, HWND list,
                        HWND owner);
// Edit: loads the profile (a profile that does not load is not edited; the load has said why)
// and after a save writes its description into the selected row of list.
void profile_editor_edit(HINSTANCE instance, const Context& ctx, Config& config,
                         const std::string& tag, HWND list, HWND owner);

}  // namespace corvio::ui::win32
