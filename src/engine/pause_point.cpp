// SPDX-License-Identifier: Apache-2.0
#include "engine/pause_point.h"

#include <string>

#include "base/backup_session.h"
#include "base/context.h"
#include "base/display.h"
#include "net/connection.h"
#include "util/text.h"

namespace corvio {

void wait_if_paused(const Context& ctx, BackupSession& session, Connection& net) {
  if (!session.pause_requested) return;
  net.flush();
  const std::string saved = bounded(ctx.display.status_text(), 1023);
  ctx.display.set_status_text("Paused...");
  uint32_t polls = 0;
  while (session.pause_requested && !session.cancelled()) {
    if (++polls == net.settings().pause_polls_before_drop) {
      net.quit();
      ctx.display.set_status_text("Paused (Disconnected)...");
    }
    ctx.clock.sleep_ms(net.settings().pause_poll_ms);
  }
  ctx.display.set_status_text(saved);
}

}  // namespace corvio
