// SPDX-License-Identifier: Apache-2.0
#include "app/run_controller.h"

#include "app/front_end.h"
#include "base/display.h"

namespace corvio {

RunController::~RunController() {
  if (worker_.joinable()) {
    session_.cancel_requested = 1;
    worker_.join();
  }
  if (attached_) ctx_.display.detach();
}

void RunController::start(ui::ProgressView& view, std::function<RunOutcome()> body,
                          std::function<void()> ended) {
  ctx_.display.attach(&view);
  attached_ = true;
  timers_.init_fields();
  worker_ = std::thread([this, body = std::move(body), ended = std::move(ended)] {
    worker_id_ = current_thread_id();
    set_thread_priority(worker_id_, session_.profile->thread_priority.load());
    outcome_ = body();
    finished_ = true;
    if (ended) ended();
  });
}

void RunController::join() {
  if (worker_.joinable()) worker_.join();
}

int RunController::set_worker_priority(uint32_t thread_priority) {
  const ThreadId id = worker_id_.load();
  if (!worker_.joinable() || id == 0) return -1;
  return set_thread_priority(id, thread_priority);
}

int run_exit_code(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::kCompleted:
      return kExitCompleted;
    case RunOutcome::kCancelled:
      return kExitCancelled;
    case RunOutcome::kFailed:
      break;
  }
  return kExitFailed;
}

}  // namespace corvio
