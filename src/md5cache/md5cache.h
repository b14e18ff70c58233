// SPDX-License-Identifier: Apache-2.0
// Md5Cache: md5cache.dat in the data directory, shared by every profile. For each file a run has
// read and hashed it remembers the size, the last-write time, the block size, when the file was
// last read (t_lastcheck) and the digest and length of every block, so that a later run can take
// an unchanged file's digests from here instead of reading it again.
//
// Rows are not written block by block: the block loop queues one pending entry per file and one
// record per block, and the queue is written in one transaction once 64 files or 128 blocks are
// pending, at the flush after a run's walks, and at close. Entries of files whose reading was
// cancelled are never completed and are dropped by the flush. After a completed run cleanup()
// removes rows of files that are gone or were last read long ago.
//
// A batch that fails (a statement or the commit; a busy database, a full disk) is rolled back
// whole, shown once and counted in failed_batches(). For the cache that is safe: the files of a
// lost flush are simply not cached and are read again by the next run, and removals lost by the
// cleanup are tried again by a later one.
//
// A cache file that exists and cannot be read is not dropped in place: it is moved aside to
// md5cache.dat.damaged-<UTC time>, which is shown, and a new, empty cache is created.
//
// Opened by start-up on the user-interface thread, used by the backup worker during the run,
// closed at exit; never by two threads at once. Every failure is shown through ctx.messages at
// once and the operation returns its "not found" or failure value; callers go on. The lookups
// and writes keep their statements prepared (db::Database::cached), since they run once per
// file or block; between operations every statement is reset.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/context.h"
#include "db/database.h"
#include "util/block_format.h"
#include "util/md5_hex.h"

namespace corvio {

struct BackupSession;

// Paths longer than this are not cached.
inline constexpr size_t kMd5CachePathChars = 1023;

struct Md5CacheFileData {
  uint64_t size = 0;
  // The time the block loop compares: the file's write time, on POSIX the later of that and
  // its status change time.
  uint32_t t_modify = 0;
  uint32_t t_lastcheck = 0;
  uint32_t blocksize = 0;
};

struct Md5CachePendingSeg {
  uint64_t offset = 0;
  uint32_t size = 0;
  Md5Digest md5{};
};

struct Md5CachePendingFile {
  std::string path;  // in the letter case the caller gave
  uint64_t size = 0;
  uint32_t blocksize = kBlockSize;
  uint32_t t_modify = 0;
  uint32_t t_lastcheck = 0;
  bool complete = false;  // set once the whole file has been read
  std::vector<Md5CachePendingSeg> segs;
};

class Md5Cache {
 public:
  // busy_timeout_ms: how long a statement waits for another connection's lock (tests shorten it).
  explicit Md5Cache(Context& ctx, int busy_timeout_ms = 120000);
  ~Md5Cache() { close(); }
  Md5Cache(const Md5Cache&) = delete;
  Md5Cache& operator=(const Md5Cache&) = delete;

  // Opens or creates the database. A missing or empty file gets the tables; one with a readable
  // corvio_info table is used as it is, whatever version it names; a damaged one (not a
  // database, or tables missing) is moved aside and replaced by a new cache. 0 on success, 1
  // after a message (a busy or unreadable file is left as it is).
  int open();
  // Writes the queue and closes; nothing when not open.
  void close();
  bool is_open() const { return db_.is_open(); }

  // Lookups. Paths are folded to lower case under the Windows style. A file row whose blocksize
  // is not kBlockSize is damaged and counts as not found.
  uint32_t filespec_find(std::string_view path);                      // row id or 0
  int filespec_getdata(uint32_t file_id, Md5CacheFileData* data);     // 0 found, 1 not
  int segs_get_md5(uint32_t file_id, uint64_t offset, uint8_t* md5);  // 0 found, 1 not
  uint32_t segs_get_size(uint32_t file_id, uint64_t offset);          // size or 0

  // Holds one read transaction over a file's lookups, so that they take the database's shared
  // lock once instead of once each: every lock and its release costs several system calls,
  // which on an unchanged run add up to more than the rest of the lookup. Nothing may be
  // written while it is open, and it must not span a wait on the server or the user: another
  // run sharing the cache waits that long to write. Does nothing when the cache is closed or a
  // transaction is open already.
  class Lookups {
   public:
    explicit Lookups(Md5Cache& cache) {
      if (cache.is_open() && !cache.db_.in_transaction()) read_.emplace(cache.db_);
    }

   private:
    std::optional<db::Transaction> read_;  // rolled back at the end: it only read
  };

  // Writes. filespec_insert updates the row of a known path or inserts one; the row id, or 0.
  uint32_t filespec_insert(std::string_view path, uint64_t size, uint32_t blocksize,
                           uint32_t t_modify, uint32_t t_lastcheck);
  int segs_delete_all(uint32_t file_id);  // 0, or 1 on failure
  // Replaces the block row at offset. 1 when removing the old row failed, else 0.
  int segs_insert(const uint8_t* md5, uint32_t file_id, uint64_t offset, uint32_t size);

  // The queue. An entry stays valid until the next flush.
  Md5CachePendingFile* queue_file(std::string_view path, uint64_t size, uint32_t t_modify,
                                  uint32_t t_lastcheck);
  void queue_seg(Md5CachePendingFile* entry, uint64_t offset, uint32_t size, const uint8_t* md5);
  // Marks the entry complete and flushes once 64 files or 128 blocks are pending.
  void file_done(Md5CachePendingFile* entry);
  // Writes every complete entry in one transaction and empties the queue. Always 0; a failed
  // batch is counted in failed_batches().
  int flush();
  // Batches (flushes and cleanup commits) lost since open().
  uint32_t failed_batches() const { return failed_batches_; }
  bool every_batch_committed() const { return failed_batches_ == 0; }
  size_t pending_files() const { return pending_.size(); }
  size_t pending_segs() const { return pending_segs_; }

  // End-of-run pruning: of at most 10,000 files last read over 90 days ago or dated more than a
  // day ahead, removes those over 180 days old and those whose file is gone. A cancel request
  // in session (may be null) stops it after the row being handled. The count removed, or 1
  // after a failed delete.
  uint32_t cleanup(const BackupSession* session);

  // The age after which a cached file must be read again: 90 days less a pseudo-random jitter
  // of up to 32,767 seconds, so that files cached together are not all re-read by one run.
  uint32_t recheck_limit();
  // Replaces the generator (values 0 to 32,767) seeded from the clock at construction.
  void set_random_source(std::function<uint32_t()> source) { random_ = std::move(source); }

 private:
  // Opens (or creates) the file at path with the busy time-out; 0, or 1 after its message.
  int open_file(const std::string& path);
  int create_tables();
  // Moves a damaged cache file (and its journal) aside and opens a new one in its place.
  int replace_damaged(const std::string& path, const std::string& reason);
  // Writes the complete entries of the queue; the first failed statement ends the batch.
  void write_queue();
  // Shows a failed statement's message titled "SQL Error in <operation>" and counts it.
  void sql_error(std::string_view operation, std::string_view text);
  // sql_error() for one operation, as the report of a db::Steps.
  auto report(std::string_view operation) {
    return [this, operation](std::string_view text) { sql_error(operation, text); };
  }
  // Binds file id and offset to st (a select of one block row) and steps once: true with the
  // row in st; false for none, or after its message (also when st is empty).
  bool query_seg(std::string_view operation, const db::CachedStatement& st, uint32_t file_id,
                 uint64_t offset);
  // The path as stored, or empty when it is too long to be cached.
  std::string stored_path(std::string_view path) const;

  Context& ctx_;
  int busy_timeout_ms_;
  db::Database db_;
  uint32_t sql_errors_ = 0;  // failed statements, so that a batch can tell it lost a row
  uint32_t failed_batches_ = 0;
  std::list<Md5CachePendingFile> pending_;
  size_t pending_segs_ = 0;
  std::minstd_rand rng_;
  std::function<uint32_t()> random_;
};

}  // namespace corvio
