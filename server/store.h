// SPDX-License-Identifier: Apache-2.0
// The server's store: a directory holding the SQLite index store.db and the block files under
// blocks/. The index lists logins (salted password hashes), profiles, catalog numbers, the
// blocks held, which catalog references which block, and the end-of-run records.
//
// Durability. A block file is written whole to a temporary name and renamed into place before
// the index lists it, so a killed server never leaves a half-written block that counts as
// held. Nothing is forced to the disk block by block (that cost a disk sync per block and per
// reference); instead finish_run() syncs the store's file system before it records a run, so
// a run whose end-of-run record is acknowledged uses only blocks that are on the disk, with
// their index rows. A crash of the machine may still lose blocks written since the last such
// sync, and the index rows written with them may or may not survive: recover(), run before the
// store is served, reads after an unclean stop every block indexed since the last sync and
// drops those missing or damaged, so the store never lists a block it does not hold (a client
// then uploads it again). A stop is clean once mark_clean_stop() synced everything.
//
// A served store (once recover() ran) writes the rows of references behind: each is answered
// at once and written with the others, kPendingRows at a time or a tenth of a second after the
// first of them, and always before an end-of-run record is written. The index's lock is then
// taken once for many rows, not once per row. A server killed before they are written loses
// references of runs not yet finished, which nothing reads; blocks are indexed as they are kept,
// so every block acknowledged stays listed.
//
// One Store is shared by every connection of the server; each method takes the store's lock
// for its use of the index, so the index is never used by two threads at once.
//
// The store is private to its owner: the directory and every folder in it have mode 0700,
// every file 0600, set explicitly whatever the umask. Opening a store made looser (by an older
// version or by hand) tightens it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "block.h"
#include "db/database.h"
#include "net/catalog_messages.h"
#include "util/file_handle.h"

namespace corvio::server {

// The end-of-run record of one catalog, as the client sends it.
using RunRecord = protocol::CatalogFinish;

enum class RefResult { kRecorded, kNoBlock, kNotOwner, kError };
// kError: the blocks could not be synced or the record written; nothing may be acknowledged.
enum class FinishResult { kRecorded, kNotOwner, kError };

// How much a store holds, as init reports it for an existing store.
struct StoreCounts {
  int64_t logins = 0;
  int64_t profiles = 0;
  int64_t catalogs = 0;
  int64_t blocks = 0;
};

// A block being written as its bytes arrive, to a temporary file beside its final place.
// commit() closes it, renames it into place and lists it as held; a writer dropped without a
// commit removes its temporary file.
class BlockWriter {
 public:
  ~BlockWriter();
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // False, with error() set, when the bytes cannot be written.
  bool write(std::string_view bytes);
  // False, with *error set, when the block cannot be put in place or indexed.
  bool commit(std::string* error);
  const std::string& error() const { return error_; }
  const std::string& temp_path() const { return temp_; }

 private:
  friend class Store;
  BlockWriter(class Store& store, BlockKey key, std::string temp, FileHandle file);
  Store& store_;
  BlockKey key_;
  std::string temp_;
  std::unique_ptr<char[]> buffer_;  // the file's write buffer: it must outlive file_
  FileHandle file_;
  std::string error_;
};

class Store {
 public:
  ~Store();  // writes the references still held back
  // Creates the directory, the index and the block folder. An existing store keeps its data.
  static bool create(const std::string& dir, std::string* error);
  // True when dir holds a store's index and block folder.
  static bool exists(const std::string& dir);
  // Opens a store made by create(), tightening its modes. Null, with *error set, when dir holds
  // none or cannot be made private.
  static std::unique_ptr<Store> open(const std::string& dir, std::string* error);

  const std::string& dir() const { return dir_; }

  // Makes the index fit to serve. After an unclean stop (no mark_clean_stop() since the last
  // recover(): a kill, a crash of the machine, or a store never served) it reads every block
  // indexed since the last sync, takes out the damaged ones (quarantine_block) and drops the
  // rows of the missing ones, and holds the empty block again if it was lost. Then index
  // writes are no longer forced to the disk one by one (finish_run syncs them with the blocks),
  // and the mark of a clean stop is removed. *dropped tells how many blocks went. False, with
  // *error set, when the index cannot be read or the store not synced.
  bool recover(int64_t* dropped, std::string* error);
  // Syncs everything written and marks the stop as clean, so that the next recover() need not
  // check. Call it when serving ended and nothing writes any more.
  bool mark_clean_stop(std::string* error);

  StoreCounts counts();

  bool add_login(std::string_view login, std::string_view password, std::string* error);
  // True when login exists and password is its own. An unknown login costs the same time as a
  // known one, so that the answer's delay does not tell which logins exist.
  bool check_login(std::string_view login, std::string_view password);
  // Adds a profile for an existing login; its number in *id.
  bool add_profile(std::string_view login, std::string_view tag, uint32_t* id, std::string* error);
  // The number of the profile tag of login, if that login has one.
  std::optional<uint32_t> find_profile(std::string_view login, std::string_view tag);
  // A new catalog number, unique and increasing over the whole store, for a profile of login.
  // Nothing when the profile is not login's or the index fails.
  std::optional<uint32_t> allocate_catalog(std::string_view login, uint32_t profile_id,
                                           int64_t now);

  bool has_block(const BlockKey& key);
  // Keeps the bytes of a block already checked against key, and lists it as held.
  bool put_block(const BlockKey& key, std::string_view bytes, std::string* error);
  // Starts writing the block of key; its bytes must be checked against the key before the
  // commit. Null, with *error set, when its temporary file cannot be made.
  std::unique_ptr<BlockWriter> begin_block(const BlockKey& key, std::string* error);
  // Records that a catalog of login uses the block of this digest.
  RefResult add_ref(std::string_view login, uint32_t catalog_id,
                    const std::array<uint8_t, 16>& md5);
  // Writes the references held back so far (a session's, when it ends). False when they
  // cannot be written now; they are tried again later.
  bool write_references();
  // Forces every block written so far and the index to the disk, then records the end-of-run
  // record of a catalog of login, synced too. Takes as long as the sync: the store stays usable
  // by the other connections meanwhile.
  FinishResult finish_run(std::string_view login, const RunRecord& run, int64_t now);

  std::string block_path(const BlockKey& key) const;

  // Takes a damaged block out of the store: when its file is still not the block of key (read
  // again here, so that a block healed meanwhile stays), the file is moved to quarantine/ and
  // the index no longer lists the block, so that the next reference to it is refused and a
  // client uploads it again. *moved tells whether it was taken out; false, with *error set,
  // when that failed.
  bool quarantine_block(const BlockKey& key, bool* moved, std::string* error);
  // Up to limit blocks the index lists, in the order of their keys, after the block after (from
  // the first when not given). Empty at the end, and when the index cannot be read.
  std::vector<BlockKey> blocks_after(const std::optional<BlockKey>& after, size_t limit);
  // The catalogs that reference the block of key, by number.
  std::vector<uint32_t> catalogs_using(const BlockKey& key);

 private:
  friend class BlockWriter;
  explicit Store(std::string dir) : dir_(std::move(dir)) {}
  bool owns_catalog(std::string_view login, uint32_t catalog_id);  // lock held
  bool index_block(const BlockKey& key, std::string* error);
  bool unlist_block(const BlockKey& key, std::string* error);  // lock held
  std::string clean_stop_path() const;
  // The reference rows written behind, and the thread that writes them when they are old enough.
  struct PendingRef {
    uint32_t catalog_id;
    std::array<uint8_t, 16> md5;
    int64_t length;
  };
  bool insert_ref(const PendingRef& ref);  // lock held
  // Queues a reference (lock held); writes the queue when it is full. False when it cannot be
  // written and is too long to grow.
  bool pend(const PendingRef& ref);
  // Writes the queued rows in one transaction (lock held). They stay queued when it fails.
  bool write_pending();
  void write_behind();

  static constexpr size_t kPendingRows = 256;

  std::string dir_;
  // Which of the 256 block folders (by the digest's first byte) are known to exist and be
  // private, so that a block costs no folder check once its folder was made.
  std::array<std::atomic<bool>, 256> folder_made_{};
  std::mutex mu_;
  db::Database db_;
  // The statements of every block request, prepared once (after db_: finalized before it).
  db::Statement has_block_st_, owns_catalog_st_, find_length_st_, add_ref_st_, index_block_st_;

  bool batching_ = false;  // set by recover(): references are written behind
  std::vector<PendingRef> pending_refs_;
  std::chrono::steady_clock::time_point pending_since_;
  // Catalogs known to be a login's: ownership never changes, so a reference checks it once.
  std::map<uint32_t, std::string> owners_;
  bool stopping_ = false;
  std::condition_variable writer_cv_;
  std::thread writer_;
};

}  // namespace corvio::server
