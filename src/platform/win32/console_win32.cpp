// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <io.h>

#include <atomic>

#include "platform/console.h"

namespace corvio {
namespace {

std::atomic<int> g_interrupts{0};

// Ctrl-C, Ctrl-Break and closing the console window ask for a cancel; a second one ends the
// process at once.
BOOL WINAPI on_control(DWORD) {
  if (g_interrupts.fetch_add(1) >= 1) ::ExitProcess(130);
  return TRUE;
}

HANDLE console_input() {
  HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  return in != INVALID_HANDLE_VALUE && in && ::GetConsoleMode(in, &mode) ? in : nullptr;
}

}  // namespace

bool is_terminal(std::FILE* stream) {
  const int fd = ::_fileno(stream);
  DWORD mode = 0;
  return fd >= 0 && ::GetConsoleMode(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), &mode);
}

struct RunConsole::Saved {
  HANDLE input = nullptr;
  DWORD mode = 0;
};

RunConsole::RunConsole() : saved_(std::make_unique<Saved>()) {
  g_interrupts = 0;
  ::SetConsoleCtrlHandler(on_control, TRUE);
  saved_->input = console_input();
  if (saved_->input && ::GetConsoleMode(saved_->input, &saved_->mode)) {
    // Single key presses without echo; Ctrl-C still arrives as a control event.
    const DWORD raw = saved_->mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    raw_ = ::SetConsoleMode(saved_->input, raw) != 0;
  }
}

RunConsole::~RunConsole() {
  if (raw_) ::SetConsoleMode(saved_->input, saved_->mode);
  ::SetConsoleCtrlHandler(on_control, FALSE);
}

int RunConsole::wait_key(int timeout_ms) {
  if (!raw_) {
    ::Sleep(static_cast<DWORD>(timeout_ms));
    return -1;
  }
  const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end ||
        ::WaitForSingleObject(saved_->input, static_cast<DWORD>(end - now)) != WAIT_OBJECT_0) {
      return -1;
    }
    // The console also reports mouse, focus and key-release events; only a typed key counts.
    INPUT_RECORD record;
    DWORD read = 0;
    if (!::ReadConsoleInputA(saved_->input, &record, 1, &read) || read != 1) return -1;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        record.Event.KeyEvent.uChar.AsciiChar != 0) {
      return static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
    }
  }
}

bool RunConsole::interrupted() const { return g_interrupts.load() > 0; }

// Windows has no signal a script could send to pause a run; pausing takes the key.
int RunConsole::take_pause_toggles() { return 0; }

}  // namespace corvio
