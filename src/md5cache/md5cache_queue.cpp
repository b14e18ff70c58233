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
  if (is_open()) {
    db_.exec("begin transaction");
    for (Md5CachePendingFile& entry : pending_) {
      // An entry that was never completed belongs to a file whose reading was cancelled: it is
      // dropped, and the file's old row, if any, keeps its values.
      if (!entry.complete) continue;
      uint32_t file_id = filespec_insert(entry.path, entry.size, entry.blocksize, entry.t_modify,
                                         entry.t_lastcheck);
      if (file_id == 0) continue;
      segs_delete_all(file_id);
      for (const Md5CachePendingSeg& seg : entry.segs) {
        segs_insert(seg.md5.data(), file_id, seg.offset, seg.size);
      }
    }
    db_.exec("commit");
  }
  pending_.clear();
  pending_segs_ = 0;
  return 0;
}

}  // namespace corvio
