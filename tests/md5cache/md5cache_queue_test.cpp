// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "md5cache/md5cache.h"
#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::sql_rows;
using test::SqlRow;

class Md5CacheQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(cache.open(), 0); }

  std::vector<SqlRow> rows(const std::string& sql) {
    return sql_rows(world.dir.file("md5cache.dat"), sql);
  }
  // Queues a file of `blocks` blocks with digests derived from seed, completed or not.
  Md5CachePendingFile* queue(const std::string& path, int blocks, uint8_t seed, bool done) {
    Md5CachePendingFile* entry =
        cache.queue_file(path, static_cast<uint64_t>(blocks) * 1048576, 100, 200);
    for (int i = 0; i < blocks; ++i) {
      Md5Digest d;
      d.fill(static_cast<uint8_t>(seed + i));
      cache.queue_seg(entry, static_cast<uint64_t>(i) * 1048576, 1048576, d.data());
    }
    if (done) cache.file_done(entry);
    return entry;
  }
  std::string count(const char* table) {
    return rows(std::string("select count(*) from ") + table)[0][0];
  }

  test::TestWorld world;
  Md5Cache cache{world.ctx};
};

TEST_F(Md5CacheQueueTest, WritesOnlyOnceSixtyFourFilesArePending) {
  for (int i = 0; i < 63; ++i) queue("/f" + std::to_string(i), 1, 0, true);
  EXPECT_EQ(cache.pending_files(), 63u);
  EXPECT_EQ(count("filespec"), "0");

  queue("/f63", 1, 0, true);
  EXPECT_EQ(cache.pending_files(), 0u);
  EXPECT_EQ(cache.pending_segs(), 0u);
  EXPECT_EQ(count("filespec"), "64");
  EXPECT_EQ(count("segs"), "64");
  EXPECT_EQ(rows("select filespec, size, blocksize, t_modify, t_lastcheck from filespec "
                 "where id=1"),
            (std::vector<SqlRow>{{"/f0", "1048576", "1048576", "100", "200"}}));
}

TEST_F(Md5CacheQueueTest, WritesOnlyOnceOneHundredTwentyEightBlocksArePending) {
  queue("/a", 100, 0, true);
  queue("/b", 27, 0, true);
  EXPECT_EQ(cache.pending_segs(), 127u);
  EXPECT_EQ(count("segs"), "0");
  queue("/c", 1, 0, true);
  EXPECT_EQ(count("segs"), "128");
  EXPECT_EQ(rows("select offset, size, md5 from segs where file_id=2 and offset=26*1048576"),
            (std::vector<SqlRow>{{"27262976", "1048576", "1a1a1a1a1a1a1a1a1a1a1a1a1a1a1a1a"}}));
}

TEST_F(Md5CacheQueueTest, ACancelledFileLeavesNoRowAndItsOldRowIntact) {
  queue("/kept", 2, 0x10, true);
  cache.flush();
  ASSERT_EQ(count("segs"), "2");

  // The same file read again but cancelled half-way, and a new one whose reading was cancelled.
  queue("/kept", 1, 0x50, false);
  queue("/never", 1, 0x60, false);
  queue("/done", 1, 0x70, true);
  EXPECT_EQ(cache.flush(), 0);
  EXPECT_EQ(cache.pending_files(), 0u);
  EXPECT_EQ(cache.pending_segs(), 0u);

  EXPECT_EQ(rows("select filespec, size from filespec order by id"),
            (std::vector<SqlRow>{{"/kept", "2097152"}, {"/done", "1048576"}}));
  EXPECT_EQ(rows("select offset, md5 from segs where file_id=1 order by offset"),
            (std::vector<SqlRow>{{"0", "10101010101010101010101010101010"},
                                 {"1048576", "11111111111111111111111111111111"}}));
}

TEST_F(Md5CacheQueueTest, RehashingWithFewerBlocksRemovesTheExtraRows) {
  queue("/shrunk", 3, 0x10, true);
  cache.flush();
  ASSERT_EQ(count("segs"), "3");
  queue("/shrunk", 1, 0x40, true);
  cache.flush();
  EXPECT_EQ(rows("select file_id, offset, md5 from segs"),
            (std::vector<SqlRow>{{"1", "0", "40404040404040404040404040404040"}}));
  EXPECT_EQ(rows("select size from filespec"), (std::vector<SqlRow>{{"1048576"}}));
}

TEST_F(Md5CacheQueueTest, CloseWritesWhatIsQueuedAndANullEntryIsIgnored) {
  cache.queue_seg(nullptr, 0, 1, Md5Digest{}.data());
  cache.file_done(nullptr);
  EXPECT_EQ(cache.pending_segs(), 0u);
  queue("/last", 1, 0, true);
  cache.close();
  EXPECT_EQ(count("filespec"), "1");
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST(Md5CacheBatchTest, ALostBatchIsShownOnceCountedAndLeavesTheFilesUncached) {
  test::TestWorld world;
  Md5Cache cache(world.ctx, 20);  // a short wait for the other connection's lock
  ASSERT_EQ(cache.open(), 0);
  const std::string path = world.dir.file("md5cache.dat");
  auto queue_two = [&] {
    for (const char* file : {"/a", "/b"}) {
      Md5CachePendingFile* entry = cache.queue_file(file, 1, 100, 200);
      cache.queue_seg(entry, 0, 1, Md5Digest{}.data());
      cache.file_done(entry);
    }
  };
  db::Database other;
  ASSERT_EQ(other.open(path), SQLITE_OK);

  // Another program holds the write lock: the first statement fails and ends the batch.
  ASSERT_EQ(other.exec("begin immediate"), SQLITE_OK);
  queue_two();
  cache.flush();
  other.exec("rollback");
  EXPECT_EQ(world.messages.shown(),
            (std::vector<test::ShownMessage>{
                {"SQL Error executing insert", "SQL Error in md5cache_filespec_insert"}}));
  EXPECT_EQ(cache.failed_batches(), 1u);

  // A reader keeps the commit from getting its lock: the whole batch is rolled back.
  world.messages.clear();
  ASSERT_EQ(other.exec("begin; select count(*) from filespec;"), SQLITE_OK);
  queue_two();
  cache.flush();
  other.exec("commit");
  EXPECT_EQ(
      world.messages.shown(),
      (std::vector<test::ShownMessage>{{"Couldn't commit the cache's rows: database is locked",
                                        "SQL Error in md5cache_flush"}}));
  EXPECT_EQ(cache.failed_batches(), 2u);
  EXPECT_FALSE(cache.every_batch_committed());
  EXPECT_EQ(sql_rows(path, "select count(*) from filespec"), (std::vector<SqlRow>{{"0"}}));
  EXPECT_EQ(sql_rows(path, "select count(*) from segs"), (std::vector<SqlRow>{{"0"}}));

  // Once the lock is gone the next batch goes in.
  world.messages.clear();
  queue_two();
  cache.flush();
  EXPECT_TRUE(world.messages.shown().empty());
  EXPECT_EQ(sql_rows(path, "select filespec from filespec order by id"),
            (std::vector<SqlRow>{{"/a"}, {"/b"}}));
  EXPECT_EQ(cache.failed_batches(), 2u);
}

}  // namespace
}  // namespace corvio
