// SPDX-License-Identifier: Apache-2.0
// Connection: the run's connection to the backup server, with the primitives every request uses
// (session_send, session_recv, session_quit) and the login and retry loops that open it
// (session_login, session_login_quiet, session_connect_retry, session_reconnect).
//
// The connection itself lives in the BackupSession (session.connection), so that the rest of the
// run sees whether a session is open; this object adds what the operations need around it:
// the Context (clock, message boxes), the status line with the Pause button, the TLS context
// and the settings. It shows only the connection's own status texts; the log, the counters
// and the rest of the progress window are the engine's. The pause point is the run's too: the
// engine sets it (set_pause_point) and the retry countdowns pass it every second.
// One Connection serves one run and is used on the backup worker thread only. The run's Profile
// must be set before any operation is called.
//
// Calling order: open with connect_retry() (or reconnect()), then strictly alternating
// request and reply, then quit(). Every wait goes through the Context's Clock.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "net/net_settings.h"

namespace corvio {

struct BackupSession;
struct Context;
class TlsContext;
struct WaitRules;
namespace ui {
class StatusLine;
}

class Connection {
 public:
  Connection(const Context& ctx, ui::StatusLine& status, const TlsContext& tls, BackupSession& session,
          NetSettings settings = {});
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // session_send and session_recv: one TLS write of the whole message, one TLS read of at
  // most capacity bytes. Return the count (> 0); 0 when the run is cancelled (or the socket
  // is not valid); -1 when no session is open, the wait timed out or failed, or the TLS layer
  // failed. A send counts and throttles its whole length before writing, so net_tx_bytes
  // includes messages whose write then fails. With more set, the message may wait in the
  // connection's write buffer until the next send without more or the next recv.
  [[nodiscard]] int send(std::string_view message, bool more = false);
  [[nodiscard]] int recv(void* buffer, size_t capacity);

  // session_quit: sends MSG_QUIT when a session is open, then closes it. Always 0; harmless
  // on a closed session.
  int quit();

  // Writes the records held in the connection's write buffer: what was sent before a pause
  // reaches the server before it. Harmless on a closed session.
  void flush();

  // The run's pause point, which the retry countdowns pass every second. None until set.
  void set_pause_point(std::function<void()> pause_point) { pause_point_ = std::move(pause_point); }
  // Passes the pause point, where a run of writes may stop for Pause and Cancel.
  void pause_point() const {
    if (pause_point_) pause_point_();
  }

  // One attempt to open the session and log in: 0 when logged in, 1 otherwise, with the
  // attempt's status texts. login() shows a refused login in a message box; login_quiet(),
  // used while reconnecting, does not, and says nothing about connecting.
  [[nodiscard]] int login();
  [[nodiscard]] int login_quiet();

  // Retry loops, cancellable once a second: connect_retry() opens the run's first session,
  // reconnect() reopens it after a failed exchange. Both return 0 once logged in and 1 when the
  // run was cancelled while waiting, or gave up: with settings().give_up_after set, that many
  // refused logins, or certificates that fail verification, since the last success set the
  // run's stop_reason. Otherwise they never give up. The Pause button is disabled while they
  // run and enabled again on success.
  [[nodiscard]] int connect_retry();
  [[nodiscard]] int reconnect();

  BackupSession& session() const { return session_; }
  const Context& ctx() const { return ctx_; }
  const NetSettings& settings() const { return settings_; }
  void set_status(std::string_view text) const;

 private:
  int login_attempt(bool quiet);
  // The waits of session_send and session_recv: the session time-out, the run's cancel flag, a
  // message box for a failed wait.
  WaitRules wait_rules() const;
  // Shows "fmt" with number and each second from seconds down to 1, passing the pause point
  // every second. True when the run was cancelled.
  bool countdown(const char* fmt, uint32_t number, uint32_t seconds);
  // After a failed attempt: whether the retry loops give up, with the run's stop_reason set.
  bool give_up();

  const Context& ctx_;
  ui::StatusLine& status_;
  const TlsContext& tls_;
  BackupSession& session_;
  NetSettings settings_;
  std::function<void()> pause_point_;
  bool verify_failure_shown_ = false;  // the reason of a refused certificate, once per run
  // Since the last login and the last verified certificate; for give_up().
  uint32_t refused_in_a_row_ = 0;
  uint32_t unverified_in_a_row_ = 0;
  std::string verify_error_;  // the last certificate's
};

}  // namespace corvio
