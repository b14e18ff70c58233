// SPDX-License-Identifier: Apache-2.0
#include "server.h"

#include <system_error>

#include "log.h"
#include "session.h"
#include "tls_context.h"

namespace corvio::server {
namespace {

// How often the watchdog looks at the deadlines.
constexpr std::chrono::milliseconds kWatchInterval{100};
// Refused connections are logged at most once in this time; the others are counted.
constexpr std::chrono::seconds kRefusalLogInterval{1};

}  // namespace

void Server::run(Listener& listener) {
  std::thread watchdog(&Server::watch_deadlines, this);
  uint64_t next_number = 1;
  std::string peer;
  for (;;) {
    int fd = listener.accept(&peer);
    if (fd < 0) break;
    reap_finished();
    std::lock_guard lock(mu_);
    if (open_.size() >= options_.max_connections) {
      refuse(fd, peer);
      continue;
    }
    set_idle_timeouts(fd, options_.idle_timeout_seconds);
    set_no_delay(fd);
    uint64_t number = next_number++;
    auto control = std::make_shared<ConnectionControl>();
    control->set_deadline(options_.handshake_timeout);
    Connection& connection = open_[number];
    connection.fd = fd;
    connection.control = control;
    try {
      connection.thread = options_.start_thread(
          [this, number, fd, peer, control] { serve_connection(number, fd, peer, *control); });
    } catch (const std::system_error& e) {
      // Out of threads (or memory for one): this connection goes, the server stays.
      open_.erase(number);
      BIO_closesocket(fd);
      log_line("session " + std::to_string(number) + " from " + peer +
               ": closed at once, its thread could not be started: " + e.what());
    }
  }
  std::unique_lock lock(mu_);
  stopping_ = true;
  watch_cv_.notify_all();
  // Wake every thread blocked on its socket or waiting; each then ends its session on its own.
  for (auto& [number, connection] : open_) {
    connection.control->stop();
    shutdown_socket(connection.fd);
  }
  std::vector<std::thread> running;
  for (auto& [number, connection] : open_) running.push_back(std::move(connection.thread));
  if (refusals_unlogged_ > 0) {
    log_line(std::to_string(refusals_unlogged_) +
             " more connections refused: the limit of connections was reached");
  }
  lock.unlock();
  watchdog.join();
  for (std::thread& t : running) t.join();
  reap_finished();
}

void Server::refuse(int fd, const std::string& peer) {
  BIO_closesocket(fd);
  auto now = std::chrono::steady_clock::now();
  if (refusal_logged_ && now - *refusal_logged_ < kRefusalLogInterval) {
    ++refusals_unlogged_;
    return;
  }
  std::string line = "connection from " + peer +
                     " refused: " + std::to_string(options_.max_connections) +
                     " connections open, the most allowed (serve --max-connections)";
  if (refusals_unlogged_ > 0) {
    line += "; " + std::to_string(refusals_unlogged_) + " more refused since the last such line";
  }
  log_line(line);
  refusal_logged_ = now;
  refusals_unlogged_ = 0;
}

void Server::watch_deadlines() {
  std::unique_lock lock(mu_);
  while (!stopping_) {
    auto now = std::chrono::steady_clock::now();
    // Cut under the lock, like every other use of an open connection's descriptor.
    for (auto& [number, connection] : open_) {
      if (connection.control->expire_if_due(now)) shutdown_socket(connection.fd);
    }
    watch_cv_.wait_for(lock, kWatchInterval, [&] { return stopping_; });
  }
}

void Server::reap_finished() {
  std::vector<std::thread> done;
  {
    std::lock_guard lock(mu_);
    done.swap(finished_);
  }
  for (std::thread& t : done) t.join();
}

void Server::serve_connection(uint64_t number, int fd, const std::string& peer,
                              ConnectionControl& control) {
  SessionSummary summary;
  SSL* ssl = SSL_new(ctx_);
  BIO* socket = ssl ? BIO_new_socket(fd, BIO_CLOSE) : nullptr;
  if (socket) {
    SSL_set_bio(ssl, socket, socket);  // the SSL object now owns the socket
    SessionShared shared{store_, faults_, trace_, options_, throttle_};
    summary = Session(shared, number, peer, control).run(ssl);
  } else {
    summary.outcome = "cannot set up TLS: " + drain_ssl_errors();
  }
  {
    // Closed under the lock, so that a stop never cuts a descriptor number already reused.
    std::lock_guard lock(mu_);
    SSL_free(ssl);
    if (!socket) BIO_closesocket(fd);
    auto it = open_.find(number);
    if (it != open_.end()) {
      if (!stopping_) finished_.push_back(std::move(it->second.thread));
      open_.erase(it);
    }
  }
  std::string line = "session " + std::to_string(number) + " from " + peer + " login " +
                     (summary.login.empty() ? "-" : quote_for_log(summary.login));
  if (summary.tag) line += " profile " + quote_for_log(*summary.tag);
  line += ": " + summary.outcome + "; " + std::to_string(summary.messages) + " messages, " +
          std::to_string(summary.blocks_stored) + " blocks stored, " +
          std::to_string(summary.refs) + " references";
  log_line(line);
}

}  // namespace corvio::server
