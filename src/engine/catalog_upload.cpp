// SPDX-License-Identifier: Apache-2.0
#include "engine/catalog_upload.h"

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/backup_session.h"
#include "base/context.h"
#include "base/display.h"
#include "engine/block_store.h"
#include "engine/tree_walk.h"
#include "net/protocol.h"
#include "net/requests.h"
#include "net/connection.h"
#include "util/md5.h"

namespace corvio {
namespace {

// The catalog file's payload, made twice rather than held in memory: once to learn its digest
// and the length of its zlib form before the store request, and once more as it is sent. zlib
// level 1: a catalog shrinks to about 40% at any level, and level 1 makes it in a third of
// level 6's time, which counts twice here.
class CatalogPayload final : public StreamedPayload {
 public:
  CatalogPayload(FileSystem& fs, std::string path, uint64_t size)
      : fs_(fs), path_(std::move(path)), size_(size) {}

  // The first pass: the digest, and the payload's length and form. False when the file could
  // not be read to the size it had.
  bool measure() {
    uint64_t deflated = 0;
    auto count = [&deflated](std::string_view piece) {
      deflated += piece.size();
      return true;
    };
    if (!pass(true, count, &key_)) return false;
    compressed = deflated < size_;
    length = static_cast<uint32_t>(compressed ? deflated : size_);
    return true;
  }
  const SegKey& key() const { return key_; }

  // The second pass. A file that no longer gives the measured payload fails it: sending on
  // would announce one block and deliver another, at every attempt.
  bool write(const std::function<bool(std::string_view)>& send) override {
    uint64_t sent = 0;
    bool send_failed = false;
    auto out = [&](std::string_view piece) {
      if (sent + piece.size() > length) return false;
      // Raw, the file is cut into chunks here; deflated, pass() hands them over whole.
      for (size_t at = 0; at < piece.size(); at += protocol::kChunk) {
        if (!send(piece.substr(at, protocol::kChunk))) {
          send_failed = true;
          return false;
        }
      }
      sent += piece.size();
      return true;
    };
    SegKey again;
    const bool done = pass(compressed, out, &again) && sent == length && again == key_;
    failed_ = !done && !send_failed;
    return done;
  }

  bool failed() const override { return failed_; }

 private:
  using Sink = std::function<bool(std::string_view)>;

  struct Deflater {
    Deflater() { ok = deflateInit(&z, 1) == Z_OK; }
    ~Deflater() {
      if (ok) deflateEnd(&z);
    }
    z_stream z{};
    bool ok = false;
  };

  // Reads the whole file into *digest, handing out the file's zlib stream in chunks of kChunk
  // bytes (the last one shorter) when deflating, else the file as it is read. False when the
  // file could not be read to size_ bytes, or out returned false.
  bool pass(bool deflating, const Sink& out, SegKey* digest) {
    std::unique_ptr<ReadableFile> file = fs_.open_read(path_);
    std::optional<Md5> md = Md5::start();
    Deflater d;
    if (!file || !md || (deflating && !d.ok)) {
      return false;
    }
    std::vector<char> in(256 * 1024);
    std::vector<char> chunk(protocol::kChunk);
    d.z.next_out = reinterpret_cast<Bytef*>(chunk.data());
    d.z.avail_out = static_cast<uInt>(chunk.size());
    uint64_t total = 0;
    for (;;) {
      const int64_t n = file->read(in.data(), in.size());
      if (n < 0 || total + static_cast<uint64_t>(n) > size_) return false;
      total += static_cast<uint64_t>(n);
      const std::string_view piece(in.data(), static_cast<size_t>(n));
      if (!md->update(piece.data(), piece.size())) return false;
      if (!deflating) {
        if (n == 0) break;
        if (!out(piece)) return false;
        continue;
      }
      const int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
      d.z.next_in = reinterpret_cast<Bytef*>(in.data());
      d.z.avail_in = static_cast<uInt>(n);
      int rc;
      do {
        rc = deflate(&d.z, flush);
        if (rc == Z_STREAM_ERROR) return false;
        if (d.z.avail_out == 0) {
          if (!out(std::string_view(chunk.data(), chunk.size()))) return false;
          d.z.next_out = reinterpret_cast<Bytef*>(chunk.data());
          d.z.avail_out = static_cast<uInt>(chunk.size());
        }
      } while (d.z.avail_in > 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
      if (n == 0) break;
    }
    const size_t left = chunk.size() - d.z.avail_out;
    return total == size_ && md->finish(digest) &&
           (!deflating || left == 0 || out(std::string_view(chunk.data(), left)));
  }

  FileSystem& fs_;
  const std::string path_;
  const uint64_t size_;
  SegKey key_{};
  bool failed_ = false;
};

}  // namespace

int catalog_upload(Run& run) {
  BackupSession& session = run.session;
  const Context& ctx = run.ctx;

  std::optional<FileInfo> info = ctx.fs.find(session.catalog_path);
  if (!info || !ctx.fs.open_read(session.catalog_path)) {
    run.log("Failed to open catalog!\n");
    return 1;
  }
  const uint64_t size = info->size;
  run.log("\nPreparing catalog (" + std::to_string(size) + " bytes)... ");

  // A block length is 32 bits on the wire.
  if (size > UINT32_MAX) {
    run.log("Catalog too large to upload!\n");
    return 1;
  }
  CatalogPayload payload(ctx.fs, session.catalog_path, size);
  if (!payload.measure()) {
    run.log("Failed to read catalog!\n");
    return 1;
  }

  run.net.set_status("Uploading Catalog...");
  // The catalog is the current file now: its Sent count starts from 0, not from the bytes
  // sent for the run's last file.
  session.file_bytes_sent = 0;
  show_current_file(ctx, session.catalog_path, size);
  if (seg_store_streamed_retry(run, payload.key(), static_cast<uint32_t>(size), payload) != 0 &&
      payload.failed()) {
    run.log("Failed to read catalog!\n");
    return 1;
  }

  run.net.set_status("Finalizing Backup...");
  const BackupStats& st = session.stats;
  protocol::CatalogFinish finish;
  finish.catalog_id = session.catalog_id;
  finish.catalog_key = payload.key();
  finish.catalog_size = size;
  finish.time = static_cast<uint32_t>(ctx.clock.now());
  finish.files = st.files;
  finish.directories = st.directories;
  finish.special_files = st.special_files;
  finish.bytes_total = st.bytes_total;
  finish.bytes_stored = st.bytes_stored;
  finish.bytes_compressed = st.bytes_compressed;
  if (catalog_finish(run.net, finish) != 0) return 1;

  ctx.display.set_bytes_total(session.stats.bytes_total.add(size));
  return 0;
}

}  // namespace corvio
