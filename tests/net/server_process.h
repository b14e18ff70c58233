// The reference server as a child process for integration tests: a fresh store with a
// self-signed certificate for one host name, a login and a profile, served on a free loopback
// port with the faults a test asks for.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvio::test {

class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess() { stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Creates the store in dir: certificates for cert_host, the login and the profile tag.
  // False (with a test failure) when a command fails.
  static bool init_store(const std::string& dir, const std::string& cert_host,
                         const std::string& login, const std::string& password,
                         const std::string& tag);

  // Serves the store on 127.0.0.1 with the given --fault specs, tracing to trace_file when it
  // is not empty. Waits for the listening line; false (with a test failure) when none came.
  bool start(const std::string& store, const std::vector<std::string>& faults,
             const std::string& trace_file);
  // Stops the server (SIGTERM) and waits for it. Harmless when none runs.
  void stop();

  uint16_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// The lines of a server trace file, in order: "CONN HEX" per message the server received.
std::vector<std::string> trace_lines(const std::string& trace_file);

}  // namespace corvio::test
