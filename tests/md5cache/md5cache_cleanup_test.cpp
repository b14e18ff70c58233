// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <memory>

#include "base/backup_session.h"
#include "md5cache/md5cache.h"
#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::sql_exec;
using test::sql_rows;
using test::SqlRow;

constexpr int64_t kNow = 1'700'000'000;
constexpr int64_t kDay = 86'400;

// The real file system, raising a cancel request when the cleanup checks its nth path.
class CancellingFileSystem : public FileSystem {
 public:
  CancellingFileSystem(BackupSession& session, int cancel_at)
      : session_(session), cancel_at_(cancel_at) {}
  std::optional<FileInfo> find(const std::string& path) override {
    if (++finds == cancel_at_) session_.cancel_requested = 1;
    return real_file_system().find(path);
  }
  bool list(const std::string& dir, std::vector<FileInfo>* entries) override {
    return real_file_system().list(dir, entries);
  }
  std::unique_ptr<ReadableFile> open_read(const std::string& path) override {
    return real_file_system().open_read(path);
  }
  bool remove(const std::string& path) override { return real_file_system().remove(path); }
  bool rename(const std::string& from, const std::string& to) override {
    return real_file_system().rename(from, to);
  }
  bool make_dir(const std::string& path) override { return real_file_system().make_dir(path); }

  int finds = 0;

 private:
  BackupSession& session_;
  int cancel_at_;
};

class Md5CacheCleanupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world.clock.set_now(kNow);
    ASSERT_EQ(cache.open(), 0);
  }
  std::string db() { return world.dir.file("md5cache.dat"); }
  // A cached file of one block, last read at t_lastcheck; its file exists when `exists`.
  std::string add(const std::string& name, int64_t t_lastcheck, bool exists) {
    const std::string path = world.dir.file(name);
    if (exists) test::write_file(path, "data");
    const uint32_t id =
        cache.filespec_insert(path, 4, 1048576, 1, static_cast<uint32_t>(t_lastcheck));
    cache.segs_insert(Md5Digest{}.data(), id, 0, 4);
    return path;
  }
  std::vector<SqlRow> names() {
    std::vector<SqlRow> rows = sql_rows(db(), "select filespec from filespec order by id");
    for (SqlRow& row : rows) row[0] = row[0].substr(world.dir.path().size() + 1);
    return rows;
  }

  test::TestWorld world;
  Md5Cache cache{world.ctx};
};

TEST_F(Md5CacheCleanupTest, RemovesOldRowsAndRowsOfVanishedFiles) {
  add("recent-gone", kNow - 10 * kDay, false);  // not a candidate
  add("100-days", kNow - 100 * kDay, true);
  add("100-days-gone", kNow - 100 * kDay, false);
  add("200-days", kNow - 200 * kDay, true);
  add("future", kNow + 2 * kDay, true);
  add("future-gone", kNow + 2 * kDay, false);

  EXPECT_EQ(cache.cleanup(nullptr), 3u);
  EXPECT_EQ(names(), (std::vector<SqlRow>{{"recent-gone"}, {"100-days"}, {"future"}}));
  EXPECT_EQ(sql_rows(db(),
                     "select count(*) from segs where file_id not in (select id from "
                     "filespec)"),
            (std::vector<SqlRow>{{"0"}}));
  EXPECT_EQ(sql_rows(db(), "select count(*) from segs"), (std::vector<SqlRow>{{"3"}}));
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_F(Md5CacheCleanupTest, RemovalsWhoseCommitFailsAreKeptShownAndCounted) {
  add("200-days", kNow - 200 * kDay, true);
  add("gone", kNow - 100 * kDay, false);
  cache.close();
  Md5Cache quick(world.ctx, 20);  // a short wait for the other connection's lock
  ASSERT_EQ(quick.open(), 0);
  db::Database reader;
  ASSERT_EQ(reader.open(db()), SQLITE_OK);
  ASSERT_EQ(reader.exec("begin; select count(*) from filespec;"), SQLITE_OK);
  EXPECT_EQ(quick.cleanup(nullptr), 1u);
  reader.exec("commit");
  EXPECT_EQ(world.messages.shown(),
            (std::vector<test::ShownMessage>{{"Couldn't commit the removals: database is locked",
                                              "SQL Error in md5cache_cleanup"}}));
  EXPECT_EQ(quick.failed_batches(), 1u);
  EXPECT_EQ(names(), (std::vector<SqlRow>{{"200-days"}, {"gone"}}));
  EXPECT_EQ(sql_rows(db(), "select count(*) from segs"), (std::vector<SqlRow>{{"2"}}));

  // A later pass removes them.
  world.messages.clear();
  EXPECT_EQ(quick.cleanup(nullptr), 2u);
  EXPECT_EQ(names(), std::vector<SqlRow>{});
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_F(Md5CacheCleanupTest, WritesTheQueueFirst) {
  Md5CachePendingFile* entry = cache.queue_file(world.dir.file("queued-gone"), 1, 1,
                                                static_cast<uint32_t>(kNow - 200 * kDay));
  cache.file_done(entry);
  EXPECT_EQ(cache.cleanup(nullptr), 1u);
  EXPECT_EQ(cache.pending_files(), 0u);
  EXPECT_EQ(names(), std::vector<SqlRow>{});
}

TEST_F(Md5CacheCleanupTest, HandlesAtMostTenThousandCandidatesPerRun) {
  cache.close();
  std::string sql = "begin;";
  for (int i = 0; i < 10'050; ++i) {
    sql += "insert into filespec( filespec, size, blocksize, t_modify, t_lastcheck ) values ('/x" +
           std::to_string(i) + "',1,1048576,1," + std::to_string(kNow - 200 * kDay) + ");";
  }
  sql_exec(db(), sql + "commit;");
  ASSERT_EQ(cache.open(), 0);
  EXPECT_EQ(cache.cleanup(nullptr), 10'000u);
  EXPECT_EQ(sql_rows(db(), "select count(*) from filespec"), (std::vector<SqlRow>{{"50"}}));
  EXPECT_EQ(cache.cleanup(nullptr), 50u);
}

TEST(Md5CacheCancelTest, ACancelStopsAfterTheRowInHandAndKeepsTheRemovals) {
  test::TestWorld world;
  world.clock.set_now(kNow);
  BackupSession session;
  CancellingFileSystem fs(session, 3);
  Context ctx = world.ctx;
  Context cancelling{fs, ctx.clock, ctx.messages, ctx.display, ctx.style, ctx.data_dir, ""};
  Md5Cache cache(cancelling);
  ASSERT_EQ(cache.open(), 0);
  for (int i = 0; i < 10; ++i) {
    cache.filespec_insert(world.dir.file("gone" + std::to_string(i)), 1, 1048576, 1,
                          static_cast<uint32_t>(kNow - 100 * kDay));
  }

  // The request raised while the third row is checked is seen when the fourth is taken; that
  // row is still handled, then the pass stops.
  EXPECT_EQ(cache.cleanup(&session), 4u);
  EXPECT_EQ(fs.finds, 4);
  // Committed: another connection sees them gone.
  const std::string db = world.dir.file("md5cache.dat");
  EXPECT_EQ(sql_rows(db, "select count(*) from filespec"), (std::vector<SqlRow>{{"6"}}));

  // With the request standing from the start, one row is handled.
  EXPECT_EQ(cache.cleanup(&session), 1u);
  EXPECT_EQ(sql_rows(db, "select count(*) from filespec"), (std::vector<SqlRow>{{"5"}}));
  // Only the value 1 is a cancel request.
  session.cancel_requested = 2;
  EXPECT_EQ(cache.cleanup(&session), 5u);
}

}  // namespace
}  // namespace corvio
