// SPDX-License-Identifier: Apache-2.0
#include "engine/backup_file.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "base/display.h"
#include "catalog/catalog.h"
#include "engine/block_store.h"
#include "engine/read_ahead.h"
#include "md5cache/md5cache.h"
#include "net/requests.h"
#include "net/connection.h"
#include "util/md5_hex.h"
#include "util/text.h"

namespace corvio {

namespace {

// A file written less than this many seconds before it is read may still be changing, so its
// write time is not cached and the next run reads it again.
constexpr uint32_t kRecentWriteSeconds = 5;

struct CachedBlock {
  Md5Digest md5;
  uint32_t size;
};

uint32_t block_count(uint64_t size) {
  return static_cast<uint32_t>(size / kBlockSize + (size % kBlockSize ? 1 : 0));
}

void show_blocks(Run& run, uint32_t done, uint32_t total, uint32_t percent) {
  char text[64];
  std::snprintf(text, sizeof text, "Block %u of %u (%u%%)", done, total, percent);
  run.ctx.display.set_text(ui::Field::BlockText, text);
  run.ctx.display.set_file_progress(done, total == 0 ? 1 : total);
}

// Progress while block k (from 1) of a file of n blocks is being handled.
void show_block_progress(Run& run, uint32_t k, uint32_t n) {
  show_blocks(run, k - 1, n, static_cast<uint32_t>(100ull * (k - 1) / n));
}

// The cached blocks of a file row, or nothing when they do not describe size bytes in
// whole blocks (a flush that failed part way leaves such rows): such a file is read again.
std::optional<std::vector<CachedBlock>> cached_blocks(Md5Cache& cache, uint32_t row,
                                                      const Md5CacheFileData& data, uint64_t size) {
  std::vector<CachedBlock> blocks;
  uint64_t offset = 0;
  CachedBlock block;
  while (cache.segs_get_md5(row, offset, block.md5.data()) == 0) {
    block.size = cache.segs_get_size(row, offset);
    if (block.size == 0 || block.size > data.blocksize) return std::nullopt;
    blocks.push_back(block);
    offset += data.blocksize;
    if (block.size < data.blocksize) break;  // only the last block is short
  }
  uint64_t total = 0;
  for (const CachedBlock& b : blocks) total += b.size;
  if (total != size) return std::nullopt;
  return blocks;
}

// The cached blocks of a file the cache knows as unchanged since it was last read; nothing when
// it must be read. *found tells whether the cache had a row for it. The lookups share one read
// lock of the cache, taken and released here, before any exchange with the server.
std::optional<std::vector<CachedBlock>> unchanged_blocks(Run& run, const std::string& path,
                                                         uint64_t size, uint32_t t_modify,
                                                         uint32_t start, bool* found) {
  Md5Cache::Lookups lookups(run.cache);
  const uint32_t row = run.cache.filespec_find(path);
  Md5CacheFileData data;
  *found = row != 0 && run.cache.filespec_getdata(row, &data) == 0;
  if (!*found || data.size != size || data.t_modify != t_modify) return std::nullopt;
  if (data.t_lastcheck > start) {
    run.log(" skew");
    return std::nullopt;
  }
  // Last read too long ago: read it to catch silent changes.
  if (start - data.t_lastcheck > run.cache.recheck_limit()) return std::nullopt;
  return cached_blocks(run.cache, row, data, size);
}

enum class Replay { kDone, kRefused, kCancelled };

// Announces every cached block to the server; the catalog gets the block rows only once the
// server has accepted them all, so a refused reference leaves the file to be read afresh.
Replay replay(Run& run, uint32_t catalog_id, const std::vector<CachedBlock>& blocks, uint32_t n) {
  uint32_t k = 0;
  for (const CachedBlock& block : blocks) {
    run.wait_if_paused();
    if (run.session.cancelled()) return Replay::kCancelled;
    if (seg_ref(run.net, block.md5) != 0) {
      return run.session.cancelled() ? Replay::kCancelled : Replay::kRefused;
    }
    ++k;
    if (n >= 2) show_block_progress(run, k, n);
  }
  uint64_t offset = 0;
  for (const CachedBlock& block : blocks) {
    run.catalog.seg_insert(catalog_id, block.md5.data(), offset, block.size);
    offset += kBlockSize;
  }
  return Replay::kDone;
}

enum class Read { kDone, kFailed, kCancelled };

// The blocks come from the read-ahead (read, hashed and, on its pool, compressed ahead); what
// happens to each, in order, is the same as reading, hashing and storing it here.
Read read_file(Run& run, ReadAhead& ahead, ReadableFile& file, uint64_t size, uint32_t catalog_id,
               Md5CachePendingFile* entry, uint32_t n, uint64_t* offset, uint32_t* counted) {
  if (!ahead.ok()) {
    run.ctx.messages.message_box("Memory alloc failure for file buffer!", "Backup Failure");
    return Read::kFailed;
  }
  ReadAhead::Reading reading(ahead, file, size);
  const PayloadSource payload = [&ahead] { return ahead.payload(); };
  for (;;) {
    const AheadBlock& block = ahead.next();
    if (block.length < 0) return Read::kFailed;
    run.wait_if_paused();
    if (run.session.cancelled()) return Read::kCancelled;
    if (uint32_t delay = run.profile().block_delay_ms.load()) run.ctx.clock.sleep_ms(delay);
    if (block.length == 0) break;

    const uint32_t length = static_cast<uint32_t>(block.length);
    run.cache.queue_seg(entry, *offset, length, block.md5.data());
    run.catalog.seg_insert(catalog_id, block.md5.data(), *offset, length);
    *offset += length;
    if (n >= 2) {
      ++*counted;
      char text[32];
      std::snprintf(text, sizeof text, "(%u/%u) ", *counted, n);
      run.log(text);
      show_block_progress(run, *counted, n);
    }
    if (seg_store_retry(run, block.md5, block.data, length, payload) != 0) {
      run.log("Error storing segment! ");
    }
    if (length < kBlockSize) break;
  }
  return Read::kDone;
}

}  // namespace

int backup_file(Run& run, const std::string& prefix, const std::string& name) {
  Context& ctx = run.ctx;
  BackupStats& stats = run.session.stats;
  const uint32_t start = static_cast<uint32_t>(ctx.clock.now());
  run.session.file_bytes_sent = 0;

  const std::string path = upper_drive_letter(ctx.style, prefix + name);
  const std::string source = run.source(path);
  std::optional<FileInfo> info = ctx.fs.find(source);
  if (!info) {
    run.log("Warning: Failed to stat file: " + escape_controls(path) + "\n");
    stats.warnings.add(1);
    return 0;
  }
  const uint64_t size = info->size;
  const uint32_t t_modify = static_cast<uint32_t>(info->t_write);
  // The MD5 cache keeps the later of the write and, on POSIX, the status change time: a rewrite
  // that sets its old write time back (a restore, touch -d) still moves the change time.
  const uint32_t t_cached =
      ctx.style.is_windows() ? t_modify : std::max(t_modify, static_cast<uint32_t>(info->t_create));

  stats.files.add(1);
  stats.bytes_total.add(size);
  ctx.display.set_files(stats.files);
  ctx.display.set_bytes_total(stats.bytes_total);

  const uint32_t n = block_count(size);
  show_blocks(run, 0, n, 0);

  FileStat stat;
  stat.type = kFileStatRegular;
  stat.attr = static_cast<uint8_t>(info->attributes & 0xff);
  stat.mode = 0x4000;
  if (!ctx.style.is_windows()) {
    stat.mode = info->mode;
    stat.owner = info->owner;
    stat.group = info->group;
  }
  stat.size = size;
  stat.t_access = static_cast<uint32_t>(info->t_access);
  stat.t_change = static_cast<uint32_t>(info->t_create);
  stat.t_modify = t_modify;
  const uint32_t catalog_id = run.catalog.filespec_insert(path, stat);

  bool need_read = true;
  bool found = false;
  if (auto blocks = unchanged_blocks(run, path, size, t_cached, start, &found)) {
    const Replay result = replay(run, catalog_id, *blocks, n);
    if (result == Replay::kCancelled) return 1;
    if (result == Replay::kDone) {
      need_read = false;
      run.log(" skipped.\n");
      stats.bytes_skipped.add(size);
      ctx.display.set_bytes_skipped(stats.bytes_skipped);
    }
  }
  if (found) show_blocks(run, need_read ? 0 : n, n, 100);

  if (size == 0 || !need_read) {
    if (size == 0) run.log("\n");
    stats.files_skipped.add(1);
    ctx.display.set_files_skipped(stats.files_skipped);
    return 0;
  }

  std::unique_ptr<ReadableFile> file = ctx.fs.open_read(source);
  if (!file) {
    run.log("\nError: couldn't read file: " + escape_controls(path) + "\n");
    stats.errors.add(1);
    run.catalog.filespec_drop(catalog_id);
    return 0;
  }
  const bool settled = start > t_cached && start - t_cached > kRecentWriteSeconds;
  Md5CachePendingFile* entry = run.cache.queue_file(path, size, settled ? t_cached : 0, start);

  run.log(" ");
  uint64_t offset = 0;
  uint32_t counted = 0;
  std::optional<ReadAhead> own;  // a Run without a read-ahead reads block by block
  ReadAhead& ahead = run.read_ahead ? *run.read_ahead : own.emplace(0);
  const Read result = read_file(run, ahead, *file, size, catalog_id, entry, n, &offset, &counted);
  if (result == Read::kCancelled) return 1;
  show_blocks(run, counted, n, 100);
  if (result == Read::kFailed) {
    run.log("Error: couldn't read file: " + escape_controls(path) + "\n");
    stats.errors.add(1);
    run.catalog.filespec_drop(catalog_id);
    return 0;
  }
  if (offset != size) {
    // The blocks describe what was read; the cache must not vouch for either size.
    char text[96];
    std::snprintf(text, sizeof text, " (%" PRIu64 " bytes read of %" PRIu64 ")\n", offset, size);
    run.log("Warning: File changed while it was read: " + escape_controls(path) + text);
    stats.warnings.add(1);
    run.catalog.filespec_set_size(catalog_id, offset);
    stats.files_scanned.add(1);
    return 0;
  }
  run.cache.file_done(entry);
  stats.files_scanned.add(1);
  return 0;
}

}  // namespace corvio
