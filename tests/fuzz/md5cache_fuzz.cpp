// SPDX-License-Identifier: Apache-2.0
// Opening and reading a hand-edited md5cache.dat: the filespec and segs tables hold arbitrary
// rows (any types, lengths, NULLs, digests that are not 32 hex digits). A lookup may find a file
// only with the cache's own block size, a digest only as exactly 16 bytes, and the end-of-run
// cleanup must get through whatever rows there are.
#include <cstdint>
#include <memory>
#include <string>

#include "db/database.h"
#include "fuzz_sql.h"
#include "md5cache/md5cache.h"
#include "support/test_world.h"

using namespace corvio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  test::TestWorld w;
  const std::string path = w.dir.file("f");

  std::string sql = fuzz::sql_version_table(in);
  sql +=
      "create table filespec (id integer primary key, filespec, size, blocksize, t_modify, "
      "t_lastcheck); create table segs (id integer primary key, file_id, offset, size, md5);";
  for (int rows = 0; !in.empty() && rows < 32; ++rows) {
    // One value per statement: the operands of + are evaluated in no fixed order. Most rows
    // name the file looked up and the cache's block size, so that the lookups get further.
    bool file_row = in.byte() % 2;
    std::string a = in.byte() % 2 ? "'" + path + "'" : fuzz::sql_value(in);
    std::string b = fuzz::sql_value(in);
    std::string c = in.byte() % 2 ? "1048576" : fuzz::sql_value(in);
    std::string d = fuzz::sql_value(in);
    std::string e = fuzz::sql_value(in);
    if (file_row) {
      sql += "insert into filespec (filespec, size, blocksize, t_modify, t_lastcheck) values (" +
             a + ", " + b + ", " + c + ", " + d + ", " + e + ");";
    } else {
      sql += "insert into segs (file_id, offset, size, md5) values (" + b + ", " + d + ", " + e +
             ", " + a + ");";
    }
  }
  {
    db::Database db;
    FUZZ_CHECK(db.open(w.ctx.style.join(w.ctx.data_dir, "md5cache.dat")) == SQLITE_OK);
    db.exec(sql);  // rows up to the first one refused, as in any hand edit
  }

  Md5Cache cache(w.ctx, 10);
  if (cache.open() != 0) return 0;
  uint32_t id = cache.filespec_find(path);
  for (uint32_t file_id : {id, 1u, 2u}) {
    Md5CacheFileData file;
    if (cache.filespec_getdata(file_id, &file) == 0) FUZZ_CHECK(file.blocksize == kBlockSize);
    for (uint64_t offset = 0; offset < 3 * uint64_t{kBlockSize}; offset += kBlockSize) {
      // On the heap, so that a digest written past its 16 bytes is a sanitizer report.
      auto md5 = std::make_unique<uint8_t[]>(kMd5Size);
      cache.segs_get_md5(file_id, offset, md5.get());
      cache.segs_get_size(file_id, offset);
    }
  }
  cache.cleanup(nullptr);
  cache.close();
  return 0;
}
