// SPDX-License-Identifier: Apache-2.0
// The terminal a front end runs in: whether it is interactive, key presses without waiting
// for a line, and the interrupts that steer a run (Ctrl-C or a termination request asks for a
// cancel; SIGUSR1 toggles pause, so a run started from a script can be held and resumed).
#pragma once

#include <cstdio>
#include <memory>

namespace corvio {

// Whether the stream is a terminal a person is looking at.
bool is_terminal(std::FILE* stream);

// While it exists: interrupts are counted instead of ending the process (a second interrupt
// ends it at once, exit status 130, with the terminal's settings put back), SIGUSR1 is counted,
// and standard input, when it is a terminal, delivers single key presses without echo. The
// previous state returns when it goes.
// One at a time, on the front end's thread.
class RunConsole {
 public:
  RunConsole();
  ~RunConsole();
  RunConsole(const RunConsole&) = delete;
  RunConsole& operator=(const RunConsole&) = delete;

  // Waits up to timeout_ms for a key on a terminal's standard input; the key, or -1.
  int wait_key(int timeout_ms);
  // Whether an interrupt has arrived since the console was made.
  bool interrupted() const;
  // The number of pause toggles received since the last call.
  int take_pause_toggles();

 private:
  struct Saved;  // the signal handlers to restore
  std::unique_ptr<Saved> saved_;
  bool raw_ = false;
};

}  // namespace corvio
