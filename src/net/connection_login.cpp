// SPDX-License-Identifier: Apache-2.0
// Opening the session: one login attempt, and the two retry loops around it.
#include <cstdio>
#include <string>

#include "base/backup_session.h"
#include "base/context.h"
#include "base/status_line.h"
#include "net/messages.h"
#include "net/connection.h"
#include "net/tls_io.h"

namespace corvio {
namespace {

// A status text with numbers in it; every such text is far shorter than the buffer.
template <typename... Numbers>
std::string format(const char* fmt, Numbers... numbers) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, numbers...);
  return buf;
}

}  // namespace

int Connection::login() { return login_attempt(false); }
int Connection::login_quiet() { return login_attempt(true); }

int Connection::login_attempt(bool quiet) {
  const Profile& profile = *session_.profile;
  session_.connection.reset();

  TlsSocketPtr socket = tls_new_socket(profile.server, profile.port);
  if (!socket) {
    set_status("Connect Error!");
    ctx_.messages.message_box("Unable to create BIO", "Connect Error");
    return 1;
  }
  if (!quiet) set_status("Connecting...");
  if (!tls_connect_socket(socket.get())) {
    if (!quiet) set_status("Connect Failed!");
    return 1;
  }

  set_status("Establishing SSL Session...");
  Handshake hs =
      tls_handshake(tls_, std::move(socket), profile.server, settings_.session_timeout_ms);
  if (!hs.connection) {
    set_status("SSL Session Failed!");
    if (!hs.verify_error.empty()) {
      ++unverified_in_a_row_;
      verify_error_ = hs.verify_error;
    }
    // A server that cannot be trusted is refused on every attempt; say why once per run.
    if (!hs.verify_error.empty() && !verify_failure_shown_) {
      verify_failure_shown_ = true;
      ctx_.messages.message_box("The server's certificate was not accepted: " + hs.verify_error,
                                "Connect Error");
    }
    return 1;
  }
  session_.connection = std::move(hs.connection);
  unverified_in_a_row_ = 0;

  char buf[protocol::kReplyBuffer];
  int n = recv(buf, sizeof buf);
  if (!protocol::parse_hello(std::string_view(buf, n > 0 ? n : 0))) {
    set_status("Server Error!");
    quit();
    return 1;
  }

  set_status("Logging In...");
  (void)send(protocol::encode_login(profile.login, profile.password));
  n = recv(buf, sizeof buf);
  std::optional<uint8_t> status = protocol::parse_login_reply(std::string_view(buf, n > 0 ? n : 0));
  if (!status) {
    set_status("Server Error!");
    quit();
    return 1;
  }
  switch (*status) {
    case protocol::LOGIN_OK:
      set_status("Login Successful!");
      refused_in_a_row_ = 0;
      return 0;
    case protocol::LOGIN_BUSY:
      set_status("Server Busy!");
      session_.connection.reset();  // closed without MSG_QUIT
      return 1;
    case protocol::LOGIN_REFUSED:
      set_status("Login Failed!");
      if (!quiet) ctx_.messages.message_box("Login failed!", "Backup Failure");
      session_.connection.reset();
      ++refused_in_a_row_;
      return 1;
    default:
      refused_in_a_row_ = 0;
      return 0;  // any other status counts as logged in, silently
  }
}

bool Connection::give_up() {
  const uint32_t limit = settings_.give_up_after;
  if (limit == 0) return false;
  if (refused_in_a_row_ >= limit) {
    session_.stop_reason = "Login failed! The server refused the login " + std::to_string(limit) +
                       " times in a row.";
  } else if (unverified_in_a_row_ >= limit) {
    session_.stop_reason = "The server's certificate was not accepted " + std::to_string(limit) +
                       " times in a row: " + verify_error_;
  }
  return !session_.stop_reason.empty();
}

bool Connection::countdown(const char* fmt, uint32_t number, uint32_t seconds) {
  for (uint32_t left = seconds; left >= 1; --left) {
    set_status(format(fmt, number, left));
    if (pause_point_) pause_point_();
    if (session_.cancelled()) return true;
    ctx_.clock.sleep_ms(1000);
  }
  return false;
}

int Connection::connect_retry() {
  status_.set_pause_enabled(false);
  for (uint32_t k = 1;; ++k) {
    if (login() == 0) {
      status_.set_pause_enabled(true);
      return 0;
    }
    set_status("Connection Failed!");
    if (give_up()) return 1;
    ctx_.clock.sleep_ms(500);
    if (countdown("Retry connect #%d in %ds", k, backoff_seconds(settings_.connect_backoff, k))) {
      return 1;  // the Pause button stays disabled
    }
    if (k == 1) {
      set_status("Retry Connect..");
      ctx_.clock.sleep_ms(500);
    } else {
      set_status(format("Retry Connect #%d..", k));
      ctx_.clock.sleep_ms(1000);
      ctx_.clock.sleep_ms(500);
    }
  }
}

int Connection::reconnect() {
  status_.set_pause_enabled(false);
  for (uint32_t n = 1;; ++n) {
    set_status(n == 1 ? std::string("Reconnecting..") : format("Reconnecting #%d..", n));
    ctx_.clock.sleep_ms(500);
    if (login_quiet() == 0) {
      set_status("Reconnected!");
      ctx_.clock.sleep_ms(1000);
      status_.set_pause_enabled(true);
      return 0;
    }
    ctx_.clock.sleep_ms(500);
    set_status("Reconnect Failed!");
    if (give_up()) return 1;
    ctx_.clock.sleep_ms(1000);
    uint32_t wait = backoff_seconds(settings_.reconnect_backoff, n);
    if (countdown("Reconnect Try #%d in %ds", n + 1, wait)) return 1;
  }
}

}  // namespace corvio
