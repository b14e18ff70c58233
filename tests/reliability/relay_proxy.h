// SPDX-License-Identifier: Apache-2.0
// A TCP relay between the client and corvio-server that can stop a run at an exact message.
//
// The connection is TLS, so the relay cannot read the messages; it sees TLS records. The client
// writes each message in one send, and every message is shorter than a record, so after the
// handshake each application-data record from the client is one message. When armed, the relay
// forwards those records one at a time and waits after each until the server's trace file
// (`serve --trace`) has its line; it then asks the trigger whether this is the message to stop
// at. If so, the action runs while the server's reply is still held back (the client has sent
// the message, the server has it, the client never learns the answer), the connection is cut
// and the relay goes back to plain forwarding.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvio::test {

class RelayProxy {
 public:
  // Listens on a free loopback port and relays each connection to 127.0.0.1:upstream_port.
  RelayProxy(int upstream_port, std::string trace_path);
  // Stops accepting, cuts every connection and joins their threads.
  ~RelayProxy();
  RelayProxy(const RelayProxy&) = delete;
  RelayProxy& operator=(const RelayProxy&) = delete;

  int port() const { return port_; }

  // fires is called with each trace line (connection number, space, message in hex) of the
  // messages that pass while armed; action runs on the relay's thread when it returns true.
  // Call between runs only.
  void arm(std::function<bool(const std::string& line)> fires, std::function<void()> action);
  // The trace line the trigger fired on; empty when it has not fired.
  std::string fired_line();

 private:
  void accept_loop();
  void relay(int client);
  // Forwards one record from the client; false when the connection is to be cut.
  bool pass_client_record(int upstream, const std::string& record, bool is_message);
  // The first trace line after the first `known` ones, waiting up to a few seconds.
  std::string trace_line_after(size_t known);
  size_t trace_lines();

  int upstream_port_;
  std::string trace_path_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;

  std::mutex mu_;  // guards everything below
  std::vector<std::thread> relays_;
  std::function<bool(const std::string&)> fires_;
  std::function<void()> action_;
  std::string fired_line_;
  std::vector<std::string> trace_;  // the trace file's lines read so far
  std::string trace_partial_;
  size_t trace_offset_ = 0;
};

}  // namespace corvio::test
