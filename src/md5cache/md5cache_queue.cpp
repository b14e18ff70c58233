// SPDX-License-Identifier: Apache-2.0
// The pending queue: files and blocks wait in memory and are written in batches.
#include <cstring>

#include "md5cache/md5cache.h"

namespace corvio {

Md5CachePendingFile* Md5Cache::queue_file(std::string_view path, uint64_t size, uint32_t t_modify,
                                          uint32_t t_lastcheck) {
  Md5CachePendingFile& entry = pending_.emplace_back();
  entry.path = std::string(path);
  entry.size = size;
  entry.t_modify = t_modify;
  entry.t_lastcheck = t_lastcheck;
  return &entry;
}

void Md5Cache::queue_seg(Md5CachePendingFile* entry, uint64_t offset, uint32_t size,
                         const uint8_t* md5) {
  if (!entry) return;
  Md5CachePendingSeg& seg = entry->segs.emplace_back();
  seg.offset = offset;
  seg.size = size;
  std::memcpy(seg.md5.data(), md5, kMd5Size);
  ++pending_segs_;
}

void Md5Cache::file_done(Md5CachePendingFile* entry) {
  if (!entry) return;
  entry->complete = true;
  if (pending_.size() >= 64 || pending_segs_ >= 128) flush();
}

int Md5Cache::flush() {
  if (is_open()) write_queue();
  pending_.clear();
  pending_segs_ = 0;
  return 0;
}

void Md5Cache::write_queue() {
  db::Transaction batch(db_);
  if (batch.begin_result() != SQLITE_OK) {
    ++failed_batches_;
    sql_error("md5cache_flush", "Couldn't begin a transaction: " + db_.error_message());
    return;
  }
  const uint32_t errors_before = sql_errors_;
  for (Md5CachePendingFile& entry : pending_) {
    // An entry that was never completed belongs to a file whose reading was cancelled: it is
    // dropped, and the file's old row, if any, keeps its values.
    if (!entry.complete) continue;
    uint32_t file_id =
        filespec_insert(entry.path, entry.size, entry.blocksize, entry.t_modify, entry.t_lastcheck);
    if (file_id != 0 && segs_delete_all(file_id) == 0) {
      for (const Md5CachePendingSeg& seg : entry.segs) {
        segs_insert(seg.md5.data(), file_id, seg.offset, seg.size);
      }
    }
    // The failed statement has been shown. The batch ends here and is rolled back whole, so
    // that no file row is left with only some of its blocks.
    if (sql_errors_ != errors_before) {
      ++failed_batches_;
      return;
    }
  }
  std::string error;
  if (batch.commit(&error) != SQLITE_OK) {
    ++failed_batches_;
    sql_error("md5cache_flush", "Couldn't commit the cache's rows: " + error);
  }
}

}  // namespace corvio
