#include "net/session.h"

#include "base/context.h"
#include "base/backup_session.h"
#include "net/messages.h"
#include "net/throttle.h"
#include "base/tls_connection.h"
#include "net/tls_io.h"
#include "util/text.h"

namespace corvio {

Session::Session(const Context& ctx, const TlsContext& tls, BackupSession& run,
                 NetSettings settings)
    : ctx_(ctx), tls_(tls), run_(run), settings_(std::move(settings)) {}

WaitRules Session::wait_rules() const {
  return WaitRules{settings_.session_timeout_ms, &run_.cancel_requested, &ctx_.messages};
}

void Session::set_status(std::string_view text) const { ctx_.display.set_status_text(text); }

int Session::send(std::string_view message, bool more) {
  const TlsConnection* c = run_.connection.get();
  if (!c) return -1;
  int fd = prepare_socket(*c, ctx_.messages);
  if (fd < 0) return 0;
  throttle_tx(run_, ctx_.clock, message.size(), settings_.throttle_poll_ms);
  if (run_.cancelled()) return 0;
  const WaitRules rules = wait_rules();
  return transfer_send(*c, fd, message.data(), message.size(), rules, more);
}

int Session::recv(void* buffer, size_t capacity) {
  const TlsConnection* c = run_.connection.get();
  if (!c) return -1;
  int fd = prepare_socket(*c, ctx_.messages);
  if (fd < 0) return 0;
  if (run_.cancelled()) return 0;
  const WaitRules rules = wait_rules();
  int n = transfer_recv(*c, fd, buffer, capacity, rules);
  if (n > 0) throttle_rx(run_, ctx_.clock, static_cast<size_t>(n), settings_.throttle_poll_ms);
  return n;
}

int Session::quit() {
  if (run_.connection) {
    (void)send(protocol::encode_quit());
    run_.connection.reset();  // frees the TLS session and the socket it owns, once
  }
  return 0;
}

void Session::wait_if_paused() {
  if (!run_.pause_requested) return;
  // What was sent before the pause reaches the server before it.
  if (const TlsConnection* c = run_.connection.get()) {
    const int fd = static_cast<int>(BIO_get_fd(c->socket(), nullptr));
    const WaitRules rules = wait_rules();
    if (fd >= 0) (void)transfer_flush(*c, fd, rules);
  }
  const std::string saved = bounded(ctx_.display.status_text(), 1023);
  set_status("Paused...");
  uint32_t polls = 0;
  while (run_.pause_requested && !run_.cancelled()) {
    if (++polls == settings_.pause_polls_before_drop) {
      quit();
      set_status("Paused (Disconnected)...");
    }
    ctx_.clock.sleep_ms(settings_.pause_poll_ms);
  }
  set_status(saved);
}

}  // namespace corvio
