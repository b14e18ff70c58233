// SPDX-License-Identifier: Apache-2.0
#include "app/worker_run.h"

#include <memory>

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
