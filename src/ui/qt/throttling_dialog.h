// SPDX-License-Identifier: Apache-2.0
// The throttling dialog ("Backup Throttling"), modal over the progress window: changes the
// running profile's throttling settings and the worker's priority while the run goes on.
// Nothing it changes is written to the profile's database.
#pragma once

#include <QDialog>
#include <functional>

#include "base/profile.h"
#include "ui/qt/prompts.h"
#include "ui/qt/throttling_controls.h"

namespace corvio::ui::qt {

class ThrottlingDialog : public QDialog {
 public:
  // set_priority applies a thread_priority to the worker.
  ThrottlingDialog(Profile& running, std::function<void(uint32_t)> set_priority,
                   QWidget* parent);

  // OK (1) and Apply (1044): 0 when the settings were stored; otherwise the reason has been
  // shown and nothing changed.
  int apply();
  // Cancel (2), Escape and the close box: closes and changes nothing.
  void reject() override { done(2); }

 private:
  Profile& profile_;
  std::function<void(uint32_t)> set_priority_;
  OwnedMessages messages_{this};
  ThrottlingControls controls_;
};

}  // namespace corvio::ui::qt
