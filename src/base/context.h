// SPDX-License-Identifier: Apache-2.0
// What every subsystem needs from its surroundings, settled at start-up and passed down by
// reference: the platform (file system, clock), the user interface (message boxes, progress
// display), the path style, and the program's directories. Nothing reaches these through
// globals, so tests build a Context over temporary directories, a fake clock and recorders.
#pragma once

#include <string>

#include "base/messages.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/path_style.h"

namespace corvio {

namespace ui {
class Display;
}  // namespace ui

// The display is a reference, so this header needs only its name: a file that shows progress
// includes base/display.h itself, and the wire, which must not, cannot.
struct Context {
  FileSystem& fs;
  Clock& clock;
  ui::Messages& messages;
  ui::Display& display;
  PathStyle style;
  std::string data_dir;     // every local file lives under it
  std::string install_dir;  // empty when unknown; only the update check needs it

  // data_dir + "Profiles" + tag, in this context's path style.
  std::string profile_dir(const std::string& tag) const {
    return style.join(style.join(data_dir, "Profiles"), tag);
  }
};

}  // namespace corvio
