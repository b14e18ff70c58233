// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/throttling_dialog.h"

#include <QPushButton>

#include "ui/qt/button.h"

namespace corvio::ui::qt {

ThrottlingDialog::ThrottlingDialog(Profile& running, std::function<void(uint32_t)> set_priority,
                                   QWidget* parent)
    : QDialog(parent),
      profile_(running),
      set_priority_(std::move(set_priority)),
      controls_(this, new QGridLayout(this), 0) {
  setWindowTitle("Backup Throttling");
  setModal(true);
  auto* grid = static_cast<QGridLayout*>(layout());
  auto* buttons = new QHBoxLayout;
  QPushButton* ok = button(this, "OK", "1");
  QPushButton* apply_button = button(this, "Apply", "1044");
  QPushButton* cancel = button(this, "Cancel", "2");
  ok->setDefault(true);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(apply_button);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 5, 0, 1, 4);
  controls_.show(throttling_fields(profile_));

  connect(ok, &QPushButton::clicked, this, [this] {
    if (apply() == 0) done(1);
  });
  connect(apply_button, &QPushButton::clicked, this, [this] { apply(); });
  connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
}

int ThrottlingDialog::apply() {
  if (throttling_apply(messages_, controls_.read(), profile_) != 0) return 1;
  set_priority_(profile_.thread_priority.load());
  return 0;
}

}  // namespace corvio::ui::qt
