// SPDX-License-Identifier: Apache-2.0
#include "net/connection.h"

#include "base/backup_session.h"
#include "base/context.h"
#include "base/status_line.h"
#include "net/messages.h"
#include "net/throttle.h"
#include "net/tls_io.h"

namespace corvio {

Connection::Connection(const Context& ctx, ui::StatusLine& status, const TlsContext& tls,
                 BackupSession& session, NetSettings settings)
    : ctx_(ctx), status_(status), tls_(tls), session_(session), settings_(std::move(settings)) {}

WaitRules Connection::wait_rules() const {
  return WaitRules{settings_.session_timeout_ms, &session_.cancel_requested, &ctx_.messages};
}

void Connection::set_status(std::string_view text) const { status_.set_status_text(text); }

int Connection::send(std::string_view message, bool more) {
  TlsConnection* c = session_.connection.get();
  if (!c) return -1;
  int fd = prepare_socket(*c, ctx_.messages);
  if (fd < 0) return 0;
  throttle_tx(session_, ctx_.clock, message.size(), settings_.throttle_poll_ms);
  if (session_.cancelled()) return 0;
  const WaitRules rules = wait_rules();
  return transfer_send(*c, fd, message.data(), message.size(), rules, more);
}

int Connection::recv(void* buffer, size_t capacity) {
  TlsConnection* c = session_.connection.get();
  if (!c) return -1;
  int fd = prepare_socket(*c, ctx_.messages);
  if (fd < 0) return 0;
  if (session_.cancelled()) return 0;
  const WaitRules rules = wait_rules();
  int n = transfer_recv(*c, fd, buffer, capacity, rules);
  if (n > 0) throttle_rx(session_, ctx_.clock, static_cast<size_t>(n), settings_.throttle_poll_ms);
  return n;
}

int Connection::quit() {
  if (session_.connection) {
    (void)send(protocol::encode_quit());
    session_.connection.reset();  // frees the TLS session and the socket it owns, once
  }
  return 0;
}

void Connection::flush() {
  TlsConnection* c = session_.connection.get();
  if (!c) return;
  const int fd = tls_socket_fd(*c);
  if (fd >= 0) (void)transfer_flush(*c, fd, wait_rules());
}

}  // namespace corvio
