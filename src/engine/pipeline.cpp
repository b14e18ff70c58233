// SPDX-License-Identifier: Apache-2.0
#include "engine/pipeline.h"

#include <cstring>

#include "engine/block_store.h"
#include "engine/run.h"

namespace corvio {
namespace {

// Effects queued behind blocks in flight before the walk waits: a bound on memory when the
// walk meets many small or empty files.
constexpr size_t kMostSteps = 16384;

}  // namespace

void Pipeline::then(std::function<void()> effect) {
  if (run_.session.cancelled()) return;
  if (steps_.empty()) {
    effect();
    return;
  }
  add(Step{std::move(effect), nullptr, nullptr, nullptr});
}

void Pipeline::store(const SegKey& key, uint32_t length, const BlockPayload& payload,
                     std::function<void(int)> after) {
  if (run_.session.cancelled()) return;
  auto job = std::make_shared<BlockJob>();
  job->kind = BlockJob::Kind::kStore;
  job->key = key;
  job->length = length;
  job->compressed = payload.compressed;
  job->payload = window_.spare_buffer();
  job->payload.resize(payload.length);
  if (payload.length) std::memcpy(job->payload.data(), payload.data, payload.length);
  add(Step{nullptr, std::move(job), std::move(after), nullptr});
}

void Pipeline::ref(const SegKey& key, std::function<void(bool)> after) {
  if (run_.session.cancelled()) return;
  auto job = std::make_shared<BlockJob>();
  job->kind = BlockJob::Kind::kRef;
  job->key = key;
  add(Step{nullptr, std::move(job), nullptr, std::move(after)});
}

void Pipeline::add(Step step) {
  if (step.job) window_.add(step.job);
  steps_.push_back(std::move(step));
  while (window_.full() || steps_.size() >= kMostSteps) {
    if (!pump()) return;
  }
}

bool Pipeline::pump() {
  if (window_.read_reply()) return apply_ready();
  // Cancelled. A block whose data was going out shows how far it got, as when it is the block
  // a one-at-a-time run was sending; nothing after it is applied.
  if (!steps_.empty() && steps_.front().job &&
      steps_.front().job->stage == BlockJob::Stage::kUpload) {
    apply_front();
  }
  return false;
}

bool Pipeline::apply_ready() {
  while (!steps_.empty()) {
    if (run_.session.cancelled()) return false;
    Step& front = steps_.front();
    if (front.job && !front.job->settled) {
      // The attempts that failed so far show now, as they would have one request at a time.
      const size_t failed = front.job->attempts.empty() ? 0 : front.job->attempts.size() - 1;
      if (front.job->kind == BlockJob::Kind::kStore && front.attempts_applied < failed) {
        (void)apply_store(run_, *front.job, &front.attempts_applied, failed);
      }
      return true;
    }
    apply_front();
  }
  return true;
}

void Pipeline::apply_front() {
  Step step = std::move(steps_.front());
  steps_.pop_front();
  if (step.effect) {
    step.effect();
  } else if (step.job->kind == BlockJob::Kind::kStore) {
    step.stored(apply_store(run_, *step.job, &step.attempts_applied, step.job->attempts.size()));
  } else {
    step.referenced(step.job->referenced);
  }
}

bool Pipeline::drain() {
  while (!steps_.empty() || !window_.idle()) {
    if (!pump()) return false;
  }
  return true;
}

}  // namespace corvio
