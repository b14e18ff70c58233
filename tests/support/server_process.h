// SPDX-License-Identifier: Apache-2.0
// Runs the corvio-server program for end-to-end tests: its admin commands to completion, and
// `serve` in the background until the test stops it. The only file of these tests that uses
// operating-system calls.
#pragma once

#include <string>
#include <vector>

namespace corvio::test {

// Runs the program with args, feeding stdin_text; returns its exit status (-1 when it could
// not run) with its standard output in *out and standard error in *err.
int run_server_command(const std::vector<std::string>& args, const std::string& stdin_text,
                       std::string* out = nullptr, std::string* err = nullptr);

class ServerProcess {
 public:
  // Starts `serve` with args and waits for its "listening on" line. port() is 0 when the line
  // did not come (the process ended or said something else); error_output() then tells why.
  explicit ServerProcess(const std::vector<std::string>& args);
  // Stops the process (SIGTERM) if still running.
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  // The process's id while it runs, -1 after it ended.
  int pid() const { return pid_; }
  const std::string& listening_line() const { return line_; }

  // Sends SIGTERM and waits for the exit; the exit status, or -1 when it did not end within
  // timeout_ms or was killed by a signal.
  int terminate(int timeout_ms = 5000) { return stop(false, timeout_ms); }
  // The same with SIGINT, as from Ctrl-C.
  int interrupt(int timeout_ms = 5000) { return stop(true, timeout_ms); }
  // Kills the process with SIGKILL, as a crash would end it, and waits for it. True when it
  // was running and the signal ended it.
  bool kill_now();
  // Everything the process wrote to standard error so far (complete once it has ended).
  std::string error_output();

 private:
  int stop(bool interrupt, int timeout_ms);
  int pid_ = -1;
  int out_fd_ = -1;
  std::string err_path_;
  std::string line_;
  int port_ = 0;
};

}  // namespace corvio::test
