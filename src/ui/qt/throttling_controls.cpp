// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/throttling_controls.h"

#include <QLabel>
#include <QRegularExpressionValidator>

#include "ui/qt/prompts.h"

namespace corvio::ui::qt {

namespace {

QComboBox* list(QWidget* parent, const char* id, const QStringList& entries) {
  auto* box = new QComboBox(parent);
  box->setObjectName(id);
  box->addItems(entries);
  return box;
}

QCheckBox* enable_box(QWidget* parent, const char* id) {
  auto* box = new QCheckBox("Enable -", parent);
  box->setObjectName(id);
  return box;
}

const QStringList kUnits = {"B/s (bytes/sec)",      "KB/s (kilobytes/sec)", "MB/s (megabytes/sec)",
                            "bps (bits/sec)",       "kbps (kilobits/sec)",  "mbps (megabits/sec)"};

}  // namespace

QLineEdit* digits_edit(QWidget* parent, const char* id) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(id);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
  return edit;
}

ThrottlingControls::ThrottlingControls(QWidget* parent, QGridLayout* grid, int row)
    : priority_(list(parent, "1035",
                     {"Highest", "Above Normal", "Normal", "Below Normal", "Idle"})),
      file_delay_(digits_edit(parent, "1042")),
      block_delay_(digits_edit(parent, "1043")),
      tx_limit_(enable_box(parent, "1040")),
      tx_rate_(digits_edit(parent, "1036")),
      tx_unit_(list(parent, "1038", kUnits)),
      rx_limit_(enable_box(parent, "1041")),
      rx_rate_(digits_edit(parent, "1037")),
      rx_unit_(list(parent, "1039", kUnits)) {
  auto label = [parent](const char* text) { return new QLabel(text, parent); };
  grid->addWidget(label("Thread Priority:"), row, 0);
  grid->addWidget(priority_, row, 1, 1, 3);
  grid->addWidget(label("Delay Between Files:"), row + 1, 0);
  grid->addWidget(file_delay_, row + 1, 1, 1, 2);
  grid->addWidget(label("milliseconds"), row + 1, 3);
  grid->addWidget(label("Delay Between Blocks:"), row + 2, 0);
  grid->addWidget(block_delay_, row + 2, 1, 1, 2);
  grid->addWidget(label("milliseconds"), row + 2, 3);
  grid->addWidget(label("Network TX Rate Limit:"), row + 3, 0);
  grid->addWidget(tx_limit_, row + 3, 1);
  grid->addWidget(tx_rate_, row + 3, 2);
  grid->addWidget(tx_unit_, row + 3, 3);
  grid->addWidget(label("Network RX Rate Limit:"), row + 4, 0);
  grid->addWidget(rx_limit_, row + 4, 1);
  grid->addWidget(rx_rate_, row + 4, 2);
  grid->addWidget(rx_unit_, row + 4, 3);
}

void ThrottlingControls::show(const ThrottlingFields& f) {
  priority_->setCurrentIndex(f.priority_index);
  file_delay_->setText(qtext(f.file_delay));
  block_delay_->setText(qtext(f.block_delay));
  tx_limit_->setChecked(f.tx_limit);
  tx_rate_->setText(qtext(f.tx_rate));
  tx_unit_->setCurrentIndex(f.tx_unit_index);
  rx_limit_->setChecked(f.rx_limit);
  rx_rate_->setText(qtext(f.rx_rate));
  rx_unit_->setCurrentIndex(f.rx_unit_index);
}

ThrottlingFields ThrottlingControls::read() const {
  ThrottlingFields f;
  f.priority_index = priority_->currentIndex();
  // An edit holds at most 1023 characters as the dialog reads it.
  auto text = [](const QLineEdit* e) { return text8(e->text().left(1023)); };
  f.file_delay = text(file_delay_);
  f.block_delay = text(block_delay_);
  f.tx_limit = tx_limit_->isChecked();
  f.tx_rate = text(tx_rate_);
  f.tx_unit_index = tx_unit_->currentIndex();
  f.rx_limit = rx_limit_->isChecked();
  f.rx_rate = text(rx_rate_);
  f.rx_unit_index = rx_unit_->currentIndex();
  return f;
}

}  // namespace corvio::ui::qt
