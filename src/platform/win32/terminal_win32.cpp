// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <io.h>

#include "platform/terminal.h"

namespace corvio {

struct HiddenInput::Saved {
  HANDLE console;
  DWORD mode;
};

HiddenInput::HiddenInput(std::FILE* in) {
  const int fd = in ? ::_fileno(in) : -1;
  HANDLE console = fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  // Only a console has a mode; a pipe or a file does not.
  if (console == INVALID_HANDLE_VALUE || !::GetConsoleMode(console, &mode)) return;
  terminal_ = true;
  if (::SetConsoleMode(console, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
    saved_ = std::make_unique<Saved>(Saved{console, mode});
  }
}

HiddenInput::~HiddenInput() {
  if (saved_) ::SetConsoleMode(saved_->console, saved_->mode);
}

}  // namespace corvio
