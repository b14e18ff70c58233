// SPDX-License-Identifier: Apache-2.0
// The main window ("Meridane Online Backup"): the list of profiles (Tag, Description and Last
// Run, the start and outcome of the profile's newest run on this machine) and the buttons Backup, Quit, New, Edit, Delete, About and Help.
// Backup and a double click on a row load the row's profile into the run record and end the
// window with chosen() set, so that the progress window can follow.
#pragma once

#include <QDialog>
#include <QPushButton>

#include "app/application.h"
#include "ui/qt/click_list.h"

namespace corvio::ui::qt {

class MainWindow : public QDialog {
 public:
  explicit MainWindow(Application& app);

  // True when a profile was loaded for a run.
  bool chosen() const { return chosen_; }

  // Quit (2) and the close box.
  void reject() override { done(2); }

 private:
  // The entry of the selected row's tag, made the selected profile; null when none matches.
  const ProfileListEntry* selected_entry();
  void backup();
  void rebuild_list();
  void set_row_buttons(bool enabled);

  Application& app_;
  ClickList* list_;
  QPushButton* backup_;
  QPushButton* edit_;
  QPushButton* delete_;
  bool chosen_ = false;
};

// The About box ("About Corvio") with the version line (1045), modal over parent.
void show_about_box(QWidget* parent);

}  // namespace corvio::ui::qt
