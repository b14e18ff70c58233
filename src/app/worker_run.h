// SPDX-License-Identifier: Apache-2.0
// The worker thread's body as every front end runs it (through RunController): the system's
// snapshot service for the length of the run, and the update check after a completed run when
// the build names a web server for it.
#pragma once

#include <functional>

#include "engine/backup_worker.h"
#include "net/update_check.h"

namespace corvio {

class Application;
class CoreServices;

// Call on the worker thread. close_window closes the progress window (empty: nothing to close).
// A run without windows gives up after three refused logins or unverified server certificates
// in a row, since nobody can mend either; with windows a person sees the status and cancels.
RunOutcome run_backup_worker(CoreServices& services, Application& app,
                             const UpdateSettings& update, std::function<void()> close_window,
                             bool windows);

}  // namespace corvio
