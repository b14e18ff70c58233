// SPDX-License-Identifier: Apache-2.0
#include "engine/progress_timers.h"

#include <cstdio>

#include "base/display.h"
#include "base/version.h"
#include "net/throttle.h"
#include "util/format_count.h"

namespace corvio {

using ui::Field;

void ProgressTimers::init_fields() {
  ui::Display& d = ctx_.display;
  d.set_text(Field::Version, version_text());
  if (const Profile* p = session_.profile.get()) {
    d.set_text(Field::ProfileName, p->description);
    d.set_text(Field::TagName, p->tag);
  }
  for (Field f :
       {Field::Directories, Field::Files, Field::FilesSkipped, Field::BytesTotal,
        Field::BytesSkipped, Field::BytesStored, Field::BytesCompressed, Field::BlocksTotal,
        Field::BlocksStored, Field::BlocksDuped, Field::NetTx, Field::NetRx}) {
    d.set_text(f, "0 ");
  }
  d.set_text(Field::TxRate, "0 B/sec ");
  d.set_text(Field::RxRate, "0 B/sec ");
  d.set_status_text("");
}

void ProgressTimers::every_100ms() {
  if (session_.profile) throttle_tick(*session_.profile);
}

void ProgressTimers::every_500ms() {
  ctx_.display.set_count(Field::NetTx, session_.net_tx_bytes.load());
  ctx_.display.set_count(Field::NetRx, session_.net_rx_bytes.load());
  const std::string elapsed =
      elapsed_text(session_.start_time.load(), session_.end_time.load(), ctx_.clock.now());
  if (!elapsed.empty()) ctx_.display.set_text(Field::Elapsed, elapsed);
}

void ProgressTimers::every_3000ms() {
  const uint64_t tx = session_.net_tx_bytes.load();
  const uint64_t rx = session_.net_rx_bytes.load();
  ctx_.display.set_text(Field::TxRate, rate_text((tx - last_tx_) / 3));
  ctx_.display.set_text(Field::RxRate, rate_text((rx - last_rx_) / 3));
  last_tx_ = tx;
  last_rx_ = rx;
}

std::string ProgressTimers::elapsed_text(int64_t start, int64_t end, int64_t now) {
  if (start == 0) return std::string();
  const int64_t d = (end > 0 ? end : now) - start;
  char text[32];
  if (d < 300)
    std::snprintf(text, sizeof text, "%u sec", static_cast<uint32_t>(d));
  else
    std::snprintf(text, sizeof text, "%u min", static_cast<uint32_t>(d / 60));
  return text;
}

std::string ProgressTimers::rate_text(uint64_t r) {
  if (r >= 4194304) return format_count(r / 1048576) + " MB/sec ";
  if (r >= 4096) return format_count(r / 1024) + " KB/sec ";
  return format_count(r) + " B/sec ";
}

}  // namespace corvio
