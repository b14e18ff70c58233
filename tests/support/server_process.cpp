// SPDX-License-Identifier: Apache-2.0
#include "support/server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace corvio::test {
namespace {

std::vector<char*> argv_of(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(CORVIO_SERVER_BIN));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

int run_server_command(const std::vector<std::string>& args, const std::string& stdin_text,
                       std::string* out, std::string* err) {
  std::string in_path = make_temp_file();
  std::string out_path = make_temp_file();
  std::string err_path = make_temp_file();
  corvio::test::write_file(in_path, stdin_text);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_TRUNC, 0);
  std::vector<char*> argv = argv_of(args);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, CORVIO_SERVER_BIN, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = -1;
  if (rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    status = WEXITSTATUS(status);
  } else {
    status = -1;
  }
  if (out) *out = corvio::test::read_file(out_path);
  if (err) *err = corvio::test::read_file(err_path);
  unlink(in_path.c_str());
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  return status;
}

ServerProcess::ServerProcess(const std::vector<std::string>& args) {
  err_path_ = make_temp_file();
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_TRUNC, 0);
  std::vector<std::string> full = {"serve"};
  full.insert(full.end(), args.begin(), args.end());
  std::vector<char*> argv = argv_of(full);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, CORVIO_SERVER_BIN, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  out_fd_ = pipe_fds[0];
  if (rc != 0) return;
  pid_ = pid;
  // Read the first line, waiting at most 10 seconds.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (line_.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    if (read(out_fd_, &c, 1) != 1) break;
    line_.push_back(c);
  }
  const std::string prefix = "listening on ";
  if (line_.rfind(prefix, 0) == 0 && line_.back() == '\n') {
    port_ = std::atoi(line_.substr(line_.rfind(':') + 1).c_str());
  }
}

ServerProcess::~ServerProcess() {
  terminate();
  if (out_fd_ >= 0) close(out_fd_);
  unlink(err_path_.c_str());
}

int ServerProcess::stop(bool interrupt, int timeout_ms) {
  if (pid_ < 0) return -1;
  kill(pid_, interrupt ? SIGINT : SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ServerProcess::kill_now() {
  if (pid_ < 0) return false;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::string ServerProcess::error_output() { return corvio::test::read_file(err_path_); }

}  // namespace corvio::test
