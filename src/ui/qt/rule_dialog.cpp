// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/rule_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace corvio::ui::qt {

RuleDialog::RuleDialog(const Context& ctx, std::vector<RuleRow>& rows, int editing_row,
                       QWidget* parent)
    : QDialog(parent),
      ctx_{ctx.fs, ctx.clock, messages_, ctx.display, ctx.style, ctx.data_dir, ctx.install_dir},
      rows_(rows),
      editing_row_(editing_row) {
  setWindowTitle("Include / Exclude");
  setModal(true);
  auto* grid = new QGridLayout(this);
  auto* filespec = new QGroupBox("Filespec", this);
  auto* filespec_layout = new QHBoxLayout(filespec);
  path_ = new QLineEdit(filespec);
  path_->setObjectName("1059");
  path_->setMinimumWidth(360);
  filespec_layout->addWidget(path_);
  grid->addWidget(filespec, 0, 0, 1, 4);

  mode_ = new QComboBox(this);
  mode_->setObjectName("1061");
  mode_->addItems({kInclude, kExclude});
  auto* browse_file = new QPushButton("Browse File", this);
  browse_file->setObjectName("1063");
  auto* browse_path = new QPushButton("Browse Path", this);
  browse_path->setObjectName("1060");
  grid->addWidget(new QLabel("Mode:", this), 1, 0);
  grid->addWidget(mode_, 1, 1);
  grid->addWidget(browse_file, 1, 2);
  grid->addWidget(browse_path, 1, 3);

  auto* ok_button = new QPushButton("OK", this);
  ok_button->setObjectName("1");
  ok_button->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("2");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_button);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 2, 0, 1, 4);

  const bool editing = editing_row >= 0 && static_cast<size_t>(editing_row) < rows.size();
  path_->setText(editing ? qtext(rows[editing_row].path) : QString());
  mode_->setCurrentIndex(editing && rows[editing_row].mode != kInclude ? 1 : 0);

  connect(browse_file, &QPushButton::clicked, this, [this] {
    const QString file = Prompts::choose_file(this, "Browse Path / File");
    if (!file.isEmpty()) path_->setText(file);
  });
  connect(browse_path, &QPushButton::clicked, this, [this] {
    const QString folder =
        Prompts::choose_folder(this, ctx_.style.is_windows() ? "c:\\" : "/");
    if (!folder.isEmpty()) path_->setText(folder.left(259));
  });
  connect(ok_button, &QPushButton::clicked, this, [this] { ok(); });
  connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
}

int RuleDialog::ok() {
  if (rule_dialog_ok(ctx_, rows_, text8(path_->text()), mode_->currentIndex() == 0,
                     editing_row_) != 0) {
    return 1;
  }
  done(1);
  return 0;
}

}  // namespace corvio::ui::qt
