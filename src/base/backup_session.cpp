// SPDX-License-Identifier: Apache-2.0
#include "base/backup_session.h"

#include <cstdio>

namespace corvio {

BackupSession::BackupSession() = default;
BackupSession::~BackupSession() = default;

void BackupSession::write_log(std::string_view text) {
  if (log) std::fwrite(text.data(), 1, text.size(), log.get());
}

void BackupSession::reset() {
  profile.reset();
  log.reset();
  catalog_path.clear();
  start_time = 0;
  end_time = 0;
  catalog_id = 0;
  profile_id = 0;
  stats = BackupStats();
  connection.reset();
  cancel_requested = 0;
  stop_reason.clear();
  pause_requested = 0;
  net_tx_bytes = 0;
  net_rx_bytes = 0;
  file_bytes_sent = 0;
}

}  // namespace corvio
