// SPDX-License-Identifier: Apache-2.0
// The push button of the windows and dialogs: named by its control id (tests find controls by
// it) and never made the default by taking focus, so that Enter presses only a dialog's own
// default button. parent owns it. User-interface thread only.
#pragma once

#include <QPushButton>

namespace corvio::ui::qt {

inline QPushButton* button(QWidget* parent, const char* text, const char* id) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(id);
  b->setAutoDefault(false);
  return b;
}

}  // namespace corvio::ui::qt
