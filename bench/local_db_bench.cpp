// SPDX-License-Identifier: Apache-2.0
// Insert and lookup rates of the two local databases for a run of 100,000 files of 3 blocks
// each: the catalog's filespec and segs inserts, the MD5 cache's queued writes, and the lookups
// the block loop makes to replay an unchanged file from the cache.
//
// Usage: local_db_bench [directory]   (default: a fresh directory under the system's temp dir)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/backup_session.h"
#include "base/context.h"
#include "base/display.h"
#include "catalog/catalog.h"
#include "md5cache/md5cache.h"
#include "util/md5_hex.h"

namespace corvio {
namespace {

constexpr int kDirectories = 100;
constexpr int kFilesPerDirectory = 1000;
constexpr int kFiles = kDirectories * kFilesPerDirectory;
constexpr int kBlocksPerFile = 3;
constexpr uint64_t kBlock = 1048576;

// Message boxes go to standard error; a benchmark that shows one has measured a failure.
class PrintedMessages : public ui::Messages {
 public:
  ui::Answer message_box(std::string_view text, std::string_view title, ui::Buttons) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    ++shown;
    return ui::Answer::Ok;
  }
  int shown = 0;
};

class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

Md5Digest digest_for(int file, int block) {
  Md5Digest d{};
  for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(file * 31 + block * 7 + i);
  return d;
}

std::string dir_path(int d) { return "/bench/dir" + std::to_string(d); }
std::string file_path(int d, int f) { return dir_path(d) + "/file" + std::to_string(f) + ".dat"; }

void report(const char* what, double count, double seconds) {
  std::printf("%-44s %10.0f in %7.3f s = %10.0f per second\n", what, count, seconds,
              count / seconds);
}

void bench_catalog(Context& ctx) {
  const std::string tag = "bench";
  std::filesystem::create_directories(ctx.profile_dir(tag));
  {
    db::Database cfg;
    cfg.open(ctx.style.join(ctx.profile_dir(tag), tag + ".cfg"));
    cfg.exec(
        "create table config ( id integer not null primary key autoincrement, type "
        "varchar(1024) not null, parm varchar(1024) not null, parm2 varchar(1024) not null );"
        "insert into config( type, parm, parm2 ) values (1,'server','');");
  }
  BackupSession session;
  session.profile = std::make_unique<Profile>();
  session.profile->tag = tag;
  session.catalog_id = 1;

  Catalog catalog(ctx);
  if (catalog.create(session) != 0) return;
  FileStat dir_stat;
  dir_stat.type = kFileStatDirectory;
  FileStat file_stat;
  file_stat.type = kFileStatRegular;
  file_stat.size = kBlocksPerFile * kBlock;

  Stopwatch files_watch;
  double seg_seconds = 0;
  catalog.filespec_insert("/bench", dir_stat);
  for (int d = 0; d < kDirectories; ++d) {
    catalog.filespec_insert(dir_path(d), dir_stat);
    for (int f = 0; f < kFilesPerDirectory; ++f) {
      const uint32_t id = catalog.filespec_insert(file_path(d, f), file_stat);
      Stopwatch seg_watch;
      for (int b = 0; b < kBlocksPerFile; ++b) {
        catalog.seg_insert(id, digest_for(f, b).data(), b * kBlock, kBlock);
      }
      seg_seconds += seg_watch.seconds();
    }
  }
  catalog.write_stats(session);
  catalog.close();
  const double total = files_watch.seconds();
  const double inserts = 1 + kDirectories + kFiles + kFiles * kBlocksPerFile;
  report("catalog: all inserts (filespec + segs)", inserts, total);
  report("catalog: filespec_insert", 1 + kDirectories + kFiles, total - seg_seconds);
  report("catalog: seg_insert", kFiles * kBlocksPerFile, seg_seconds);

  // The same block rows through one statement prepared once, for the share of the per-call
  // preparation in seg_insert's time.
  db::Database db;
  db.open(session.catalog_path);
  db.exec("PRAGMA synchronous=OFF");
  db.exec("PRAGMA cache_size=65536");
  db.exec("begin transaction");
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db.get(),
                     "insert into segs ( filespec_id, offset, size, md5 ) values (?,?,?,?)", -1,
                     &st, nullptr);
  Stopwatch reuse_watch;
  for (int i = 0; i < kFiles; ++i) {
    for (int b = 0; b < kBlocksPerFile; ++b) {
      sqlite3_bind_int64(st, 1, kFiles + 1000 + i);
      sqlite3_bind_int64(st, 2, static_cast<int64_t>(b * kBlock));
      sqlite3_bind_int64(st, 3, kBlock);
      sqlite3_bind_text(st, 4, md5_to_hex(digest_for(i, b)).c_str(), 32, SQLITE_TRANSIENT);
      sqlite3_step(st);
      sqlite3_reset(st);
      if ((i * kBlocksPerFile + b) % 128 == 127) {
        db.exec("commit");
        db.exec("begin transaction");
      }
    }
  }
  db.exec("commit");
  report("baseline: segs rows, statement prepared once", kFiles * kBlocksPerFile,
         reuse_watch.seconds());
  sqlite3_finalize(st);
}

void bench_md5cache(Context& ctx) {
  Md5Cache cache(ctx);
  if (cache.open() != 0) return;

  Stopwatch write_watch;
  for (int d = 0; d < kDirectories; ++d) {
    for (int f = 0; f < kFilesPerDirectory; ++f) {
      Md5CachePendingFile* entry = cache.queue_file(file_path(d, f), kBlocksPerFile * kBlock, 1, 2);
      for (int b = 0; b < kBlocksPerFile; ++b) {
        cache.queue_seg(entry, b * kBlock, kBlock, digest_for(f, b).data());
      }
      cache.file_done(entry);
    }
  }
  cache.flush();
  report("md5cache: files queued and written", kFiles, write_watch.seconds());

  // The lookups of one unchanged file: its row, its data, then digest and size per block until
  // the digest lookup finds no further block.
  Stopwatch lookup_watch;
  uint64_t calls = 0;
  int misses = 0;
  for (int d = 0; d < kDirectories; ++d) {
    for (int f = 0; f < kFilesPerDirectory; ++f) {
      const uint32_t id = cache.filespec_find(file_path(d, f));
      Md5CacheFileData data;
      cache.filespec_getdata(id, &data);
      calls += 2;
      Md5Digest md5;
      for (uint64_t offset = 0; cache.segs_get_md5(id, offset, md5.data()) == 0;
           offset += data.blocksize) {
        cache.segs_get_size(id, offset);
        calls += 2;
      }
      ++calls;
      if (id == 0 || md5 != Md5Digest{}) ++misses;
    }
  }
  const double seconds = lookup_watch.seconds();
  report("md5cache: files replayed (find+getdata+blocks)", kFiles, seconds);
  report("md5cache: lookup calls", static_cast<double>(calls), seconds);
  if (misses) std::printf("md5cache: %d files not found\n", misses);

  Stopwatch get_md5_watch;
  for (int i = 1; i <= kFiles; ++i) {
    Md5Digest md5;
    for (int b = 0; b < kBlocksPerFile; ++b) cache.segs_get_md5(i, b * kBlock, md5.data());
  }
  report("md5cache: segs_get_md5 alone", kFiles * kBlocksPerFile, get_md5_watch.seconds());
  cache.close();

  // Block digest lookups through one statement prepared once, against segs_get_md5.
  db::Database db;
  db.open(ctx.style.join(ctx.data_dir, "md5cache.dat"));
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db.get(), "select md5 from segs where file_id=? and +offset=?", -1, &st,
                     nullptr);
  Stopwatch reuse_watch;
  int found = 0;
  for (int i = 1; i <= kFiles; ++i) {
    for (int b = 0; b < kBlocksPerFile; ++b) {
      sqlite3_bind_int64(st, 1, i);
      sqlite3_bind_int64(st, 2, static_cast<int64_t>(b * kBlock));
      if (sqlite3_step(st) == SQLITE_ROW) ++found;
      sqlite3_reset(st);
    }
  }
  report("baseline: digest lookups, prepared once", found, reuse_watch.seconds());
  sqlite3_finalize(st);
}

}  // namespace
}  // namespace corvio

int main(int argc, char** argv) {
  using namespace corvio;
  std::string dir;
  if (argc > 1) {
    dir = argv[1];
  } else {
    dir = (std::filesystem::temp_directory_path() / "corvio-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data())) return 1;
  }
  PrintedMessages messages;
  ui::Display display;
  Context ctx{real_file_system(), system_clock(), messages, display, PathStyle::native(), dir, ""};
  std::printf("%d files of %d blocks each, in %s\n", kFiles, kBlocksPerFile, dir.c_str());
  bench_catalog(ctx);
  bench_md5cache(ctx);
  if (argc <= 1) std::filesystem::remove_all(dir);
  return messages.shown == 0 ? 0 : 1;
}
