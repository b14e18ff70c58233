// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/main_window.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>

#include "base/version.h"
#include "catalog/run_list.h"
#include "profile/profile_db.h"
#include "ui/qt/button.h"
#include "ui/qt/profile_editor_dialog.h"
#include "ui/qt/prompts.h"

namespace corvio::ui::qt {

namespace {

constexpr char kTitle[] = "Meridane Online Backup";

// A register entry whose tag is not a valid one names no profile folder to look in.
QString last_run_of(const Context& ctx, std::string tag) {
  return profile_tag_check(tag) ? QString() : qtext(last_run_text(ctx, tag));
}

}  // namespace

MainWindow::MainWindow(Application& app) : app_(app) {
  setWindowTitle(kTitle);
  auto* grid = new QGridLayout(this);
  auto* banner = new QLabel(kTitle, this);
  QFont banner_font = banner->font();
  banner_font.setPixelSize(24);
  banner_font.setBold(true);
  banner->setFont(banner_font);
  banner->setAlignment(Qt::AlignCenter);
  banner->setStyleSheet("color: white; background: #1d4f7c; padding: 10px;");
  grid->addWidget(banner, 0, 0, 1, 2);
  grid->addWidget(new QLabel("Select backup profile to run:", this), 1, 0, 1, 2);

  list_ = new ClickList(this, "1001", {"Tag", "Description", "Last Run"}, {90, 310, 118});
  list_->setMinimumWidth(90 + 310 + 118 + 24);
  grid->addWidget(list_, 2, 0);

  auto* buttons = new QVBoxLayout;
  backup_ = button(this, "Backup", "1");
  backup_->setDefault(true);
  QPushButton* quit = button(this, "Quit", "2");
  QPushButton* add = button(this, "New", "1002");
  edit_ = button(this, "Edit", "1055");
  delete_ = button(this, "Delete", "1033");
  QPushButton* about = button(this, "About", "1035");
  QPushButton* help = button(this, "Help", "1036");
  for (QPushButton* b : {backup_, quit, add, edit_, delete_, about, help}) buttons->addWidget(b);
  buttons->addStretch();
  grid->addLayout(buttons, 2, 1);
  set_row_buttons(false);

  for (const ProfileListEntry& entry : app_.config().profile_list())
    new QTreeWidgetItem(list_, {qtext(entry.tag), qtext(entry.description),
                                last_run_of(app_.context(), entry.tag)});

  list_->on_click = [this](bool on_row) { set_row_buttons(on_row); };
  list_->on_row_double_click = [this] {
    if (selected_entry()) backup();
  };
  connect(backup_, &QPushButton::clicked, this, [this] {
    if (list_->currentItem() && selected_entry()) backup();
  });
  connect(quit, &QPushButton::clicked, this, [this] { done(2); });
  connect(add, &QPushButton::clicked, this, [this] {
    profile_editor_new(app_.context(), app_.config(), list_, this);
    set_row_buttons(false);
    rebuild_list();
  });
  connect(edit_, &QPushButton::clicked, this, [this] {
    if (!list_->currentItem()) return;
    const ProfileListEntry* entry = selected_entry();
    if (!entry) return;
    const std::string tag = entry->tag;
    profile_editor_edit(app_.context(), app_.config(), tag, list_, this);
    rebuild_list();
  });
  connect(delete_, &QPushButton::clicked, this, [this] {
    QTreeWidgetItem* row = list_->currentItem();
    if (!row) return;
    profile_delete(app_.context(), app_.config(), text8(row->text(0).left(1023)));
    delete row;
    set_row_buttons(false);
    rebuild_list();
  });
  connect(about, &QPushButton::clicked, this, [this] { show_about_box(this); });
  connect(help, &QPushButton::clicked, this,
          [this] { Prompts::message_box(this, "Online help is not yet available.", kTitle); });
}

const ProfileListEntry* MainWindow::selected_entry() {
  QTreeWidgetItem* row = list_->currentItem();
  if (!row) return nullptr;
  const std::string tag = text8(row->text(0).left(1023));
  for (const ProfileListEntry& entry : app_.config().profile_list()) {
    if (entry.tag == tag) return &entry;
  }
  return nullptr;
}

void MainWindow::backup() {
  if (app_.open_selected_profile(*selected_entry()) != 0) return;
  chosen_ = true;
  done(1);
}

void MainWindow::rebuild_list() {
  app_.config().profile_list_free();
  app_.config().load_profiles();
}

void MainWindow::set_row_buttons(bool enabled) {
  backup_->setEnabled(enabled);
  edit_->setEnabled(enabled);
  delete_->setEnabled(enabled);
}

void show_about_box(QWidget* parent) {
  QDialog box(parent);
  box.setWindowTitle("About Corvio");
  auto* grid = new QGridLayout(&box);
  auto* icon = new QLabel(&box);
  icon->setPixmap(QApplication::windowIcon().isNull()
                      ? box.style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(48, 48)
                      : QApplication::windowIcon().pixmap(48, 48));
  grid->addWidget(icon, 0, 0, 2, 1);
  grid->addWidget(new QLabel(kTitle, &box), 0, 1);
  auto* version =
      new QLabel(QString::fromStdString(version_text()) + " for Windows Vista and 7", &box);
  version->setObjectName("1045");
  grid->addWidget(version, 1, 1);
  auto* ok = new QPushButton("OK", &box);
  ok->setObjectName("1");
  ok->setDefault(true);
  grid->addWidget(ok, 2, 1, Qt::AlignRight);
  QObject::connect(ok, &QPushButton::clicked, &box, [&box] { box.done(1); });
  box.exec();
}

}  // namespace corvio::ui::qt
