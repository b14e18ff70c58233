// SPDX-License-Identifier: Apache-2.0
#include "db/database.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace corvio::db {
namespace {

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.open(dir.file("t.db")), SQLITE_OK);
    ASSERT_EQ(db.exec("create table t ( id integer primary key, s text, n integer )"), SQLITE_OK);
  }
  int64_t count() {
    Statement st = db.prepare("select count(*) from t");
    EXPECT_EQ(st.step(), SQLITE_ROW);
    return st.column_int64(0);
  }
  test::TempDir dir;
  Database db;
};

TEST_F(DatabaseTest, BindsStepsAndReadsColumns) {
  Statement ins = db.prepare("insert into t (s, n) values (?,?)");
  ASSERT_TRUE(ins);
  EXPECT_EQ(ins.bind_text(1, ""), SQLITE_OK);  // an empty text, not NULL
  EXPECT_EQ(ins.bind_int64(2, 5'000'000'000LL), SQLITE_OK);
  EXPECT_EQ(ins.step(), SQLITE_DONE);
  EXPECT_EQ(db.last_insert_rowid(), 1);
  EXPECT_NE(ins.bind_int(3, 1), SQLITE_OK);  // no third parameter

  Statement sel = db.prepare("select s, n, s is null from t");
  ASSERT_EQ(sel.step(), SQLITE_ROW);
  EXPECT_EQ(sel.column_text(0), "");
  EXPECT_EQ(sel.column_int64(1), 5'000'000'000LL);
  EXPECT_EQ(sel.column_int(2), 0);
  EXPECT_EQ(sel.step(), SQLITE_DONE);
}

// A statement prepared once runs again after reset(), its bindings cleared.
TEST_F(DatabaseTest, ResetStatementRunsAgain) {
  Statement ins = db.prepare("insert into t (s, n) values (?,?)");
  ASSERT_EQ(ins.bind_text(1, "a"), SQLITE_OK);
  ASSERT_EQ(ins.bind_int(2, 1), SQLITE_OK);
  ASSERT_EQ(ins.step(), SQLITE_DONE);
  EXPECT_EQ(ins.reset(), SQLITE_OK);
  ASSERT_EQ(ins.bind_text(1, "b"), SQLITE_OK);
  ASSERT_EQ(ins.step(), SQLITE_DONE);  // n left unbound: NULL

  Statement sel = db.prepare("select n from t where s=?");
  ASSERT_EQ(sel.bind_text(1, "a"), SQLITE_OK);
  ASSERT_EQ(sel.step(), SQLITE_ROW);
  EXPECT_EQ(sel.column_int(0), 1);
  sel.reset();
  ASSERT_EQ(sel.bind_text(1, "b"), SQLITE_OK);
  ASSERT_EQ(sel.step(), SQLITE_ROW);
  EXPECT_TRUE(sel.column_is_null(0));
  sel.reset();
  EXPECT_FALSE(db.in_transaction());
  EXPECT_EQ(count(), 2);
}

int open_statements(Database& db) {
  int n = 0;
  for (sqlite3_stmt* st = sqlite3_next_stmt(db.get(), nullptr); st;
       st = sqlite3_next_stmt(db.get(), st))
    ++n;
  return n;
}

// A cached statement is prepared once per connection, handed back reset with no bindings, and
// never left holding rows: another connection can write as soon as the borrower is done.
TEST_F(DatabaseTest, CachedStatementIsPreparedOnceAndResetAfterEachUse) {
  for (const char* s : {"a", "b", "c"}) {
    CachedStatement ins = db.cached("insert into t (s, n) values (?,?)");
    ASSERT_TRUE(ins);
    ASSERT_EQ(ins->bind_text(1, s), SQLITE_OK);
    if (std::string_view(s) == "a") {
      ASSERT_EQ(ins->bind_int(2, 7), SQLITE_OK);
    }
    ASSERT_EQ(ins->step(), SQLITE_DONE);
  }
  EXPECT_EQ(open_statements(db), 1);
  {
    CachedStatement sel = db.cached("select n from t where s=?");
    ASSERT_EQ(sel->bind_text(1, "a"), SQLITE_OK);
    ASSERT_EQ(sel->step(), SQLITE_ROW);
    EXPECT_EQ(sel->column_int(0), 7);
  }
  {
    CachedStatement sel = db.cached("select n from t where s=?");
    ASSERT_EQ(sel->bind_text(1, "b"), SQLITE_OK);
    ASSERT_EQ(sel->step(), SQLITE_ROW);
    EXPECT_TRUE(sel->column_is_null(0));  // "b" was inserted with the binding of "a" cleared
  }
  {
    CachedStatement all = db.cached("select s from t order by id");
    ASSERT_EQ(all->step(), SQLITE_ROW);
    EXPECT_EQ(all->column_text_view(0), "a");
  }  // left after its first row
  EXPECT_EQ(open_statements(db), 3);

  Database other;
  ASSERT_EQ(other.open(dir.file("t.db")), SQLITE_OK);
  EXPECT_EQ(other.exec("insert into t (s, n) values ('d', 1)"), SQLITE_OK);

  // Text that cannot be prepared yet is tried again at its next use.
  EXPECT_FALSE(db.cached("select x from later"));
  ASSERT_EQ(db.exec("create table later ( x integer )"), SQLITE_OK);
  EXPECT_TRUE(db.cached("select x from later"));

  db.close();
  ASSERT_EQ(db.open(dir.file("t.db")), SQLITE_OK);
  EXPECT_EQ(open_statements(db), 0);
  CachedStatement st = db.cached("select count(*) from t");
  ASSERT_EQ(st->step(), SQLITE_ROW);
  EXPECT_EQ(st->column_int(0), 4);
}

TEST_F(DatabaseTest, ReportsFailuresWithTheirCodesAndTexts) {
  EXPECT_FALSE(db.prepare("select nonsense from nowhere"));
  std::string error;
  EXPECT_EQ(db.exec("select * from missing", &error), SQLITE_ERROR);
  EXPECT_NE(error.find("no such table"), std::string::npos);
  EXPECT_EQ(db.exec("select 1", &error), SQLITE_OK);
  EXPECT_EQ(error, "");

  Database bad;
  EXPECT_NE(bad.open(dir.file("no/such/dir/x.db")), SQLITE_OK);
  EXPECT_FALSE(bad.is_open());
  EXPECT_FALSE(bad.prepare("select 1"));
  EXPECT_EQ(bad.exec("select 1"), SQLITE_MISUSE);
}

TEST_F(DatabaseTest, TransactionRollsBackUnlessCommitted) {
  {
    Transaction tx(db);
    EXPECT_EQ(db.exec("insert into t (s, n) values ('a', 1)"), SQLITE_OK);
  }
  EXPECT_EQ(count(), 0);
  {
    Transaction tx(db);
    EXPECT_EQ(db.exec("insert into t (s, n) values ('a', 1)"), SQLITE_OK);
    EXPECT_EQ(tx.commit(), SQLITE_OK);
  }
  EXPECT_EQ(count(), 1);
}

TEST_F(DatabaseTest, MoveAssignmentClosesTheOldConnection) {
  // Hold a write lock on t.db, then replace the handle: the lock must go with the old handle.
  ASSERT_EQ(db.exec("begin exclusive"), SQLITE_OK);
  Database other;
  ASSERT_EQ(other.open(dir.file("other.db")), SQLITE_OK);
  db = std::move(other);

  Database third;
  ASSERT_EQ(third.open(dir.file("t.db")), SQLITE_OK);
  EXPECT_EQ(third.exec("insert into t (s, n) values ('b', 2)"), SQLITE_OK);
}

}  // namespace
}  // namespace corvio::db
