// SPDX-License-Identifier: Apache-2.0
// Pipeline: the run's effects in the order a one-at-a-time run has them, while its block
// requests are in flight. The walk and the block loop go ahead (listing, hashing, compressing,
// asking the server) and hand every effect (log, counters, progress, catalog and MD5 cache
// rows) here; an effect is applied at once when nothing before it still waits for the server,
// else when everything before it has been applied. A block's outcome is applied at its turn
// from what the request window recorded (engine/block_store.h).
//
// Effects are applied on the worker thread, from within the calls that hand over work when
// the window is full, and from drain(). Once the run is cancelled, nothing more is applied.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "net/block_compress.h"
#include "net/request_window.h"

namespace corvio {

struct Run;

class Pipeline {
 public:
  Pipeline(Run& run, RequestWindow& window) : run_(run), window_(window) {}
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Applies effect now when nothing earlier waits, else after everything earlier.
  void then(std::function<void()> effect);
  // Stores a block (payload is copied): at its turn its answers are applied, then after()
  // gets 0 (stored, or held already) or 1 (the run was cancelled).
  void store(const SegKey& key, uint32_t length, const BlockPayload& payload,
             std::function<void(int)> after);
  // References a block replayed from the MD5 cache; at its turn after() gets whether the
  // server recorded the reference.
  void ref(const SegKey& key, std::function<void(bool)> after);
  // Reads replies and applies effects until all are applied and no request is in flight.
  // False when the run was cancelled.
  bool drain();

  RequestWindow& window() const { return window_; }

 private:
  struct Step {
    std::function<void()> effect;  // or a block:
    std::shared_ptr<BlockJob> job;
    std::function<void(int)> stored;
    std::function<void(bool)> referenced;
    size_t attempts_applied = 0;  // a block's failed attempts are applied as they fail
  };
  // Queues a step and reads replies until the window takes more.
  void add(Step step);
  // One reply, then whatever it made ready. False when the run was cancelled.
  bool pump();
  bool apply_ready();
  // Takes the first step off and applies it: an effect, or a block's answers so far.
  void apply_front();

  Run& run_;
  RequestWindow& window_;
  std::deque<Step> steps_;
};

}  // namespace corvio
