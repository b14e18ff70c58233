// SPDX-License-Identifier: Apache-2.0
// The loop every simple request shares: send the request, read one reply, and when the reply
// is not the expected one close the session, reopen it and send the same bytes again.
#pragma once

#include <string>
#include <string_view>

#include "base/backup_session.h"
#include "net/protocol.h"
#include "net/connection.h"

namespace corvio {

// What a reply handler made of one reply.
enum class Outcome {
  Done,     // the reply was accepted; the loop returns the handler's result
  Failed,   // no reply, or not the expected one: retried unless the run is cancelled
  Refused,  // accepted but refused by the server: retried without a cancel test
};

// One send and one receive. The reply is exactly the bytes of that one receive (empty when it
// failed, and when the send failed, since there is then nothing to wait for).
inline std::string_view exchange(Connection& s, std::string_view request, char* buffer,
                                 size_t capacity) {
  if (s.send(request) <= 0) return {};
  int n = s.recv(buffer, capacity);
  return std::string_view(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// Runs the request until handle() says Done, and returns the result it set; returns 1 when
// the run is cancelled after a failed exchange. after_failure and after_refusal are the status
// texts shown once the session has been reopened (null for none).
template <typename Handler>
int request_loop(Connection& s, const std::string& request, const char* after_failure, Handler handle,
                 const char* after_refusal = nullptr) {
  char buffer[protocol::kReplyBuffer];
  for (;;) {
    int result = 1;
    Outcome outcome = handle(exchange(s, request, buffer, sizeof buffer), &result);
    if (outcome == Outcome::Done) return result;
    if (outcome == Outcome::Failed && s.session().cancelled()) return 1;
    s.quit();
    (void)s.reconnect();  // a cancelled reconnection shows at the next cancel test
    const char* status = outcome == Outcome::Refused ? after_refusal : after_failure;
    if (status) s.set_status(status);
  }
}

}  // namespace corvio
