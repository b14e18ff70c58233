// SPDX-License-Identifier: Apache-2.0
#include "relay_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace corvio::test {
namespace {

constexpr uint8_t kHandshakeRecord = 22;
constexpr uint8_t kApplicationRecord = 23;
constexpr size_t kRecordHeader = 5;

bool write_all(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

int connect_loopback(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

}  // namespace

RelayProxy::RelayProxy(int upstream_port, std::string trace_path)
    : upstream_port_(upstream_port), trace_path_(std::move(trace_path)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return;  // port() stays 0
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

RelayProxy::~RelayProxy() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  std::vector<std::thread> relays;
  {
    std::lock_guard lock(mu_);
    relays.swap(relays_);
  }
  for (std::thread& t : relays) t.join();
}

void RelayProxy::arm(std::function<bool(const std::string&)> fires, std::function<void()> action) {
  std::lock_guard lock(mu_);
  fires_ = std::move(fires);
  action_ = std::move(action);
  fired_line_.clear();
}

std::string RelayProxy::fired_line() {
  std::lock_guard lock(mu_);
  return fired_line_;
}

void RelayProxy::accept_loop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard lock(mu_);
    relays_.emplace_back([this, client] { relay(client); });
  }
}

void RelayProxy::relay(int client) {
  int upstream = connect_loopback(upstream_port_);
  std::string pending;  // client bytes short of a whole record
  int handshake_records = 0;
  bool first_application_record = true;
  char buffer[65536];
  while (upstream >= 0 && !stopping_) {
    pollfd p[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
    if (::poll(p, 2, 50) <= 0) continue;
    if (p[1].revents) {
      ssize_t n = ::recv(upstream, buffer, sizeof buffer, 0);
      if (n <= 0 || !write_all(client, buffer, static_cast<size_t>(n))) break;
    }
    if (p[0].revents) {
      ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      bool cut = false;
      while (!cut && pending.size() >= kRecordHeader) {
        const size_t length =
            (static_cast<uint8_t>(pending[3]) << 8) | static_cast<uint8_t>(pending[4]);
        if (pending.size() < kRecordHeader + length) break;
        const std::string record = pending.substr(0, kRecordHeader + length);
        pending.erase(0, record.size());
        const uint8_t type = static_cast<uint8_t>(record[0]);
        if (type == kHandshakeRecord) ++handshake_records;
        bool is_message = type == kApplicationRecord;
        if (is_message && first_application_record) {
          // TLS 1.3 sends the client's Finished as application data after one handshake
          // record (the ClientHello); TLS 1.2 sends two or more handshake records first.
          first_application_record = false;
          is_message = handshake_records >= 2;
        }
        cut = !pass_client_record(upstream, record, is_message);
      }
      if (cut) break;
    }
  }
  if (upstream >= 0) ::close(upstream);
  ::close(client);
}

bool RelayProxy::pass_client_record(int upstream, const std::string& record, bool is_message) {
  std::function<bool(const std::string&)> fires;
  {
    std::lock_guard lock(mu_);
    if (is_message && fires_) fires = fires_;
  }
  if (!fires) return write_all(upstream, record.data(), record.size());
  const size_t known = trace_lines();
  if (!write_all(upstream, record.data(), record.size())) return false;
  const std::string line = trace_line_after(known);
  if (line.empty() || !fires(line)) return true;
  std::function<void()> action;
  {
    std::lock_guard lock(mu_);
    action = std::move(action_);
    fires_ = nullptr;
    action_ = nullptr;
    fired_line_ = line;
  }
  if (action) action();
  return false;
}

size_t RelayProxy::trace_lines() {
  std::lock_guard lock(mu_);
  int fd = ::open(trace_path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return trace_.size();
  char buffer[8192];
  ssize_t n;
  while ((n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(trace_offset_))) > 0) {
    trace_offset_ += static_cast<size_t>(n);
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n') {
        trace_partial_ += buffer[i];
        continue;
      }
      trace_.push_back(trace_partial_);
      trace_partial_.clear();
    }
  }
  ::close(fd);
  return trace_.size();
}

std::string RelayProxy::trace_line_after(size_t known) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (trace_lines() <= known) {
    if (std::chrono::steady_clock::now() > give_up) return "";
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  std::lock_guard lock(mu_);
  return trace_[known];
}

}  // namespace corvio::test
