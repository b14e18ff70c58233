// SPDX-License-Identifier: Apache-2.0
#include "catalog/catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/backup_session.h"
#include "util/md5_hex.h"
#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::ShownMessage;
using test::sql_exec;
using test::sql_rows;
using test::SqlRow;

// A run's surroundings under either path style. Under the Windows style the data directory ends
// in '/', so the backslash-joined catalog and profile paths name files inside the temporary
// directory.
class CatalogTest : public ::testing::TestWithParam<bool> {
 protected:
  CatalogTest() : ctx(world.context_in_style(windows())), catalog(ctx) {
    session.profile = std::make_unique<Profile>();
    session.profile->tag = "daily";
    session.catalog_id = 10;
    if (!windows()) std::filesystem::create_directories(ctx.profile_dir("daily"));
  }

  bool windows() const { return GetParam(); }
  std::string cfg_path() { return ctx.style.join(ctx.profile_dir("daily"), "daily.cfg"); }
  std::string cat_path() { return Catalog::path_for(ctx, "daily", 10); }

  // A profile database with the given (type, parm) rows, as the profile code writes it.
  void write_profile(const std::vector<std::pair<int, std::string>>& rows) {
    std::string sql =
        "create table config ( id integer not null primary key autoincrement, type varchar(1024) "
        "not null, parm varchar(1024) not null, parm2 varchar(1024) not null );"
        "create index config_type on config( type );"
        "create table corvio_info ( id integer not null primary key autoincrement, type integer "
        "unsigned not null, client_type integer unsigned not null, ver_major integer unsigned "
        "not null, ver_minor integer unsigned not null, ver_build integer unsigned not null );"
        "insert into corvio_info values ( null, 32, 1, 0, 13, 4 );";
    for (const auto& [type, parm] : rows) {
      sql += "insert into config( type, parm, parm2 ) values (" + std::to_string(type) + ",'" +
             parm + "','');";
    }
    sql_exec(cfg_path(), sql);
  }

  void create() {
    write_profile(
        {{1, "backup.example.net"}, {3, "alice"}, {4, "secret"}, {10, "Daily"}, {128, "C:\\Data"}});
    ASSERT_EQ(catalog.create(session), 0);
    ASSERT_EQ(world.messages.shown(), std::vector<ShownMessage>{});
  }

  std::vector<SqlRow> rows(const std::string& sql) { return sql_rows(cat_path(), sql); }

  test::TestWorld world;
  Context ctx;
  BackupSession session;
  Catalog catalog;
};

INSTANTIATE_TEST_SUITE_P(Styles, CatalogTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Windows" : "Posix"; });

FileStat directory_stat() {
  FileStat stat;
  stat.type = kFileStatDirectory;
  stat.attr = 0x10;
  stat.mode = 16384;
  stat.t_access = stat.t_change = stat.t_modify = 315561600;
  return stat;
}

TEST_P(CatalogTest, CreatesTheSchemaVersionRowCatinfoAndConfigWithoutThePassword) {
  create();
  EXPECT_EQ(session.catalog_path, cat_path());
  EXPECT_EQ(cat_path(), ctx.style.join(ctx.profile_dir("daily"), "0000000a.cat"));

  EXPECT_EQ(rows("select type, name from sqlite_master where name not like 'sqlite_%' "
                 "order by rowid"),
            (std::vector<SqlRow>{{"table", "catinfo"},
                                 {"index", "catinfo_type"},
                                 {"table", "filespec"},
                                 {"index", "filespec_filename_full"},
                                 {"index", "filespec_parent_id"},
                                 {"index", "filespec_filename"},
                                 {"table", "segs"},
                                 {"index", "segs_filespec_offset"},
                                 {"index", "segs_md5"},
                                 {"table", "config"},
                                 {"index", "config_type"},
                                 {"table", "corvio_info"}}));
  // The path columns compare without letter case only under the Windows style.
  const std::string filespec_sql =
      rows("select sql from sqlite_master where name='filespec'")[0][0];
  EXPECT_EQ(filespec_sql.find("filename varchar(1024) not null collate nocase, filename_full "
                              "varchar(1024) not null collate nocase") != std::string::npos,
            windows());
  EXPECT_EQ(filespec_sql.find("collate") == std::string::npos, !windows());
  EXPECT_EQ(rows("select count(*) from pragma_table_info('filespec')"),
            (std::vector<SqlRow>{{"17"}}));
  EXPECT_EQ(rows("select sql from sqlite_master where name='segs_filespec_offset'")[0][0],
            "CREATE UNIQUE INDEX segs_filespec_offset on segs ( filespec_id, offset )");

  EXPECT_EQ(rows("select type, client_type, ver_major, ver_minor, ver_build from corvio_info"),
            (std::vector<SqlRow>{{"129", "1", "0", "13", "4"}}));
  EXPECT_EQ(rows("select type, misc from catinfo order by id"),
            (std::vector<SqlRow>{{"1", "1"}, {"2", "1"}, {"3", "1"}, {"21", "10"}}));
  EXPECT_EQ(rows("select type, parm, parm2 from config order by id"),
            (std::vector<SqlRow>{{"1", "backup.example.net", ""},
                                 {"3", "alice", ""},
                                 {"10", "Daily", ""},
                                 {"128", "C:\\Data", ""}}));
}

TEST_P(CatalogTest, WritesTheEndOfRunRowsWholeAndMarksTheCatalogComplete) {
  create();
  session.start_time = (int64_t{1} << 32) + 1'700'000'000;  // recorded in 32 bits
  world.clock.set_now(1'700'003'600);
  BackupStats& s = session.stats;
  s.files = 3;
  s.directories = 2;
  s.bytes_total = 5'000'000'000ULL;  // above 4 GiB
  s.bytes_stored = 4'294'967'296ULL;
  s.bytes_compressed = 1'000;
  s.bytes_skipped = 7'000'000'000ULL;
  s.bytes_duped = 6'000'000'000ULL;
  s.files_skipped = 4;
  s.files_scanned = 5;
  s.segs_total = 4'000'000'000U;
  s.segs_stored = 6;
  s.segs_duped = 7;
  s.warnings = 8;
  EXPECT_EQ(rows("select type from corvio_info"), (std::vector<SqlRow>{{"129"}}));

  EXPECT_EQ(catalog.write_stats(session), 0);
  EXPECT_EQ(catalog.close(), 0);
  EXPECT_FALSE(catalog.is_open());
  EXPECT_TRUE(catalog.complete());
  EXPECT_EQ(catalog.failed_batches(), 0u);

  EXPECT_EQ(rows("select type from corvio_info"), (std::vector<SqlRow>{{"128"}}));
  EXPECT_EQ(rows("select type, misc from catinfo where type > 21 order by id"),
            (std::vector<SqlRow>{{"22", "1700000000"},
                                 {"23", "1700003600"},
                                 {"32", "3"},
                                 {"33", "2"},
                                 {"34", "0"},
                                 {"35", "5000000000"},
                                 {"36", "4294967296"},
                                 {"37", "1000"},
                                 {"38", "7000000000"},
                                 {"39", "6000000000"},
                                 {"40", "4"},
                                 {"41", "5"},
                                 {"48", "4000000000"},
                                 {"49", "6"},
                                 {"50", "7"},
                                 {"64", "8"},
                                 {"65", "0"}}));
}

TEST_P(CatalogTest, ACancelledRunLeavesItsRowsUnderTheIncompleteMark) {
  create();
  uint32_t root = catalog.filespec_insert(windows() ? "C:" : "/", directory_stat());
  EXPECT_EQ(root, 1u);
  EXPECT_EQ(catalog.close(), 0);
  EXPECT_EQ(catalog.close(), 0);  // a second close does nothing

  EXPECT_EQ(rows("select type from corvio_info"), (std::vector<SqlRow>{{"129"}}));
  EXPECT_EQ(rows("select type from catinfo order by id"),
            (std::vector<SqlRow>{{"1"}, {"2"}, {"3"}, {"21"}}));
  EXPECT_EQ(rows("select count(*) from filespec"), (std::vector<SqlRow>{{"1"}}));
}

TEST_P(CatalogTest, RecordsEachPathUnderItsParentOnce) {
  create();
  const bool win = windows();
  const std::string root = win ? "C:" : "/";
  const std::string data = win ? "C:\\Data" : "/Data";
  const std::string file = win ? "C:\\Data\\a.txt" : "/Data/a.txt";
  FileStat stat;
  stat.type = kFileStatRegular;
  stat.attr = 0x20;
  stat.mode = 0100644;
  stat.owner = 1000;
  stat.group = 100;
  stat.size = 6'000'000'000ULL;
  stat.t_access = 3'000'000'000U;  // unsigned 32-bit times stay positive
  stat.t_change = 2;
  stat.t_modify = 3;

  EXPECT_EQ(catalog.filespec_insert(root, directory_stat()), 1u);
  EXPECT_EQ(catalog.filespec_insert(data, directory_stat()), 2u);
  EXPECT_EQ(catalog.filespec_insert(file, stat), 3u);
  EXPECT_EQ(catalog.filespec_insert(win ? "C:\\Other\\b.txt" : "/Other/b.txt", stat), 4u);
  EXPECT_EQ(catalog.filespec_insert(data, directory_stat()), 0u);  // recorded already

  // The same path in other letter case: one file under the Windows style, two under POSIX.
  const std::string variant = win ? "c:\\DATA\\A.TXT" : "/Data/A.txt";
  EXPECT_EQ(catalog.filespec_insert(variant, stat), win ? 0u : 5u);
  EXPECT_EQ(catalog.filespec_find(variant), win ? 3u : 5u);
  EXPECT_EQ(catalog.filespec_find(file), 3u);
  EXPECT_EQ(catalog.filespec_find(win ? "C:\\Data\\missing" : "/Data/missing"), 0u);
  catalog.close();

  std::vector<SqlRow> expected = {
      {"1", "0", root, root, "1", "16", "16384"},
      {"2", "1", "Data", data, "1", "16", "16384"},
      {"3", "2", "a.txt", file, "2", "32", "33188"},
      {"4", "0", "b.txt", win ? "C:\\Other\\b.txt" : "/Other/b.txt", "2", "32", "33188"}};
  if (!win) expected.push_back({"5", "2", "A.txt", variant, "2", "32", "33188"});
  EXPECT_EQ(rows("select id, parent_id, filename, filename_full, type, attr, mode from filespec "
                 "order by id"),
            expected);
  EXPECT_EQ(rows("select owner, _group, size, t_access, t_change, t_modify, t_backup_start, "
                 "t_backup_end, blocksize, extra from filespec where id=3"),
            (std::vector<SqlRow>{
                {"1000", "100", "6000000000", "3000000000", "2", "3", "0", "0", "1048576", ""}}));
}

TEST_P(CatalogTest, RecordsBlocksWithTheirDigestAsHexText) {
  create();
  const uint32_t id = catalog.filespec_insert(windows() ? "C:" : "/", directory_stat());
  Md5Digest md5;
  for (size_t i = 0; i < md5.size(); ++i) md5[i] = static_cast<uint8_t>(i * 17);
  EXPECT_EQ(catalog.seg_insert(id, md5.data(), 5'368'709'120ULL, 1048576), 0);
  EXPECT_EQ(catalog.seg_insert(0, md5.data(), 0, 10), 0);  // no file, no row
  // A second block at the same offset breaks the unique index and is reported.
  EXPECT_EQ(catalog.seg_insert(id, md5.data(), 5'368'709'120ULL, 1), 0);
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{
                {"Couldn't process SQL query!", "SQL Error in catalog_seg_insert"}}));
  catalog.close();
  EXPECT_EQ(
      rows("select filespec_id, offset, size, md5 from segs"),
      (std::vector<SqlRow>{{"1", "5368709120", "1048576", "00112233445566778899aabbccddeeff"}}));
}

TEST_P(CatalogTest, CommitsAtTheHundredTwentyEighthCountedCall) {
  create();
  const std::string root = windows() ? "C:" : "/";
  Md5Digest md5{};
  EXPECT_EQ(catalog.filespec_insert(root, directory_stat()), 1u);
  // Calls that record nothing count as well.
  for (int i = 0; i < 125; ++i) catalog.seg_insert(0, md5.data(), 0, 1);
  EXPECT_EQ(catalog.filespec_insert(root, directory_stat()), 0u);
  EXPECT_EQ(catalog.insert_count(), 127u);
  EXPECT_EQ(rows("select count(*) from filespec"), (std::vector<SqlRow>{{"0"}}));

  catalog.seg_insert(1, md5.data(), 0, 1);  // the 128th commits before recording its block
  EXPECT_EQ(catalog.insert_count(), 0u);
  EXPECT_EQ(rows("select count(*) from filespec"), (std::vector<SqlRow>{{"1"}}));
  EXPECT_EQ(rows("select count(*) from segs"), (std::vector<SqlRow>{{"0"}}));
  catalog.close();
  EXPECT_EQ(rows("select count(*) from segs"), (std::vector<SqlRow>{{"1"}}));
}

TEST_P(CatalogTest, ALostBatchLeavesTheCatalogIncompleteAndUnmarked) {
  write_profile({{1, "host"}, {3, "alice"}, {4, "secret"}});
  Catalog quick(ctx, 20);  // a short wait for the other connection's lock
  ASSERT_EQ(quick.create(session), 0);
  EXPECT_TRUE(quick.complete());
  const std::string root = windows() ? "C:" : "/";
  ASSERT_EQ(quick.filespec_insert(root, directory_stat()), 1u);
  db::Database other;
  ASSERT_EQ(other.open(cat_path()), SQLITE_OK);

  // A reader keeps the intermediate commit from its lock: the batch is rolled back, shown once.
  ASSERT_EQ(other.exec("begin; select count(*) from catinfo;"), SQLITE_OK);
  Md5Digest md5{};
  for (int i = 0; i < 127; ++i) quick.seg_insert(0, md5.data(), 0, 1);  // the 128th call commits
  other.exec("commit");
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{{"Couldn't commit the catalog's rows: database is locked",
                                        "SQL Error in catalog_commit"}}));
  EXPECT_EQ(quick.failed_batches(), 1u);
  EXPECT_FALSE(quick.complete());
  EXPECT_EQ(rows("select count(*) from filespec"), (std::vector<SqlRow>{{"0"}}));

  // The first failure ends the run; later ones are not shown again.
  EXPECT_EQ(session.stop_reason, kCatalogUnwritten);
  world.messages.clear();
  ASSERT_EQ(other.exec("begin immediate"), SQLITE_OK);
  EXPECT_EQ(quick.filespec_insert(root, directory_stat()), 0u);
  other.exec("rollback");
  EXPECT_TRUE(world.messages.shown().empty());

  // The run's facts are still written, but the catalog does not claim to be complete.
  world.messages.clear();
  EXPECT_EQ(quick.write_stats(session), 1);
  EXPECT_EQ(quick.close(), 0);
  EXPECT_FALSE(quick.complete());
  EXPECT_TRUE(world.messages.shown().empty());
  EXPECT_EQ(rows("select type from corvio_info"), (std::vector<SqlRow>{{"129"}}));
  EXPECT_EQ(rows("select count(*) from catinfo"), (std::vector<SqlRow>{{"21"}}));
}

TEST_P(CatalogTest, ReplacesAnOldCatalogOfTheSameNumberAndItsJournal) {
  test::write_file(cat_path(), "not a database");
  test::write_file(cat_path() + "-journal", "stale");
  create();
  EXPECT_FALSE(std::filesystem::exists(cat_path() + "-journal"));
  EXPECT_EQ(rows("select count(*) from catinfo"), (std::vector<SqlRow>{{"4"}}));
}

TEST_P(CatalogTest, WithoutTheProfileDatabaseNothingIsCreatedOrLeftOpen) {
  EXPECT_EQ(catalog.create(session), 1);
  EXPECT_FALSE(catalog.is_open());
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{{"Can't open profile's database!", "Blah!"}}));
  EXPECT_FALSE(std::filesystem::exists(cfg_path()));
}

TEST_P(CatalogTest, AProfileDatabaseWithoutConfigIsReported) {
  sql_exec(cfg_path(), "create table other ( x )");
  EXPECT_EQ(catalog.create(session), 1);
  EXPECT_FALSE(catalog.is_open());
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{
                {"Couldn't prepare SQL statement", "SQL Error in catalog_init_config"}}));
}

TEST(CatalogClosedTest, OperationsWithoutAnOpenCatalogDoNothingQuietly) {
  test::TestWorld world;
  BackupSession session;
  session.profile = std::make_unique<Profile>();
  session.profile->tag = "gone";  // its directory does not exist, so the file cannot be opened
  Catalog catalog(world.ctx);
  EXPECT_EQ(catalog.create(session), 1);
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{{"Can't open backup catalog database!", "Blah!"}}));
  world.messages.clear();

  Md5Digest md5{};
  EXPECT_EQ(catalog.filespec_insert("/a", FileStat()), 0u);
  EXPECT_EQ(catalog.filespec_find("/a"), 0u);
  EXPECT_EQ(catalog.seg_insert(1, md5.data(), 0, 1), 0);
  EXPECT_EQ(catalog.insert_count(), 0u);
  EXPECT_EQ(catalog.write_stats(session), 1);
  EXPECT_EQ(catalog.close(), 0);
  EXPECT_FALSE(catalog.complete());
  EXPECT_TRUE(world.messages.shown().empty());
}

}  // namespace
}  // namespace corvio
