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
#include "engine/pipeline.h"
#include "engine/read_ahead.h"
#include "md5cache/md5cache.h"
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
// it must be read. *found tells whether the cache had a row for it, *skew whether its last check
// lies ahead of the clock. The lookups share one read lock of the cache, taken and released
// here, before any request to the server.
std::optional<std::vector<CachedBlock>> unchanged_blocks(Run& run, const std::string& path,
                                                         uint64_t size, uint32_t t_modify,
                                                         uint32_t start, bool* found, bool* skew) {
  Md5Cache::Lookups lookups(run.cache);
  const uint32_t row = run.cache.filespec_find(path);
  Md5CacheFileData data;
  *found = row != 0 && run.cache.filespec_getdata(row, &data) == 0;
  if (!*found || data.size != size || data.t_modify != t_modify) return std::nullopt;
  if (data.t_lastcheck > start) {
    *skew = true;
    return std::nullopt;
  }
  // Last read too long ago: read it to catch silent changes.
  if (start - data.t_lastcheck > run.cache.recheck_limit()) return std::nullopt;
  return cached_blocks(run.cache, row, data, size);
}

// One file as the walk found it, and what its effects leave for the later ones: they are
// applied in order, after the walk has gone on.
struct FileRun {
  std::string path;
  std::string source;
  uint64_t size = 0;
  uint32_t n = 0;  // blocks
  uint32_t start = 0;
  uint32_t t_cached = 0;
  bool found = false;  // the MD5 cache has a row for the file
  uint32_t catalog_id = 0;
  Md5CachePendingFile* entry = nullptr;
  bool refused = false;  // the server refused a reference of the replay
};

void skip_file(Run& run, const std::shared_ptr<FileRun>& f);
int read_file(Run& run, const std::shared_ptr<FileRun>& f);

// A file that could not be read to its end: it leaves the catalog, and counts as an error.
int read_failed(Run& run, const std::shared_ptr<FileRun>& f, uint32_t counted) {
  run.then([&run, f, counted] {
    show_blocks(run, counted, f->n, 100);
    run.log("Error: couldn't read file: " + escape_controls(f->path) + "\n");
    run.session.stats.errors.add(1);
    run.catalog.filespec_drop(f->catalog_id);
  });
  return 0;
}

// Announces every cached block to the server; the catalog gets the block rows only once the
// server has accepted them all. A refused reference leaves the file to be read afresh, at its
// turn, before anything the walk did after it is applied.
void replay(Run& run, const std::shared_ptr<FileRun>& f, const std::vector<CachedBlock>& blocks) {
  uint32_t k = 0;
  for (const CachedBlock& block : blocks) {
    const uint32_t nth = ++k;
    run.then([&run] { run.wait_if_paused(); });
    // The references go without waiting for one another; after a refused one the rest of
    // the replay counts for nothing, as the file is read again.
    run.pipe->ref(block.md5, [&run, f, nth](bool referenced) {
      if (f->refused) return;
      if (!referenced) {
        f->refused = true;
        return;
      }
      if (f->n >= 2) show_block_progress(run, nth, f->n);
    });
  }
  run.then([&run, f, blocks] {
    if (f->refused) {
      // Read now, in this file's turn: its effects go before the later files' still waiting.
      Pipeline now(run, run.pipe->window());
      Pipeline* later = run.pipe;
      run.pipe = &now;
      if (f->found) run.then([&run, f] { show_blocks(run, 0, f->n, 100); });
      (void)read_file(run, f);
      (void)now.drain();
      run.pipe = later;
      return;
    }
    uint64_t offset = 0;
    for (const CachedBlock& block : blocks) {
      run.catalog.seg_insert(f->catalog_id, block.md5.data(), offset, block.size);
      offset += kBlockSize;
    }
    BackupStats& stats = run.session.stats;
    run.log(" skipped.\n");
    stats.bytes_skipped.add(f->size);
    run.ctx.display.set_bytes_skipped(stats.bytes_skipped);
    if (f->found) show_blocks(run, f->n, f->n, 100);
    skip_file(run, f);
  });
}

// A file with nothing to read: empty, or replayed.
void skip_file(Run& run, const std::shared_ptr<FileRun>& f) {
  BackupStats& stats = run.session.stats;
  if (f->size == 0) run.log("\n");
  stats.files_skipped.add(1);
  run.ctx.display.set_files_skipped(stats.files_skipped);
}

// The file read in blocks from the read-ahead (read, hashed and, on its pool, compressed ahead):
// each block's catalog and cache rows, log record and progress are handed to the pipeline with
// its storing, in file order. 1 when the run was cancelled.
int read_file(Run& run, const std::shared_ptr<FileRun>& f) {
  std::unique_ptr<ReadableFile> file = run.ctx.fs.open_read(f->source);
  if (!file) {
    run.then([&run, f] {
      run.log("\nError: couldn't read file: " + escape_controls(f->path) + "\n");
      run.session.stats.errors.add(1);
      run.catalog.filespec_drop(f->catalog_id);
    });
    return 0;
  }
  run.then([&run, f] {
    const bool settled = f->start > f->t_cached && f->start - f->t_cached > kRecentWriteSeconds;
    f->entry = run.cache.queue_file(f->path, f->size, settled ? f->t_cached : 0, f->start);
    run.log(" ");
  });

  std::optional<ReadAhead> own;  // a Run without a read-ahead reads block by block
  ReadAhead& ahead = run.read_ahead && !run.read_ahead->in_use() ? *run.read_ahead : own.emplace(0);
  if (!ahead.ok()) {
    run.then([&run] {
      run.ctx.messages.message_box("Memory alloc failure for file buffer!", "Backup Failure");
    });
    return read_failed(run, f, 0);
  }
  ReadAhead::Reading reading(ahead, *file, f->size);
  uint64_t offset = 0;
  uint32_t counted = 0;
  for (;;) {
    const AheadBlock& block = ahead.next();
    if (block.length < 0) return read_failed(run, f, counted);
    run.wait_if_paused();
    if (run.session.cancelled()) return 1;
    if (uint32_t delay = run.profile().block_delay_ms.load()) run.ctx.clock.sleep_ms(delay);
    if (block.length == 0) break;

    const uint32_t length = static_cast<uint32_t>(block.length);
    if (f->n >= 2) ++counted;
    run.then([&run, f, offset, length, md5 = block.md5, counted] {
      run.wait_if_paused();
      run.cache.queue_seg(f->entry, offset, length, md5.data());
      run.catalog.seg_insert(f->catalog_id, md5.data(), offset, length);
      if (f->n >= 2) {
        char text[32];
        std::snprintf(text, sizeof text, "(%u/%u) ", counted, f->n);
        run.log(text);
        show_block_progress(run, counted, f->n);
      }
    });
    run.pipe->store(block.md5, length, ahead.payload(), [&run](int result) {
      if (result != 0) run.log("Error storing segment! ");
    });
    offset += length;
    // The file is read as far as the size it was counted with: a writer that appends faster
    // than the run reads cannot keep the run here.
    if (length < kBlockSize || offset >= f->size) break;
  }
  // A short last block was the end of the file when it was read; only a file that ends on a
  // block boundary may have grown unseen.
  uint64_t grown_to = 0;
  if (offset == f->size && f->size % kBlockSize == 0) {
    std::optional<FileInfo> now = run.ctx.fs.find(f->source);
    if (now && now->size > f->size) grown_to = now->size;
  }
  run.then([&run, f, offset, counted, grown_to] {
    BackupStats& stats = run.session.stats;
    show_blocks(run, counted, f->n, 100);
    if (grown_to) {
      // Backed up as counted; the cache must not vouch for it, so the next run reads it again.
      char text[96];
      std::snprintf(text, sizeof text, " (%" PRIu64 " bytes read; now %" PRIu64 ")\n", offset,
                    grown_to);
      run.log("Warning: File grew while it was read: " + escape_controls(f->path) + text);
      stats.warnings.add(1);
      stats.files_scanned.add(1);
      return;
    }
    if (offset != f->size) {
      // The blocks describe what was read; the cache must not vouch for either size.
      char text[96];
      std::snprintf(text, sizeof text, " (%" PRIu64 " bytes read of %" PRIu64 ")\n", offset,
                    f->size);
      run.log("Warning: File changed while it was read: " + escape_controls(f->path) + text);
      stats.warnings.add(1);
      run.catalog.filespec_set_size(f->catalog_id, offset);
      stats.files_scanned.add(1);
      return;
    }
    run.cache.file_done(f->entry);
    stats.files_scanned.add(1);
  });
  return 0;
}

}  // namespace

int backup_file(Run& run, const std::string& prefix, const std::string& name) {
  Context& ctx = run.ctx;
  auto f = std::make_shared<FileRun>();
  f->start = static_cast<uint32_t>(ctx.clock.now());
  f->path = upper_drive_letter(ctx.style, prefix + name);
  f->source = run.source(f->path);
  std::optional<FileInfo> info = ctx.fs.find(f->source);
  if (!info) {
    run.then([&run, f] {
      run.session.file_bytes_sent = 0;
      run.log("Warning: Failed to stat file: " + escape_controls(f->path) + "\n");
      run.session.stats.warnings.add(1);
    });
    return 0;
  }
  f->size = info->size;
  f->n = block_count(f->size);
  const uint32_t t_modify = static_cast<uint32_t>(info->t_write);
  // The MD5 cache keeps the later of the write and, on POSIX, the status change time: a rewrite
  // that sets its old write time back (a restore, touch -d) still moves the change time.
  f->t_cached =
      ctx.style.is_windows() ? t_modify : std::max(t_modify, static_cast<uint32_t>(info->t_create));

  FileStat stat;
  stat.type = kFileStatRegular;
  stat.attr = static_cast<uint8_t>(info->attributes & 0xff);
  stat.mode = 0x4000;
  if (!ctx.style.is_windows()) {
    stat.mode = info->mode;
    stat.owner = info->owner;
    stat.group = info->group;
  }
  stat.size = f->size;
  stat.t_access = static_cast<uint32_t>(info->t_access);
  stat.t_change = static_cast<uint32_t>(info->t_create);
  stat.t_modify = t_modify;
  run.then([&run, f, stat] {
    BackupStats& stats = run.session.stats;
    run.session.file_bytes_sent = 0;
    stats.files.add(1);
    stats.bytes_total.add(f->size);
    run.ctx.display.set_files(stats.files);
    run.ctx.display.set_bytes_total(stats.bytes_total);
    show_blocks(run, 0, f->n, 0);
    f->catalog_id = run.catalog.filespec_insert(f->path, stat);
  });

  bool skew = false;
  auto blocks = unchanged_blocks(run, f->path, f->size, f->t_cached, f->start, &f->found, &skew);
  if (skew) run.then([&run] { run.log(" skew"); });
  if (blocks) {
    replay(run, f, *blocks);
    return run.session.cancelled() ? 1 : 0;
  }
  if (f->found) run.then([&run, f] { show_blocks(run, 0, f->n, 100); });
  if (f->size == 0) {
    run.then([&run, f] { skip_file(run, f); });
    return 0;
  }
  return read_file(run, f);
}

}  // namespace corvio
