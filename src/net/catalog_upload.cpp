// The end of a completed run on the server: the catalog file as one more block, then the
// end-of-run record with the run's statistics.

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "base/context.h"
#include "base/backup_session.h"
#include "net/messages.h"
#include "net/request_loop.h"
#include "net/requests.h"
#include "net/session.h"
#include "ui/format_count.h"

namespace corvio {
namespace {

// The catalog file as the progress window's current file.
void show_catalog_file(const Context& ctx, const std::string& path, uint64_t size) {
  size_t cut = path.find_last_of(ctx.style.separator);
  size_t name_at = cut == std::string::npos ? 0 : cut + 1;
  ctx.display.set_text(ui::Field::Directory, path.substr(0, name_at));
  ctx.display.set_text(ui::Field::Filename, path.substr(name_at));
  ctx.display.set_text(ui::Field::Size, ui::format_count(size) + " ");
  ctx.display.set_text(ui::Field::Sent, "0 ");
}

bool read_exactly(ReadableFile& f, uint8_t* out, uint64_t size) {
  uint64_t done = 0;
  while (done < size) {
    int64_t n = f.read(out + done, size - done);
    if (n <= 0) return false;
    done += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

int catalog_upload(Session& s) {
  BackupSession& run = s.run();
  const Context& ctx = s.ctx();

  std::unique_ptr<ReadableFile> file = ctx.fs.open_read(run.catalog_path);
  std::optional<FileInfo> info = ctx.fs.find(run.catalog_path);
  if (!file || !info) {
    std::fputs("Failed to open catalog!\n", stdout);
    return 1;
  }
  const uint64_t size = info->size;
  if (run.log)
    std::fprintf(run.log.get(), "\nPreparing catalog (%llu bytes)... ",
                 static_cast<unsigned long long>(size));

  // A block length is 32 bits on the wire; a catalog is far smaller.
  std::unique_ptr<uint8_t[]> data;
  if (size <= UINT32_MAX) data.reset(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
  if (!data) {
    std::fputs("Memory allocation failure!\n", stdout);
    return 1;
  }
  if (!read_exactly(*file, data.get(), size)) {
    std::fputs("Failed to read catalog!\n", stdout);
    return 1;
  }
  file.reset();

  const SegKey key = md5_digest(data.get(), size);

  s.set_status("Uploading Catalog...");
  // The catalog is the current file now: its Sent count starts from 0, not from the bytes
  // sent for the run's last file.
  run.file_bytes_sent = 0;
  show_catalog_file(ctx, run.catalog_path, size);
  (void)seg_store_retry(s, data.get(), static_cast<uint32_t>(size), key);
  data.reset();

  s.set_status("Finalizing Backup...");
  const BackupStats& st = run.stats;
  protocol::CatalogFinish finish;
  finish.catalog_id = run.catalog_id;
  finish.catalog_key = key;
  finish.catalog_size = size;
  finish.time = static_cast<uint32_t>(ctx.clock.now());
  finish.files = st.files;
  finish.directories = st.directories;
  finish.special_files = st.special_files;
  finish.bytes_total = st.bytes_total;
  finish.bytes_stored = st.bytes_stored;
  finish.bytes_compressed = st.bytes_compressed;
  int cancelled = request_loop(s, protocol::encode_catalog_finish(finish), "Finalizing Backup...",
                               [](std::string_view reply, int* result) {
                                 if (!protocol::parse_catalog_finish_reply(reply)) {
                                   return Outcome::Failed;
                                 }
                                 *result = 0;
                                 return Outcome::Done;
                               });
  if (cancelled) return 1;

  ctx.display.set_bytes_total(run.stats.bytes_total.add(size));
  return 0;
}

}  // namespace corvio
