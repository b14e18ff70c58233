// SPDX-License-Identifier: Apache-2.0
#include "db/steps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvio::db {
namespace {

class StepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.open(dir.file("t.db")), SQLITE_OK);
    ASSERT_EQ(db.exec("create table t ( id integer primary key, s text not null unique, n )"),
              SQLITE_OK);
  }
  auto report() {
    return [this](std::string_view text) { reported.emplace_back(text); };
  }
  int64_t count() {
    Statement st = db.prepare("select count(*) from t");
    EXPECT_EQ(st.step(), SQLITE_ROW);
    return st.column_int64(0);
  }

  test::TempDir dir;
  Database db;
  std::vector<std::string> reported;
};

TEST_F(StepsTest, BindsAndStepsWithoutReportingWhenAllSucceed) {
  Statement st = db.prepare("insert into t (s, n) values (?,?)");
  Steps steps(st, report());
  EXPECT_TRUE(steps.bind_text(1, "a", "Couldn't bind s")
                  .bind_int64(2, 5'000'000'000LL, "Couldn't bind n")
                  .done("Error executing statement"));
  EXPECT_TRUE(steps);
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(count(), 1);
}

TEST_F(StepsTest, AStatementThatCannotBePreparedIsReportedAtOnceAndNothingRuns) {
  Statement st = db.prepare("insert into missing values (?)");
  Steps steps(st, report());
  EXPECT_FALSE(steps);
  EXPECT_EQ(reported, (std::vector<std::string>{"Couldn't prepare SQL statement"}));
  EXPECT_FALSE(steps.bind_int(1, 1, "Couldn't bind x").bind_text(1, "y").done("Error"));
  EXPECT_FALSE(steps.row("Error"));
  EXPECT_EQ(reported.size(), 1u);

  CachedStatement cached = db.cached("select nothing from missing");
  EXPECT_FALSE(Steps(cached, report()));
  EXPECT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[1], kPrepareFailure);
}

TEST_F(StepsTest, TheFirstFailingBindIsReportedAndTheRestIsSkipped) {
  Statement st = db.prepare("insert into t (s, n) values (?,?)");
  Steps steps(st, report());
  EXPECT_FALSE(steps.bind_text(1, "a", "Couldn't bind s")
                   .bind_int(3, 1, "Couldn't bind the third")  // no such parameter
                   .bind_int(4, 1, "Couldn't bind the fourth")
                   .done("Error executing statement"));
  EXPECT_EQ(reported, (std::vector<std::string>{"Couldn't bind the third"}));
  EXPECT_EQ(count(), 0);
}

TEST_F(StepsTest, AnUncheckedBindNeitherReportsNorStopsTheSteps) {
  Statement st = db.prepare("insert into t (s, n) values (?,?)");
  EXPECT_TRUE(Steps(st, report())
                  .bind_text(1, "a")
                  .bind_int(3, 1)  // no such parameter: ignored
                  .bind_int64(2, 7)
                  .done("Error executing statement"));
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(count(), 1);
}

TEST_F(StepsTest, AFailedStepIsReportedWithItsText) {
  ASSERT_EQ(db.exec("insert into t (s) values ('a')"), SQLITE_OK);
  CachedStatement st = db.cached("insert into t (s) values (?)");
  EXPECT_FALSE(Steps(st, report())
                   .bind_text(1, "a", "Couldn't bind s")
                   .done("SQL Error executing insert"));  // the unique index
  EXPECT_EQ(reported, (std::vector<std::string>{"SQL Error executing insert"}));
}

TEST_F(StepsTest, RowsEndWithoutFailureAndAFailedStepIsReported) {
  ASSERT_EQ(db.exec("insert into t (s, n) values ('a', 1), ('b', 2)"), SQLITE_OK);
  Statement st = db.prepare("select n from t where n>=? order by n");
  Steps steps(st, report());
  steps.bind_int(1, 1, "Couldn't bind n");
  std::vector<int> rows;
  while (steps.row("Error executing statement")) rows.push_back(st.column_int(0));
  EXPECT_EQ(rows, (std::vector<int>{1, 2}));
  EXPECT_TRUE(steps);
  EXPECT_TRUE(reported.empty());

  // abs() of the smallest integer overflows when the row is computed.
  Statement overflow = db.prepare("select abs(-9223372036854775807 - ?)");
  Steps failing(overflow, report());
  EXPECT_FALSE(failing.bind_int(1, 1, "Couldn't bind").row("Error executing statement"));
  EXPECT_FALSE(failing);
  EXPECT_EQ(reported, (std::vector<std::string>{"Error executing statement"}));
}

}  // namespace
}  // namespace corvio::db
