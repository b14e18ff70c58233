#include "config/config.h"

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

TEST_F(ConfigTest, FileWithoutVersionTableIsRebuiltAnyVersionIsAccepted) {
  sql_exec(dat(),
           "create table profiles ( id integer primary key, profile text, status int );"
           "insert into profiles values (1, 'old', 2);");
  ASSERT_EQ(config.open(), 0);
  EXPECT_EQ(sql_rows(dat(), "select count(*) from profiles"), (std::vector<SqlRow>{{"0"}}));
  ASSERT_EQ(config.add_profile("kept"), 0);
  config.close();

  sql_exec(dat(), "update corvio_info set ver_major=7, ver_minor=99, ver_build=1234");
  ASSERT_EQ(config.open(), 0);
  EXPECT_EQ(sql_rows(dat(), "select profile from profiles"), (std::vector<SqlRow>{{"kept"}}));
  EXPECT_EQ(sql_rows(dat(), "select ver_major from corvio_info"), (std::vector<SqlRow>{{"7"}}));
}

TEST_F(ConfigTest, UnopenableFileFailsWithItsMessage) {
  w.ctx.fs.make_dir(dat());  // a directory where the file should be
  EXPECT_NE(config.open(), 0);
  EXPECT_EQ(w.messages.shown(),
            (std::vector<ShownMessage>{{"Can't open configuration database!", "Blah!"}}));
  EXPECT_FALSE(config.is_open());
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
  EXPECT_EQ(config.load_profiles(), 0);
  EXPECT_TRUE(config.profile_list().empty());
  EXPECT_EQ(config.close(), 0);
  EXPECT_FALSE(w.ctx.fs.exists(dat()));
}

}  // namespace
}  // namespace corvio
