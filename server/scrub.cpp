// SPDX-License-Identifier: Apache-2.0
#include "scrub.h"

#include <algorithm>

#include "log.h"
#include "stored_block.h"

namespace corvio::server {
namespace {

constexpr size_t kBatch = 64;
constexpr uint64_t kLeastCost = 4096;

}  // namespace

std::string heal_block(Store& store, const BlockKey& key, const std::string& why) {
  const std::string what = "block (" + describe_block(key) + "): " + why + ": ";
  bool moved = false;
  std::string error;
  if (!store.quarantine_block(key, &moved, &error)) {
    return what + "cannot be taken out of the store: " + error;
  }
  if (!moved) return std::string();
  std::string users;
  for (uint32_t id : store.catalogs_using(key)) {
    users += (users.empty() ? "" : ", ") + std::to_string(id);
  }
  return what + "moved to quarantine/, no longer held; " +
         (users.empty() ? "no catalog uses it" : "used by catalogs " + users);
}

Scrubber::Scrubber(Store& store, uint64_t bytes_per_second)
    : store_(store), bytes_per_second_(bytes_per_second) {}

Scrubber::~Scrubber() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void Scrubber::start() {
  thread_ = std::thread([this] { run(); });
}

bool Scrubber::wait_until(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mu_);
  return !cv_.wait_until(lock, deadline, [this] { return stopping_; });
}

void Scrubber::run() {
  using Clock = std::chrono::steady_clock;
  std::optional<BlockKey> after;
  Clock::time_point due = Clock::now();
  for (;;) {
    std::vector<BlockKey> batch = store_.blocks_after(after, kBatch);
    if (batch.empty()) {
      // The end of the index, or an index that cannot be read now: start again a moment later.
      after.reset();
      due = std::max(due, Clock::now()) + std::chrono::seconds(1);
      if (!wait_until(due)) return;
      continue;
    }
    for (const BlockKey& key : batch) {
      // The rate holds over time: a block's read is paid for by waiting before the next one.
      const uint64_t cost = std::max<uint64_t>(key.length, kLeastCost);
      due = std::max(due, Clock::now() - std::chrono::seconds(1)) +
            std::chrono::microseconds(cost * 1'000'000 / bytes_per_second_);
      std::string why;
      if (read_stored_block(store_.block_path(key), key, nullptr, &why) == BlockRead::kDamaged) {
        std::string line = heal_block(store_, key, why);
        if (!line.empty()) log_line("scrub: " + line);
      }
      if (!wait_until(due)) return;
    }
    after = batch.back();
  }
}

}  // namespace corvio::server
