// SPDX-License-Identifier: Apache-2.0
#include "app/worker_run.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/core_services.h"
#include "base/display.h"
#include "vss/shadow_copy.h"

namespace corvio {

constexpr uint32_t kUnattendedGiveUpAfter = 3;

RunOutcome run_backup_worker(CoreServices& services, Application& app,
                             const UpdateSettings& update, std::function<void()> close_window,
                             bool windows) {
  Context& ctx = app.context();
  BackupSession& session = app.session();
  // The snapshot service belongs to the worker thread from start to end.
  std::unique_ptr<SnapshotBackend> backend = make_system_snapshot_backend();
  ShadowCopy shadow(ctx, *backend);
  WorkerSetup setup{ctx,
                    session,
                    services.md5cache(),
                    services.tls(),
                    &shadow,
                    app.command_line().exit_when_done,
                    NetSettings{},
                    nullptr,
                    std::move(close_window)};
  if (!windows) setup.net_settings.give_up_after = kUnattendedGiveUpAfter;
  // The way back for a server that cannot take requests ahead of its replies.
  if (const char* one = std::getenv("CORVIO_ONE_REQUEST_AT_A_TIME"); one && std::string(one) == "1") {
    setup.net_settings.requests_in_flight = 1;
  }
  if (!update.host.empty()) {
    setup.update_check = [&](std::string* version) {
      UpdateInfo info = update_check(ctx, ctx.display, services.tls(), update);
      *version = info.update_version;
      return info.newer;
    };
  }
  return backup_worker(setup);
}

}  // namespace corvio
