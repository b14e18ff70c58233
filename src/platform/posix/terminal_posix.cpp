// SPDX-License-Identifier: Apache-2.0
#include <termios.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace corvio {

struct HiddenInput::Saved {
  int fd;
  termios settings;
};

HiddenInput::HiddenInput(std::FILE* in) {
  const int fd = in ? ::fileno(in) : -1;
  if (fd < 0 || !::isatty(fd)) return;
  terminal_ = true;
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return;
  auto saved = std::make_unique<Saved>(Saved{fd, settings});
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  settings.c_lflag |= ECHONL;  // the Enter key still ends the line visibly
  if (::tcsetattr(fd, TCSAFLUSH, &settings) == 0) saved_ = std::move(saved);
}

HiddenInput::~HiddenInput() {
  if (saved_) ::tcsetattr(saved_->fd, TCSAFLUSH, &saved_->settings);
}

}  // namespace corvio
