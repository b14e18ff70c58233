// SPDX-License-Identifier: Apache-2.0
// The throttling controls that the profile editor and the throttling dialog share: thread
// priority (1035), the delays between files (1042) and blocks (1043), and for each direction
// an "Enable -" box (1040 TX, 1041 RX), a rate (1036, 1037) and a unit list (1038, 1039).
// Each widget's object name is its control id.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>

#include "profile/throttling_fields.h"

namespace corvio::ui::qt {

class ThrottlingControls {
 public:
  // Creates the controls as children of parent and lays them out in grid from row on.
  ThrottlingControls(QWidget* parent, QGridLayout* grid, int row);

  void show(const ThrottlingFields& fields);
  ThrottlingFields read() const;

 private:
  QComboBox* priority_;
  QLineEdit* file_delay_;
  QLineEdit* block_delay_;
  QCheckBox* tx_limit_;
  QLineEdit* tx_rate_;
  QComboBox* tx_unit_;
  QCheckBox* rx_limit_;
  QLineEdit* rx_rate_;
  QComboBox* rx_unit_;
};

// A read-write edit that takes digits only; its object name is id.
QLineEdit* digits_edit(QWidget* parent, const char* id);

}  // namespace corvio::ui::qt
