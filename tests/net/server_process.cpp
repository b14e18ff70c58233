#include "server_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace corvio::test {
namespace {

// Quotes a word for the shell.
std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool run_shell(const std::string& command) {
  int rc = std::system(command.c_str());
  if (rc != 0) ADD_FAILURE() << "command failed (" << rc << "): " << command;
  return rc == 0;
}

}  // namespace

bool ServerProcess::init_store(const std::string& dir, const std::string& cert_host,
                               const std::string& login, const std::string& password,
                               const std::string& tag) {
  const std::string server = quoted(CORVIO_SERVER_PATH);
  const std::string store = " --store " + quoted(dir);
  return run_shell(server + " init" + store + " --self-signed " + quoted(cert_host) +
                   " >/dev/null") &&
         run_shell("printf '%s' " + quoted(password) + " | " + server + " add-login" + store + " " +
                   quoted(login) + " >/dev/null") &&
         run_shell(server + " add-profile" + store + " " + quoted(login) + " " + quoted(tag) +
                   " >/dev/null");
}

bool ServerProcess::start(const std::string& store, const std::vector<std::string>& faults,
                          const std::string& trace_file) {
  std::vector<std::string> args = {CORVIO_SERVER_PATH, "serve",      "--store", store,
                                   "--listen",         "127.0.0.1:0"};
  for (const std::string& f : faults) {
    args.push_back("--fault");
    args.push_back(f);
  }
  if (!trace_file.empty()) {
    args.push_back("--trace");
    args.push_back(trace_file);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (::pipe(out) != 0) {
    ADD_FAILURE() << "pipe failed";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    pid_ = -1;
    ADD_FAILURE() << "cannot start " << argv[0];
    return false;
  }

  // "listening on 127.0.0.1:PORT"
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
    ADD_FAILURE() << "server did not start: \"" << line << "\"";
    stop();
    return false;
  }
  port_ = static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
  return true;
}

void ServerProcess::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::vector<std::string> trace_lines(const std::string& trace_file) {
  std::ifstream in(trace_file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace corvio::test
