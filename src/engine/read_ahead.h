// SPDX-License-Identifier: Apache-2.0
// ReadAhead: reads, hashes and compresses the blocks of the file being backed up ahead of the
// block loop, so that while the worker exchanges block k with the server, blocks k+1, k+2, ...
// are already read, hashed and compressed on a pool of threads (one per core by default).
//
// The block loop still takes every block in file order and does everything the server, the
// log, the catalog, the cache and the display see, so a run is the same message for message
// whatever the pool's size. The pool only prepares: it reads the file strictly in order (one
// read at a time, each read filling a block as the loop would), stops at the first short read
// (the end, or a read error), and compresses every block it read. A block whose server copy
// exists is simply handed back with its compressed form unused.
//
// Memory is bounded: a fixed number of slots (the pool's size plus two), each a block buffer
// and a compressor with its output buffer, allocated once for the run, whatever the size or
// number of files. With no pool thread (threads 0) there is one slot, and next() reads and
// hashes on the caller's thread and payload() compresses there, only when asked: the plain
// block-by-block loop. Small files are read so too, whatever the pool's size.
//
// One thread (the backup worker) calls every member; the pool's threads are internal. One file
// at a time: begin() ... end(), or a Reading scope.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/block_compress.h"
#include "platform/file_system.h"
#include "util/md5_hex.h"

namespace corvio {

// One block of the file as next() hands it over.
struct AheadBlock {
  const uint8_t* data = nullptr;
  int64_t length = 0;  // bytes read: kBlockSize but for the last block (maybe 0); -1 on error
  Md5Digest md5{};     // of the bytes read, when length > 0
};

class ReadAhead {
 public:
  // The default pool size: one thread per core.
  static unsigned default_threads();

  explicit ReadAhead(unsigned threads);
  ~ReadAhead();  // stops the pool and joins it; no file may be in progress
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // False when the block buffers could not be allocated; nothing else works then.
  bool ok() const { return ok_; }
  // Between begin() and end(): another file must wait, or be read by another ReadAhead.
  bool in_use() const { return file_ != nullptr; }

  // Starts reading file, of size bytes as last seen, from its current position. file must stay
  // open until end(). A file below kSerialBelow is read, hashed and compressed on the caller's
  // thread, as with no pool: handing it to a pool thread and back costs more than that work.
  void begin(ReadableFile& file, uint64_t size);
  static constexpr uint64_t kSerialBelow = 64 * 1024;
  // The next block in file order, once read and hashed (waits for it). Hands the block of the
  // previous call back to the pool. Not to be called again after a block shorter than
  // kBlockSize (which ends the file, or is a read error). Valid until the next call or end().
  const AheadBlock& next();
  // The last block's payload, compressed or raw (waits for the compression). Valid as the
  // block is.
  BlockPayload payload();
  // Stops reading the file and waits until no pool thread touches it or its blocks: at most
  // the blocks being read or compressed are finished and dropped.
  void end();

  // begin() for the life of the scope, end() at its close.
  class Reading {
   public:
    Reading(ReadAhead& ahead, ReadableFile& file, uint64_t size) : ahead_(ahead) {
      ahead_.begin(file, size);
    }
    ~Reading() { ahead_.end(); }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

   private:
    ReadAhead& ahead_;
  };

 private:
  enum class State { kFree, kBusy, kHashed, kCompressed };
  struct Slot {
    std::unique_ptr<uint8_t[]> buffer;
    AheadBlock block;
    BlockCompressor compressor;
    bool compressed = false;
    State state = State::kFree;
  };

  // True when a pool thread may read the next block: a file is open and not at its end, no
  // other read runs, and a slot is free. Called with mu_ held.
  bool can_read() const;
  void work();
  // The digest of the bytes read into the slot.
  static void hash(Slot& slot);

  const unsigned threads_;
  bool ok_ = true;
  std::vector<std::unique_ptr<Slot>> slots_;  // a ring: head_ is the oldest block in flight

  std::mutex mu_;
  std::condition_variable work_cv_;   // pool: something to read, or quit_
  std::condition_variable ready_cv_;  // worker: a block hashed or compressed, or a thread idle
  ReadableFile* file_ = nullptr;
  bool serial_ = false;      // the file is read on the caller's thread, in slot 0
  bool file_ended_ = false;  // a short read happened: nothing more to read
  bool reading_ = false;     // a pool thread is reading the file
  bool handed_out_ = false;  // the head block is with the worker since next()
  size_t head_ = 0;
  size_t in_flight_ = 0;  // slots from head_ on that hold or await a block of the file
  unsigned busy_ = 0;     // pool threads working on a slot outside the lock
  bool quit_ = false;
  std::vector<std::thread> pool_;
};

}  // namespace corvio
