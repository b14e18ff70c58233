// SPDX-License-Identifier: Apache-2.0
#include "profile/config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "profile/profile_db.h"
#include "profile/profile_editor.h"
#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::ShownMessage;
using test::sql_exec;
using test::sql_rows;
using test::SqlRow;

class ConfigTest : public ::testing::Test {
 protected:
  std::string dat() { return w.dir.file("corvio.dat"); }

  void save(const std::string& tag, const std::string& description) {
    auto p = new_profile_defaults();
    p->tag = tag;
    p->description = description;
    p->login = "me";
    p->password = "pw";
    ASSERT_EQ(profile_create(w.ctx, config, *p), 0);
  }

  std::vector<std::string> listed_tags() {
    std::vector<std::string> tags;
    for (auto& e : config.profile_list()) tags.push_back(e.tag + "=" + e.description);
    return tags;
  }

  test::TestWorld w;
  Config config{w.ctx};
};

TEST_F(ConfigTest, NewFileGetsSchemaAndVersionRowAndLoadsEmpty) {
  ASSERT_EQ(config.open(), 0);
  EXPECT_EQ(
      test::schema_of(dat()),
      (std::vector<SqlRow>{
          {"create table profiles ( id integer not null primary key autoincrement, profile "
           "varchar(64) not null, status integer unsigned not null, t_last integer unsigned not "
           "null, t_last_completed integer unsigned not null, runs integer unsigned not null, "
           "runs_completed integer unsigned not null, last_cat integer unsigned not null, "
           "last_cat_completed integer unsigned not null )"},
          {"create unique index profile_idx on profiles( profile )"},
          {"create table corvio_info ( id integer not null primary key autoincrement, type "
           "integer unsigned not null, client_type integer unsigned not null, ver_major integer "
           "unsigned not null, ver_minor integer unsigned not null, ver_build integer unsigned "
           "not null )"}}));
  EXPECT_EQ(sql_rows(dat(),
                     "select type, client_type, ver_major, ver_minor, ver_build from "
                     "corvio_info"),
            (std::vector<SqlRow>{{"1", "1", "0", "13", "4"}}));
  EXPECT_EQ(config.load_profiles(), 0);
  EXPECT_TRUE(config.profile_list().empty());
  EXPECT_TRUE(w.messages.shown().empty());
}

TEST_F(ConfigTest, AnExistingFileThatCannotBeReadIsReportedAndLeftUntouched) {
  struct Case {
    const char* name;
    std::string setup;  // SQL, or the file's bytes when it is not a database
    bool sql;
    const char* reason;
  };
  const Case cases[] = {
      {"no version table",
       "create table profiles ( id integer primary key, profile text, status int );"
       "insert into profiles values (1, 'old', 2);",
       true, "no such table: corvio_info"},
      {"version table missing a column",
       "create table profiles ( profile text ); insert into profiles values ('old');"
       "create table corvio_info ( type int, client_type int, ver_major int, ver_minor int );",
       true, "no such column: ver_build"},
      {"not a database", std::string(4096, 'z'), false, "file is not a database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w.ctx.fs.remove(dat());
    if (c.sql)
      sql_exec(dat(), c.setup);
    else
      test::write_file(dat(), c.setup);
    const std::string before = test::read_file(dat());
    w.messages.clear();
    EXPECT_NE(config.open(), 0);
    EXPECT_FALSE(config.is_open());
    EXPECT_EQ(
        w.messages.shown(),
        (std::vector<ShownMessage>{
            {"Can't read configuration database!\n" + dat() + "\n" + c.reason, "SQL Error"}}));
    EXPECT_EQ(test::read_file(dat()), before);
  }
}

TEST_F(ConfigTest, AnEmptyFileIsNewAndAnyRecordedVersionIsAccepted) {
  test::write_file(dat(), "");
  ASSERT_EQ(config.open(), 0);
  EXPECT_EQ(sql_rows(dat(), "select count(*) from profiles"), (std::vector<SqlRow>{{"0"}}));
  ASSERT_EQ(config.add_profile("kept"), 0);
  config.close();

  sql_exec(dat(), "update corvio_info set ver_major=7, ver_minor=99, ver_build=1234");
  ASSERT_EQ(config.open(), 0);
  EXPECT_EQ(sql_rows(dat(), "select profile from profiles"), (std::vector<SqlRow>{{"kept"}}));
  EXPECT_EQ(sql_rows(dat(), "select ver_major from corvio_info"), (std::vector<SqlRow>{{"7"}}));
  EXPECT_TRUE(w.messages.shown().empty());
}

TEST_F(ConfigTest, UnopenableFileFailsWithItsPathAndReason) {
  w.ctx.fs.make_dir(dat());  // a directory where the file should be
  EXPECT_NE(config.open(), 0);
  ASSERT_EQ(w.messages.shown().size(), 1u);
  EXPECT_EQ(w.messages.shown()[0].title, "Blah!");
  EXPECT_EQ(
      w.messages.shown()[0].text.rfind("Can't open configuration database!\n" + dat() + "\n", 0),
      0u);
  EXPECT_FALSE(config.is_open());

  // A data directory that cannot hold the file.
  w.messages.clear();
  w.ctx.data_dir = w.dir.file("missing");
  EXPECT_NE(config.open(), 0);
  EXPECT_EQ(w.messages.shown(),
            (std::vector<ShownMessage>{{"Can't open configuration database!\n" +
                                            w.dir.file("missing/corvio.dat") +
                                            "\nunable to open database file (No such file or "
                                            "directory)",
                                        "Blah!"}}));
}

TEST_F(ConfigTest, ARegisterThatCannotBeReadFailsToListAndAFailedAddKeepsTheOldRow) {
  ASSERT_EQ(config.open(), 0);
  ASSERT_EQ(config.add_profile("a"), 0);
  // An insert that fails (here refused by a trigger, as a full disk would) keeps the old row.
  sql_exec(dat(),
           "create trigger refuse before insert on profiles begin select raise(abort, 'full'); "
           "end");
  EXPECT_NE(config.add_profile("a"), 0);
  EXPECT_EQ(sql_rows(dat(), "select profile from profiles"), (std::vector<SqlRow>{{"a"}}));

  sql_exec(dat(), "drop table profiles");
  w.messages.clear();
  EXPECT_NE(config.load_profiles(), 0);
  ASSERT_EQ(w.messages.shown().size(), 1u);
  EXPECT_EQ(w.messages.shown()[0].title, "SQL Error in config_load_profiles");
}

TEST_F(ConfigTest, AddTwiceKeepsOneRowRemovingUnknownTagSucceeds) {
  ASSERT_EQ(config.open(), 0);
  EXPECT_EQ(config.add_profile("a"), 0);
  EXPECT_EQ(config.add_profile("a"), 0);
  EXPECT_EQ(sql_rows(dat(), "select profile, status, runs from profiles"),
            (std::vector<SqlRow>{{"a", "2", "0"}}));
  EXPECT_EQ(config.remove_profile("never-added"), 0);
  EXPECT_EQ(config.remove_profile("a"), 0);
  EXPECT_EQ(sql_rows(dat(), "select count(*) from profiles"), (std::vector<SqlRow>{{"0"}}));
  EXPECT_TRUE(w.messages.shown().empty());
}

TEST_F(ConfigTest, ListIsInByteOrderAndSkipsProfilesWhoseDatabaseIsGone) {
  ASSERT_EQ(config.open(), 0);
  save("Beta", "second");
  save("alpha", "third");
  save("Alpha", "first");
  save("gone", "x");
  ASSERT_GT(std::filesystem::remove_all(w.ctx.profile_dir("gone")), 0u);
  w.messages.clear();

  EXPECT_EQ(config.load_profiles(), 0);
  EXPECT_EQ(listed_tags(), (std::vector<std::string>{"Alpha=first", "Beta=second", "alpha=third"}));
  EXPECT_EQ(
      w.messages.shown(),
      (std::vector<ShownMessage>{{profile_db_path(w.ctx, "gone"), "Backup Profile Missing!"}}));

  // Rebuilding replaces the list rather than adding to it.
  w.messages.clear();
  EXPECT_EQ(config.load_profiles(), 0);
  EXPECT_EQ(config.profile_list().size(), 3u);
}

TEST_F(ConfigTest, OperationsOnAClosedDatabaseReportAndTouchNothing) {
  EXPECT_NE(config.add_profile("a"), 0);
  EXPECT_NE(config.load_profiles(), 0);
  EXPECT_TRUE(config.profile_list().empty());
  EXPECT_EQ(config.close(), 0);
  EXPECT_FALSE(w.ctx.fs.exists(dat()));
}

}  // namespace
}  // namespace corvio
