#include "server.h"

#include <cstdio>

#include "session.h"
#include "tls_context.h"

namespace corvio::server {
namespace {

// A client that says nothing for this long is disconnected.
constexpr int kIdleTimeoutSeconds = 600;

}  // namespace

void Server::run(Listener& listener) {
  uint64_t next_number = 1;
  std::string peer;
  for (;;) {
    int fd = listener.accept(&peer);
    if (fd < 0) break;
    reap_finished();
    set_receive_timeout(fd, kIdleTimeoutSeconds);
    uint64_t number = next_number++;
    std::lock_guard lock(mu_);
    open_[number] = Connection{fd, std::thread(&Server::serve_connection, this, number, fd, peer)};
  }
  std::unique_lock lock(mu_);
  stopping_ = true;
  // Wake every thread blocked on its socket; each then ends its session on its own.
  for (auto& [number, connection] : open_) shutdown_socket(connection.fd);
  std::vector<std::thread> running;
  for (auto& [number, connection] : open_) running.push_back(std::move(connection.thread));
  lock.unlock();
  for (std::thread& t : running) t.join();
  reap_finished();
}

void Server::reap_finished() {
  std::vector<std::thread> done;
  {
    std::lock_guard lock(mu_);
    done.swap(finished_);
  }
  for (std::thread& t : done) t.join();
}

void Server::serve_connection(uint64_t number, int fd, std::string peer) {
  SessionSummary summary;
  SSL* ssl = SSL_new(ctx_);
  BIO* socket = ssl ? BIO_new_socket(fd, BIO_CLOSE) : nullptr;
  if (socket) {
    SSL_set_bio(ssl, socket, socket);  // the SSL object now owns the socket
    summary = Session(store_, faults_, trace_, number).run(ssl);
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
  std::fprintf(
      stderr,
      "session %llu from %s login %s: %s; %llu messages, %llu blocks stored, %llu references\n",
      static_cast<unsigned long long>(number), peer.c_str(),
      summary.login.empty() ? "-" : summary.login.c_str(), summary.outcome.c_str(),
      static_cast<unsigned long long>(summary.messages),
      static_cast<unsigned long long>(summary.blocks_stored),
      static_cast<unsigned long long>(summary.refs));
}

}  // namespace corvio::server
