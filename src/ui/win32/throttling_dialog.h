// SPDX-License-Identifier: Apache-2.0
// The throttling dialog ("Backup Throttling", resource 135), modal over the progress window:
// changes the running profile's throttling settings and the worker's priority while the run
// goes on. Nothing it changes is written to the profile's database.
#pragma once

#include <functional>

#include "base/profile.h"
#include "ui/win32/dialog.h"
#include "ui/win32/prompts.h"

namespace corvio::ui::win32 {

class ThrottlingDialog : public Dialog {
 public:
  // set_priority applies a thread_priority to the worker.
  ThrottlingDialog(HINSTANCE instance, Profile& running,
                   std::function<void(uint32_t)> set_priority);

 private:
  bool on_init() override;
  void on_command(int id, int code) override;
  // OK (1) and Apply (1044): 0 when the settings were stored; otherwise the reason has been
  // shown and nothing changed.
  int apply();

  Profile& profile_;
  std::function<void(uint32_t)> set_priority_;
  OwnedMessages messages_;
};

}  // namespace corvio::ui::win32
