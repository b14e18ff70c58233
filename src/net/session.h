// Session: the run's connection to the backup server, with the primitives every request uses
// (session_send, session_recv, session_quit, the pause point) and the login and retry loops
// that open it (session_login, session_login_quiet, session_connect_retry,
// session_reconnect).
//
// The connection itself lives in the BackupSession (run.connection), so that the rest of the
// run sees whether a session is open; this object adds what the operations need around it:
// the Context (clock, message boxes, progress display), the TLS context and the settings.
// One Session serves one run and is used on the backup worker thread only. The run's Profile
// must be set before any operation is called.
//
// Calling order: open with connect_retry() (or reconnect()), then strictly alternating
// request and reply, then quit(). Every wait goes through the Context's Clock.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "net/net_settings.h"

namespace corvio {

struct BackupSession;
struct Context;
class TlsContext;
struct WaitRules;

class Session {
 public:
  Session(const Context& ctx, const TlsContext& tls, BackupSession& run, NetSettings settings = {});
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // session_send and session_recv: one TLS write of the whole message, one TLS read of at
  // most capacity bytes. Return the count (> 0); 0 when the run is cancelled (or the socket
  // is not valid); -1 when no session is open, the wait timed out or failed, or the TLS layer
  // failed. A send counts and throttles its whole length before writing, so net_tx_bytes
  // includes messages whose write then fails. With more set, the message may wait in the
  // connection's write buffer until the next send without more or the next recv.
  int send(std::string_view message, bool more = false);
  int recv(void* buffer, size_t capacity);

  // session_quit: sends MSG_QUIT when a session is open, then closes it. Always 0; harmless
  // on a closed session.
  int quit();

  // The pause point of a run: holds the worker while pause_requested is set and the run is
  // not cancelled, showing "Paused..." and restoring the status text afterwards. A pause of
  // pause_polls_before_drop polls drops the connection; the next request reconnects.
  void wait_if_paused();

  // One attempt to open the session and log in: 0 when logged in, 1 otherwise, with the
  // attempt's status texts. login() shows a refused login in a message box; login_quiet(),
  // used while reconnecting, does not, and says nothing about connecting.
  int login();
  int login_quiet();

  // Retry loops, cancellable once a second: connect_retry() opens the run's first session,
  // reconnect() reopens it after a failed exchange. Both return 0 once logged in and 1 when the
  // run was cancelled while waiting, or gave up: with settings().give_up_after set, that many
  // refused logins, or certificates that fail verification, since the last success set the
  // run's stop_reason. Otherwise they never give up. The Pause button is disabled while they
  // run and enabled again on success.
  int connect_retry();
  int reconnect();

  BackupSession& run() const { return run_; }
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
  const TlsContext& tls_;
  BackupSession& run_;
  NetSettings settings_;
  bool verify_failure_shown_ = false;  // the reason of a refused certificate, once per run
  // Since the last login and the last verified certificate; for give_up().
  uint32_t refused_in_a_row_ = 0;
  uint32_t unverified_in_a_row_ = 0;
  std::string verify_error_;  // the last certificate's
};

}  // namespace corvio
