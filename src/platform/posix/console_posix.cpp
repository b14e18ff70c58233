// SPDX-License-Identifier: Apache-2.0
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

#include "platform/console.h"

namespace corvio {

namespace {

std::atomic<int> g_interrupts{0};
std::atomic<int> g_pause_toggles{0};
// The terminal's settings before the console changed them, for the handler to put back.
termios g_terminal;
std::atomic<bool> g_terminal_changed{false};

void on_interrupt(int) {
  if (g_interrupts.fetch_add(1) < 1) return;
  // The second one ends at once, leaving the terminal as it was found (tcsetattr may be called
  // from a signal handler).
  if (g_terminal_changed.load()) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_terminal);
  ::_exit(130);
}

void on_pause(int) { g_pause_toggles.fetch_add(1); }

}  // namespace

bool is_terminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

struct RunConsole::Saved {
  struct sigaction interrupt, terminate, pause;
};

RunConsole::RunConsole() : saved_(std::make_unique<Saved>()) {
  g_interrupts = 0;
  g_pause_toggles = 0;
  struct sigaction sa {};
  sigemptyset(&sa.sa_mask);
  sa.sa_handler = on_interrupt;
  ::sigaction(SIGINT, &sa, &saved_->interrupt);
  ::sigaction(SIGTERM, &sa, &saved_->terminate);
  sa.sa_handler = on_pause;
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGUSR1, &sa, &saved_->pause);

  if (::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &g_terminal) == 0) {
    termios raw = g_terminal;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));  // ISIG stays: Ctrl-C interrupts
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    raw_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    g_terminal_changed = raw_;
  }
}

RunConsole::~RunConsole() {
  if (raw_) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_terminal);
  g_terminal_changed = false;
  ::sigaction(SIGINT, &saved_->interrupt, nullptr);
  ::sigaction(SIGTERM, &saved_->terminate, nullptr);
  ::sigaction(SIGUSR1, &saved_->pause, nullptr);
}

int RunConsole::wait_key(int timeout_ms) {
  if (!raw_) {
    ::poll(nullptr, 0, timeout_ms);
    return -1;
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (::poll(&in, 1, timeout_ms) != 1) return -1;
  unsigned char c;
  return ::read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
}

bool RunConsole::interrupted() const { return g_interrupts.load() > 0; }

int RunConsole::take_pause_toggles() { return g_pause_toggles.exchange(0); }

}  // namespace corvio
