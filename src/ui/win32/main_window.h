// SPDX-License-Identifier: Apache-2.0
// The main window ("Meridane Online Backup", resource 129): the list of profiles (Tag,
// Description and Last Run, the start and outcome of the profile's newest run on this
// machine) and the buttons Backup, Quit, New, Edit, Delete, About and Help. Backup and a
// double click on a row load the row's profile into the run record and end the window with
// chosen() set, so that the progress window can follow. User-interface thread only.
#pragma once

#include "app/application.h"
#include "ui/win32/dialog.h"

namespace corvio::ui::win32 {

class MainWindow : public Dialog {
 public:
  MainWindow(HINSTANCE instance, Application& app);

  // True when a profile was loaded for a run.
  bool chosen() const { return chosen_; }

 private:
  bool on_init() override;
  void on_command(int id, int code) override;
  void on_notify(const NMHDR& header) override;

  // The entry of the selected row's tag; null when there is no selected row or no entry
  // matches.
  const ProfileListEntry* selected_entry();
  void backup(const ProfileListEntry& entry);
  void rebuild_list();
  void set_row_buttons(bool enabled);
  HWND list() const;

  Application& app_;
  bool chosen_ = false;
};

}  // namespace corvio::ui::win32
