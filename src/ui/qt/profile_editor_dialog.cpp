// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/profile_editor_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <algorithm>

#include "profile/profile_db.h"
#include "ui/qt/button.h"
#include "ui/qt/rule_dialog.h"

namespace corvio::ui::qt {

namespace {

QLineEdit* edit(QWidget* parent, const char* id) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(id);
  return e;
}

}  // namespace

ProfileEditorDialog::ProfileEditorDialog(const Context& ctx, Config& config,
                                         std::unique_ptr<Profile> profile, bool new_profile,
                                         QWidget* parent)
    : QDialog(parent),
      ctx_{ctx.fs, ctx.clock, messages_, ctx.display, ctx.style, ctx.data_dir, ctx.install_dir},
      editor_(ctx_, config, std::move(profile), new_profile) {
  setWindowTitle("New Backup Profile");
  setModal(true);
  auto* grid = new QGridLayout(this);
  auto label = [this](const char* text) { return new QLabel(text, this); };
  tag_ = edit(this, "1005");
  description_ = edit(this, "1004");
  login_ = edit(this, "1046");
  password_ = edit(this, "1047");
  password_->setEchoMode(QLineEdit::Password);
  server_ = edit(this, "1048");
  port_ = edit(this, "1049");

  grid->addWidget(label("Tag:"), 0, 0);
  grid->addWidget(tag_, 0, 1);
  grid->addWidget(label("Description:"), 0, 2);
  grid->addWidget(description_, 0, 3);
  grid->addWidget(label("Login:"), 1, 0);
  grid->addWidget(login_, 1, 1);
  grid->addWidget(label("Password:"), 1, 2);
  grid->addWidget(password_, 1, 3);
  grid->addWidget(label("Server:"), 2, 0);
  grid->addWidget(server_, 2, 1);
  grid->addWidget(label("Port:"), 2, 2);
  grid->addWidget(port_, 2, 3);

  auto* throttling_grid = new QGridLayout;
  throttling_ = std::make_unique<ThrottlingControls>(this, throttling_grid, 0);
  grid->addLayout(throttling_grid, 3, 0, 1, 4);

  shadow_copy_ = new QCheckBox(
      "Use Volume Shadow Copy to copy files that are in use (works on Windows XP and later, "
      "and Corvio must be run as Administrator)",
      this);
  shadow_copy_->setObjectName("1065");
  grid->addWidget(shadow_copy_, 4, 0, 1, 4);

  rules_ = new ClickList(this, "1001", {"Mode", "Path / File", "Type", "Files", "Size"},
                         {50, 500, 50, 50, 50});
  // The mode texts must fit where the system font is wider than the one the widths were
  // chosen for.
  rules_->setColumnWidth(0, std::max(50, rules_->fontMetrics().horizontalAdvance(kExclude) + 16));
  rules_->setMinimumWidth(720);
  grid->addWidget(rules_, 5, 0, 1, 4);

  auto* rule_buttons = new QHBoxLayout;
  QPushButton* add = button(this, "Add", "1053");
  edit_ = button(this, "Edit", "1055");
  remove_ = button(this, "Remove", "1054");
  QPushButton* refresh = button(this, "Refresh", "1064");
  refresh->setEnabled(false);
  QPushButton* ok_button = button(this, "OK", "1");
  ok_button->setDefault(true);
  QPushButton* cancel = button(this, "Cancel", "2");
  for (QPushButton* b : {add, edit_, remove_, refresh}) rule_buttons->addWidget(b);
  rule_buttons->addStretch();
  rule_buttons->addWidget(ok_button);
  rule_buttons->addWidget(cancel);
  grid->addLayout(rule_buttons, 6, 0, 1, 4);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 2);

  // Opening: the record's fields, includes listed before excludes.
  const EditorFields f = editor_fields(editor_.profile());
  tag_->setText(qtext(f.tag));
  description_->setText(qtext(f.description));
  login_->setText(qtext(f.login));
  password_->setText(qtext(f.password));
  server_->setText(qtext(f.server));
  port_->setText(qtext(f.port));
  throttling_->show(f.throttling);
  shadow_copy_->setChecked(f.shadow_copy);
  for (const RuleRow& row : f.rules) add_row(row);
  tag_->setEnabled(new_profile);
  set_row_buttons(false);

  rules_->on_click = [this](bool on_row) { set_row_buttons(on_row); };
  rules_->on_row_double_click = [this] { open_rule_dialog(false); };
  connect(add, &QPushButton::clicked, this, [this] { open_rule_dialog(true); });
  connect(edit_, &QPushButton::clicked, this, [this] { open_rule_dialog(false); });
  connect(remove_, &QPushButton::clicked, this, [this] {
    delete rules_->currentItem();  // nothing is saved until OK
  });
  connect(ok_button, &QPushButton::clicked, this, [this] { ok(); });
  connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
}

void ProfileEditorDialog::set_row_buttons(bool enabled) {
  edit_->setEnabled(enabled);
  remove_->setEnabled(enabled);
}

void ProfileEditorDialog::add_row(const RuleRow& row) {
  new QTreeWidgetItem(rules_, {qtext(row.mode), qtext(row.path)});
}

std::vector<RuleRow> ProfileEditorDialog::rows() const {
  std::vector<RuleRow> out;
  for (int i = 0; i < rules_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = rules_->topLevelItem(i);
    out.push_back({text8(item->text(0)), text8(item->text(1))});
  }
  return out;
}

void ProfileEditorDialog::open_rule_dialog(bool adding) {
  int editing_row = -1;
  if (!adding) {
    QTreeWidgetItem* item = rules_->currentItem();
    if (!item) return;
    editing_row = rules_->indexOfTopLevelItem(item);
  }
  std::vector<RuleRow> rows = this->rows();
  RuleDialog dialog(ctx_, rows, editing_row, this);
  if (dialog.exec() != 1) return;
  if (adding) {
    add_row(rows.back());
  } else {
    QTreeWidgetItem* item = rules_->topLevelItem(editing_row);
    item->setText(0, qtext(rows[editing_row].mode));
    item->setText(1, qtext(rows[editing_row].path));
  }
}

EditorFields ProfileEditorDialog::read() const {
  EditorFields f;
  f.tag = text8(tag_->text());
  f.description = text8(description_->text());
  f.login = text8(login_->text());
  f.password = text8(password_->text());
  f.server = text8(server_->text());
  f.port = text8(port_->text());
  f.throttling = throttling_->read();
  f.shadow_copy = shadow_copy_->isChecked();
  f.rules = rows();
  return f;
}

int ProfileEditorDialog::ok() {
  if (editor_.ok(read()) != 0) return 1;
  done(1);
  return 0;
}

void profile_editor_new(const Context& ctx, Config& config, QTreeWidget* list, QWidget* owner) {
  ProfileEditorDialog dialog(ctx, config, new_profile_defaults(), true, owner);
  dialog.exec();
  if (!dialog.saved()) return;
  new QTreeWidgetItem(list, {qtext(dialog.profile().tag), qtext(dialog.profile().description)});
}

void profile_editor_edit(const Context& ctx, Config& config, const std::string& tag,
                         QTreeWidget* list, QWidget* owner) {
  std::unique_ptr<Profile> profile = profile_load(ctx, tag, false);
  if (!profile) return;
  ProfileEditorDialog dialog(ctx, config, std::move(profile), false, owner);
  dialog.exec();
  if (!dialog.saved()) return;
  if (QTreeWidgetItem* row = list->currentItem())
    row->setText(1, qtext(dialog.profile().description));
}

}  // namespace corvio::ui::qt
