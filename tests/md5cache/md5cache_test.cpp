// SPDX-License-Identifier: Apache-2.0
#include "md5cache/md5cache.h"

#include <gtest/gtest.h>

#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::ShownMessage;
using test::sql_exec;
using test::sql_rows;
using test::SqlRow;

Md5Digest digest_of(uint8_t seed) {
  Md5Digest d;
  for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(seed + i);
  return d;
}

// Under the Windows style the data directory ends in '/', so the backslash-joined md5cache.dat
// is a file inside the temporary directory.
class Md5CacheTest : public ::testing::TestWithParam<bool> {
 protected:
  Md5CacheTest() : ctx(world.context_in_style(windows())), cache(ctx) {}

  bool windows() const { return GetParam(); }
  std::string db_path() { return ctx.style.join(ctx.data_dir, "md5cache.dat"); }
  std::vector<SqlRow> rows(const std::string& sql) { return sql_rows(db_path(), sql); }

  test::TestWorld world;
  Context ctx;
  Md5Cache cache;
};

INSTANTIATE_TEST_SUITE_P(Styles, Md5CacheTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Windows" : "Posix"; });

TEST_P(Md5CacheTest, CreatesItsTablesAndVersionRow) {
  ASSERT_EQ(cache.open(), 0);
  EXPECT_TRUE(cache.is_open());
  cache.close();
  EXPECT_FALSE(cache.is_open());
  EXPECT_EQ(rows("select type, name from sqlite_master where name not like 'sqlite_%' "
                 "order by rowid"),
            (std::vector<SqlRow>{{"table", "filespec"},
                                 {"index", "filespec_idx"},
                                 {"index", "filespec_t_lastcheck"},
                                 {"table", "segs"},
                                 {"index", "file_id_idx"},
                                 {"index", "offset_idx"},
                                 {"table", "corvio_info"}}));
  const std::string sql = rows("select sql from sqlite_master where name='filespec'")[0][0];
  EXPECT_EQ(sql.find("filespec varchar(1024) not null collate nocase,") != std::string::npos,
            windows());
  EXPECT_EQ(sql.find("collate") == std::string::npos, !windows());
  EXPECT_EQ(rows("select type, client_type, ver_major, ver_minor, ver_build from corvio_info"),
            (std::vector<SqlRow>{{"16", "1", "0", "13", "4"}}));
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_P(Md5CacheTest, KeepsAFileRowAndFindsItUnderTheStylesLetterCaseRule) {
  ASSERT_EQ(cache.open(), 0);
  const std::string path = windows() ? "C:\\Data\\Big.BIN" : "/data/Big.BIN";
  const std::string variant = windows() ? "c:\\data\\big.bin" : "/data/big.bin";
  const uint32_t id = cache.filespec_insert(path, 6'000'000'000ULL, 1048576, 3'000'000'000U, 17);
  EXPECT_EQ(id, 1u);
  EXPECT_EQ(cache.filespec_find(path), id);
  EXPECT_EQ(cache.filespec_find(variant), windows() ? id : 0u);

  Md5CacheFileData data;
  EXPECT_EQ(cache.filespec_getdata(id, &data), 0);
  EXPECT_EQ(data.size, 6'000'000'000ULL);
  EXPECT_EQ(data.t_modify, 3'000'000'000U);
  EXPECT_EQ(data.t_lastcheck, 17u);
  EXPECT_EQ(data.blocksize, 1048576u);

  // Writing a known path updates its row; under POSIX the variant is another file.
  EXPECT_EQ(cache.filespec_insert(variant, 5, 1048576, 6, 7), windows() ? id : 2u);
  EXPECT_EQ(cache.filespec_getdata(id, &data), 0);
  EXPECT_EQ(data.size, windows() ? 5u : 6'000'000'000ULL);
  EXPECT_EQ(cache.filespec_getdata(99, &data), 1);
  EXPECT_EQ(data.size, 0u);  // cleared when not found
  cache.close();

  std::vector<SqlRow> expected = {{windows() ? variant : path}};
  if (!windows()) expected.push_back({variant});
  EXPECT_EQ(rows("select filespec from filespec order by id"), expected);
}

TEST_P(Md5CacheTest, ReplacesBlockRowsAtTheSameOffset) {
  ASSERT_EQ(cache.open(), 0);
  const uint32_t id = cache.filespec_insert("f", 3, 1048576, 1, 1);
  const Md5Digest a = digest_of(1), b = digest_of(100);
  EXPECT_EQ(cache.segs_insert(a.data(), id, 0, 1048576), 0);
  EXPECT_EQ(cache.segs_insert(a.data(), id, 5'368'709'120ULL, 9), 0);
  EXPECT_EQ(cache.segs_insert(b.data(), id, 0, 512), 0);

  Md5Digest got;
  EXPECT_EQ(cache.segs_get_md5(id, 0, got.data()), 0);
  EXPECT_EQ(got, b);
  EXPECT_EQ(cache.segs_get_size(id, 0), 512u);
  EXPECT_EQ(cache.segs_get_md5(id, 5'368'709'120ULL, got.data()), 0);
  EXPECT_EQ(got, a);
  EXPECT_EQ(cache.segs_get_md5(id, 1048576, got.data()), 1);
  EXPECT_EQ(got, Md5Digest{});
  EXPECT_EQ(cache.segs_get_size(id, 1048576), 0u);
  EXPECT_EQ(rows("select count(*) from segs"), (std::vector<SqlRow>{{"2"}}));

  EXPECT_EQ(cache.segs_delete_all(id), 0);
  EXPECT_EQ(cache.segs_get_size(id, 0), 0u);
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_P(Md5CacheTest, ADamagedStoredDigestCountsAsNoDigest) {
  ASSERT_EQ(cache.open(), 0);
  cache.close();
  sql_exec(db_path(), "insert into segs( file_id, offset, size, md5 ) values (1, 0, 10, 'XYZ')");
  ASSERT_EQ(cache.open(), 0);
  Md5Digest got;
  EXPECT_EQ(cache.segs_get_md5(1, 0, got.data()), 1);
  EXPECT_EQ(cache.segs_get_size(1, 0), 10u);
}

TEST_P(Md5CacheTest, ARowOfAnotherBlockSizeCountsAsNoRowUntilTheFileIsWrittenAgain) {
  ASSERT_EQ(cache.open(), 0);
  const uint32_t zero = cache.filespec_insert("zero", 5, 0, 1, 1);
  const uint32_t small = cache.filespec_insert("small", 5, 4096, 1, 1);
  Md5CacheFileData data;
  data.size = 9;
  EXPECT_EQ(cache.filespec_getdata(zero, &data), 1);
  EXPECT_EQ(data.size, 0u);
  EXPECT_EQ(cache.filespec_getdata(small, &data), 1);
  EXPECT_EQ(data.blocksize, 0u);

  // Reading the file again writes the row with the one block size, which is then used.
  cache.file_done(cache.queue_file("small", 5, 1, 2));
  cache.flush();
  EXPECT_EQ(cache.filespec_getdata(small, &data), 0);
  EXPECT_EQ(data.blocksize, 1048576u);
  EXPECT_EQ(data.t_lastcheck, 2u);
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_P(Md5CacheTest, APathTooLongToStoreIsNotCached) {
  ASSERT_EQ(cache.open(), 0);
  const std::string path(1024, 'x');
  EXPECT_EQ(cache.filespec_insert(path, 1, 1048576, 1, 1), 0u);
  EXPECT_EQ(cache.filespec_find(path), 0u);
  EXPECT_EQ(cache.filespec_insert(path.substr(0, 1023), 1, 1048576, 1, 1), 1u);
  EXPECT_EQ(cache.filespec_find(path), 0u);  // not taken for its 1023-character prefix
}

TEST(Md5CacheOpenTest, ADamagedDatabaseIsMovedAsideAndReplacedByAnEmptyOne) {
  const struct {
    const char* name;
    std::string sql;    // the damaged file's tables, or
    std::string bytes;  // its bytes when it is no database
    const char* reason;
  } cases[] = {
      {"no version table",
       "create table filespec ( id integer primary key, filespec text );"
       "insert into filespec values (1, 'old');",
       "", "no such table: corvio_info"},
      {"not a database", "", std::string(4096, 'z'), "file is not a database"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestWorld world;
    world.clock.set_now(1'700'000'000);  // 2023-11-14 22:13:20 UTC
    const std::string path = world.dir.file("md5cache.dat");
    const std::string aside = path + ".damaged-20231114-221320";
    if (c.sql.empty())
      test::write_file(path, c.bytes);
    else
      sql_exec(path, c.sql);
    const std::string before = test::read_file(path);
    Md5Cache cache(world.ctx);
    ASSERT_EQ(cache.open(), 0);
    EXPECT_EQ(
        world.messages.shown(),
        (std::vector<ShownMessage>{{"The MD5 cache " + path + " could not be read (" + c.reason +
                                        "). It was moved to " + aside +
                                        " and a new, empty cache is used: files are read again.",
                                    "Meridane Online Backup"}}));
    EXPECT_EQ(cache.filespec_find("old"), 0u);
    cache.close();
    EXPECT_EQ(test::read_file(aside), before);
    EXPECT_EQ(sql_rows(path, "select type from corvio_info"), (std::vector<SqlRow>{{"16"}}));
  }
}

TEST(Md5CacheOpenTest, ABusyDatabaseIsReportedAndLeftAsItIs) {
  test::TestWorld world;
  const std::string path = world.dir.file("md5cache.dat");
  {
    Md5Cache cache(world.ctx);
    ASSERT_EQ(cache.open(), 0);
  }
  db::Database other;
  ASSERT_EQ(other.open(path), SQLITE_OK);
  ASSERT_EQ(other.exec("begin exclusive"), SQLITE_OK);
  Md5Cache cache(world.ctx, 20);
  EXPECT_EQ(cache.open(), 1);
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{
                {"Can't read MD5 database!\n" + path + "\ndatabase is locked", "SQL Error"}}));
  other.exec("rollback");
  std::vector<FileInfo> entries;
  ASSERT_TRUE(world.ctx.fs.list(world.dir.path(), &entries));
  EXPECT_EQ(entries.size(), 1u);  // nothing moved aside
}

TEST(Md5CacheOpenTest, ADatabaseOfAnotherVersionIsUsedUnchanged) {
  test::TestWorld world;
  const std::string path = world.dir.file("md5cache.dat");
  {
    Md5Cache cache(world.ctx);
    ASSERT_EQ(cache.open(), 0);
    cache.filespec_insert("/kept", 1, 1048576, 2, 3);
  }
  sql_exec(path, "update corvio_info set type=99, ver_major=7, ver_minor=1, ver_build=2");
  Md5Cache cache(world.ctx);
  ASSERT_EQ(cache.open(), 0);
  EXPECT_EQ(cache.filespec_find("/kept"), 1u);
  cache.close();
  EXPECT_EQ(sql_rows(path, "select type, ver_major, ver_minor, ver_build from corvio_info"),
            (std::vector<SqlRow>{{"99", "7", "1", "2"}}));
}

TEST(Md5CacheOpenTest, FailuresToOpenAreShownAndLeaveItClosed) {
  test::TestWorld world;
  world.ctx.data_dir = world.dir.file("missing");
  Md5Cache missing(world.ctx);
  EXPECT_EQ(missing.open(), 1);
  EXPECT_FALSE(missing.is_open());
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{
                {"Can't open MD5 database!\n" + world.dir.file("missing") +
                     "/md5cache.dat\nunable to open database file (No such file or directory)",
                 "Meridane Online Backup"}}));
  // Nothing is done, and nothing shown, through a cache that is not open.
  world.messages.clear();
  Md5Digest md5{};
  EXPECT_EQ(missing.filespec_find("/a"), 0u);
  EXPECT_EQ(missing.filespec_insert("/a", 1, 1, 1, 1), 0u);
  EXPECT_EQ(missing.segs_insert(md5.data(), 1, 0, 1), 1);
  EXPECT_EQ(missing.cleanup(nullptr), 0u);
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST(Md5CacheJitterTest, RecheckLimitIsNinetyDaysLessTheDrawnJitter) {
  test::TestWorld world;
  Md5Cache cache(world.ctx);
  for (int i = 0; i < 100; ++i) {
    const uint32_t limit = cache.recheck_limit();
    EXPECT_LE(limit, 7'776'000u);
    EXPECT_GE(limit, 7'776'000u - 32'767u);
  }
  uint32_t next = 0;
  cache.set_random_source([&] { return next; });
  EXPECT_EQ(cache.recheck_limit(), 7'776'000u);
  next = 32'767;
  EXPECT_EQ(cache.recheck_limit(), 7'743'233u);
}

}  // namespace
}  // namespace corvio
