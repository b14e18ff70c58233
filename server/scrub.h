// SPDX-License-Identifier: Apache-2.0
// Damaged blocks leave the store. A block file whose bytes no longer make the block of its name
// (a flipped bit on the disk, a file cut short) would otherwise be referenced by every later run
// whose client finds the file unchanged in its MD5 cache, and none of those runs could restore
// it. Taken out of the index, the block is refused at its next reference, and the client reads
// the file again and uploads the block (its answer to a refused reference).
//
// verify takes out the damaged blocks it reads; a served store also reads all its blocks in the
// background (Scrubber), a bounded number of bytes a second, and takes out those it finds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "block.h"
#include "store.h"

namespace corvio::server {

// Takes the damaged block of key out of the store (Store::quarantine_block); why says what is
// wrong with it. Returns one line saying what was done, naming the catalogs that use the block;
// empty when the block was whole again when looked at under the store's lock.
std::string heal_block(Store& store, const BlockKey& key, const std::string& why);

// The background reading of a served store. Blocks are read in the order of their keys, a batch
// at a time, each a separate read of its file outside the store's lock; at the end of the index
// it starts again at the first block. A block costs at least 4 KiB of the rate, so that many
// small blocks cannot make it read faster in files than in bytes.
class Scrubber {
 public:
  // bytes_per_second must be above 0 for start().
  Scrubber(Store& store, uint64_t bytes_per_second);
  ~Scrubber();  // stops the thread, if started, and waits for it
  Scrubber(const Scrubber&) = delete;
  Scrubber& operator=(const Scrubber&) = delete;

  // Starts the thread. Throws std::system_error when it cannot be started.
  void start();

 private:
  void run();
  // Waits until deadline or a stop; false on a stop.
  bool wait_until(std::chrono::steady_clock::time_point deadline);

  Store& store_;
  const uint64_t bytes_per_second_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace corvio::server
