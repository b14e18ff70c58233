// SPDX-License-Identifier: Apache-2.0
#include "profile/profile_db.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/directories.h"
#include "profile/config.h"
#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::ShownMessage;
using test::sql_exec;
using test::sql_rows;
using test::SqlRow;

class ProfileDbTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(config.open(), 0); }

  std::string dir(const std::string& tag) { return w.ctx.profile_dir(tag); }
  std::string cfg(const std::string& tag) { return profile_db_path(w.ctx, tag); }

  // A profile database written by hand, as another program or a user might leave it.
  void hand_made(const std::string& tag, const std::vector<std::pair<int, std::string>>& rows,
                 bool with_info = true) {
    make_dirs(dir(tag));
    w.ctx.fs.remove(cfg(tag));
    std::string sql =
        "create table config ( id integer not null primary key autoincrement, type "
        "varchar(1024) not null, parm varchar(1024) not null, parm2 varchar(1024) not null );";
    if (with_info)
      sql +=
          "create table corvio_info ( id integer primary key, type integer, client_type "
          "integer, ver_major integer, ver_minor integer, ver_build integer );"
          "insert into corvio_info values (null, 32, 1, 9, 9, 9);";
    for (auto& [type, parm] : rows)
      sql += "insert into config (type, parm, parm2) values (" + std::to_string(type) + ", '" +
             parm + "', '');";
    sql_exec(cfg(tag), sql);
  }

  // The rows every valid hand-made profile needs.
  std::vector<std::pair<int, std::string>> valid(std::vector<std::pair<int, std::string>> more) {
    std::vector<std::pair<int, std::string>> rows = {{1, "host"}, {3, "me"}, {4, "pw"}};
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
  }

  std::unique_ptr<Profile> load_valid(std::vector<std::pair<int, std::string>> more) {
    hand_made("p", valid(more));
    return profile_load(w.ctx, "p", false);
  }

  test::TestWorld w;
  Config config{w.ctx};
};

Profile sample_profile() {
  Profile p;
  p.tag = "daily";
  p.description = "Home 'quoted' files";
  p.reserved_parm = "ignored";
  p.server = "backup.example";
  p.port = 6000;
  p.login = "alice";
  p.password = "s3cret";
  p.thread_priority.store(3);
  p.file_delay_ms.store(10);
  p.block_delay_ms.store(20);
  p.tx_limit_enabled.store(1);
  p.tx_limit_unit.store(4);
  p.tx_limit_rate.store(512);
  p.rx_limit_enabled.store(0);
  p.rx_limit_unit.store(2);
  p.rx_limit_rate.store(7);
  p.use_shadow_copy = 0;
  p.include_rules = {"/home/alice", "/etc"};
  p.exclude_rules = {"*.tmp"};
  return p;
}

TEST_F(ProfileDbTest, CreateWritesExactRowsSchemaAndRegistration) {
  ASSERT_EQ(profile_create(w.ctx, config, sample_profile()), 0);
  EXPECT_TRUE(w.messages.shown().empty());

  std::vector<SqlRow> expected = {{"1", "backup.example", ""},
                                  {"2", "6000", ""},
                                  {"3", "alice", ""},
                                  {"4", "s3cret", ""},
                                  {"5", "1", ""},
                                  {"6", "0", ""},
                                  {"7", "13", ""},
                                  {"8", "4", ""},
                                  {"10", "Home 'quoted' files", ""},
                                  {"11", "daily", ""},
                                  {"12", "3", ""},
                                  {"13", "10", ""},
                                  {"14", "20", ""},
                                  {"15", "1", ""},
                                  {"16", "4", ""},
                                  {"17", "512", ""},
                                  {"18", "0", ""},
                                  {"19", "2", ""},
                                  {"20", "7", ""},
                                  {"32", "0", ""},
                                  {"128", "/home/alice", ""},
                                  {"128", "/etc", ""},
                                  {"129", "*.tmp", ""}};
  EXPECT_EQ(sql_rows(cfg("daily"), "select type, parm, parm2 from config order by id"), expected);

  std::vector<SqlRow> schema = {
      {"create table config ( id integer not null primary key autoincrement, type "
       "varchar(1024) not null, parm varchar(1024) not null, parm2 varchar(1024) not null )"},
      {"create index config_type on config( type )"},
      {"create table corvio_info ( id integer not null primary key autoincrement, type integer "
       "unsigned not null, client_type integer unsigned not null, ver_major integer unsigned "
       "not null, ver_minor integer unsigned not null, ver_build integer unsigned not null )"}};
  EXPECT_EQ(test::schema_of(cfg("daily")), schema);
  EXPECT_EQ(sql_rows(cfg("daily"),
                     "select type, client_type, ver_major, ver_minor, ver_build "
                     "from corvio_info"),
            (std::vector<SqlRow>{{"32", "1", "0", "13", "4"}}));
  EXPECT_EQ(sql_rows(w.dir.file("corvio.dat"),
                     "select profile, status, t_last, t_last_completed, runs, runs_completed, "
                     "last_cat, last_cat_completed from profiles"),
            (std::vector<SqlRow>{{"daily", "2", "0", "0", "0", "0", "0", "0"}}));
}

TEST_F(ProfileDbTest, CreatedProfileLoadsBackIdentically) {
  ASSERT_EQ(profile_create(w.ctx, config, sample_profile()), 0);
  auto p = profile_load(w.ctx, "daily", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->description, "Home 'quoted' files");
  EXPECT_EQ(p->reserved_parm, "1");
  EXPECT_EQ(p->server, "backup.example");
  EXPECT_EQ(p->port, 6000);
  EXPECT_EQ(p->login, "alice");
  EXPECT_EQ(p->password, "s3cret");
  EXPECT_EQ(p->block_size, 4096);
  EXPECT_EQ(p->thread_priority.load(), 3u);
  EXPECT_EQ(p->file_delay_ms.load(), 10u);
  EXPECT_EQ(p->block_delay_ms.load(), 20u);
  EXPECT_EQ(p->tx_limit_enabled.load(), 1u);
  EXPECT_EQ(p->tx_limit_unit.load(), 4u);
  EXPECT_EQ(p->tx_limit_rate.load(), 512u);
  EXPECT_EQ(p->rx_limit_unit.load(), 2u);
  EXPECT_EQ(p->rx_limit_rate.load(), 7u);
  EXPECT_EQ(p->use_shadow_copy, 0u);
  EXPECT_EQ(p->include_rules, (std::vector<std::string>{"/home/alice", "/etc"}));
  EXPECT_EQ(p->exclude_rules, (std::vector<std::string>{"*.tmp"}));
  std::string description = "unchanged";
  EXPECT_EQ(profile_load_description(w.ctx, "daily", description), 0);
  EXPECT_EQ(description, "Home 'quoted' files");
}

TEST_F(ProfileDbTest, SavingTwiceKeepsOneBackupAndDeleteLeavesOnlyTheBackup) {
  Profile p = sample_profile();
  ASSERT_EQ(profile_create(w.ctx, config, p), 0);
  p.description = "second";
  ASSERT_EQ(profile_create(w.ctx, config, p), 0);
  p.description = "third";
  ASSERT_EQ(profile_create(w.ctx, config, p), 0);

  std::vector<FileInfo> entries;
  ASSERT_TRUE(w.ctx.fs.list(dir("daily"), &entries));
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_EQ(sql_rows(cfg("daily") + ".bak", "select parm from config where type=10"),
            (std::vector<SqlRow>{{"second"}}));
  EXPECT_EQ(sql_rows(w.dir.file("corvio.dat"), "select count(*), sum(runs) from profiles"),
            (std::vector<SqlRow>{{"1", "0"}}));

  EXPECT_EQ(profile_delete(w.ctx, config, "daily"), 0);
  entries.clear();
  ASSERT_TRUE(w.ctx.fs.list(dir("daily"), &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "daily.cfg.bak");
  EXPECT_EQ(sql_rows(cfg("daily") + ".bak", "select parm from config where type=10"),
            (std::vector<SqlRow>{{"third"}}));
  EXPECT_EQ(sql_rows(w.dir.file("corvio.dat"), "select count(*) from profiles"),
            (std::vector<SqlRow>{{"0"}}));

  // Deleting again, with the .cfg already gone, removes the backup too.
  EXPECT_EQ(profile_delete(w.ctx, config, "daily"), 0);
  entries.clear();
  ASSERT_TRUE(w.ctx.fs.list(dir("daily"), &entries));
  EXPECT_TRUE(entries.empty());
}

TEST_F(ProfileDbTest, PortDefaultsAndKeepsLow16Bits) {
  EXPECT_EQ(load_valid({})->port, 5420);
  EXPECT_EQ(load_valid({{2, "0"}})->port, 5420);
  EXPECT_EQ(load_valid({{2, "70000"}})->port, 4464);
  EXPECT_EQ(load_valid({{2, "  +81xyz"}})->port, 81);
  EXPECT_EQ(load_valid({{2, "http"}})->port, 5420);
}

TEST_F(ProfileDbTest, ClampsBlockSizePriorityAndUnits) {
  EXPECT_EQ(load_valid({})->block_size, 4096);
  EXPECT_EQ(load_valid({{9, "100"}})->block_size, 256);
  EXPECT_EQ(load_valid({{9, "9000"}})->block_size, 4096);
  EXPECT_EQ(load_valid({{9, "-5"}})->block_size, 256);
  EXPECT_EQ(load_valid({{9, "1000"}})->block_size, 1000);
  EXPECT_EQ(load_valid({})->thread_priority.load(), 1u);
  EXPECT_EQ(load_valid({{12, "5"}})->thread_priority.load(), 2u);
  EXPECT_EQ(load_valid({{12, "4"}})->thread_priority.load(), 4u);
  auto p = load_valid({{16, "6"}, {19, "-1"}});
  EXPECT_EQ(p->tx_limit_unit.load(), 1u);
  EXPECT_EQ(p->rx_limit_unit.load(), 1u);
  EXPECT_EQ(load_valid({{19, "5"}})->rx_limit_unit.load(), 5u);
  EXPECT_EQ(load_valid({})->use_shadow_copy, 1u);
  // A later row of the same type wins; delays are not clamped on load.
  EXPECT_EQ(load_valid({{13, "5"}, {13, "99999"}})->file_delay_ms.load(), 99999u);
}

TEST_F(ProfileDbTest, UnknownTypesWarnOncePerRowKnownIgnoredTypesAreSilent) {
  auto p = load_valid({{0, "x"},
                       {6, "x"},
                       {7, "x"},
                       {8, "x"},
                       {11, "other"},
                       {21, "x"},
                       {33, "x"},
                       {130, "x"},
                       {128, "/a"},
                       {128, "/b"}});
  ASSERT_TRUE(p);
  ShownMessage warning{"Unrecognized profile parameter!", "Warning loading profile"};
  EXPECT_EQ(w.messages.shown(), (std::vector<ShownMessage>{warning, warning, warning}));
  EXPECT_EQ(p->tag, "p");
  EXPECT_EQ(p->include_rules, (std::vector<std::string>{"/a", "/b"}));

  w.messages.clear();
  EXPECT_TRUE(profile_load(w.ctx, "p", true));
  EXPECT_TRUE(w.messages.shown().empty());
}

TEST_F(ProfileDbTest, RefusesMissingFieldsFilesAndVersionTable) {
  hand_made("noserver", {{3, "me"}, {4, "pw"}});
  EXPECT_FALSE(profile_load(w.ctx, "noserver", false));
  hand_made("nologin", {{1, "h"}, {4, "pw"}});
  EXPECT_FALSE(profile_load(w.ctx, "nologin", false));
  hand_made("nopassword", {{1, "h"}, {3, "me"}});
  EXPECT_FALSE(profile_load(w.ctx, "nopassword", false));
  hand_made("noinfo", valid({}), false);
  EXPECT_FALSE(profile_load(w.ctx, "noinfo", false));
  EXPECT_FALSE(profile_load(w.ctx, "absent", false));
  std::string description;
  EXPECT_EQ(profile_load_description(w.ctx, "noinfo", description), 1);
  EXPECT_EQ(profile_load_description(w.ctx, "absent", description), 1);

  EXPECT_EQ(w.messages.shown(),
            (std::vector<ShownMessage>{
                {"No server specified in backup profile!", "Backup Profile Error"},
                {"No login specified in backup profile!", "Backup Profile Error"},
                {"No password specified in backup profile!", "Backup Profile Error"},
                {"Can't read profile's database!\nProfile noinfo: " + cfg("noinfo") +
                     "\nno such table: corvio_info",
                 "Blah!"},
                {cfg("absent"), "Backup Profile Missing!"},
                {"Can't read profile's database!\nProfile noinfo: " + cfg("noinfo") +
                     "\nno such table: corvio_info",
                 "Meridane Online Backup"},
                {cfg("absent"), "Backup Profile Missing!"}}));

  w.messages.clear();
  EXPECT_FALSE(profile_load(w.ctx, "noinfo", true));
  EXPECT_FALSE(profile_load(w.ctx, "absent", true));
  EXPECT_TRUE(w.messages.shown().empty());
  // Nothing was created for the missing profile.
  EXPECT_FALSE(w.ctx.fs.exists(cfg("absent")));
}

TEST_F(ProfileDbTest, OverLongStoredTextsAreCutToTheirWidths) {
  std::string long_text(2000, 'x');
  hand_made("p", {{1, long_text},
                  {3, long_text},
                  {4, long_text},
                  {10, long_text},
                  {128, long_text},
                  {129, long_text}});
  auto p = profile_load(w.ctx, "p", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->server.size(), 255u);
  EXPECT_EQ(p->login.size(), 32u);
  EXPECT_EQ(p->password.size(), 32u);
  EXPECT_EQ(p->description.size(), 255u);
  EXPECT_EQ(p->include_rules.at(0).size(), 1023u);
  EXPECT_EQ(p->exclude_rules.at(0).size(), 1023u);
  std::string description;
  EXPECT_EQ(profile_load_description(w.ctx, "p", description), 0);
  EXPECT_EQ(description.size(), 255u);
}

TEST_F(ProfileDbTest, DescriptionOfAProfileWithoutOneIsLeftUnchanged) {
  hand_made("p", valid({}));
  std::string description = "kept";
  EXPECT_EQ(profile_load_description(w.ctx, "p", description), 0);
  EXPECT_EQ(description, "kept");
}

TEST_F(ProfileDbTest, AnEmptyOrDamagedDatabaseIsNamedWithItsTagPathAndReason) {
  const struct {
    const char* tag;
    std::string bytes;
    const char* reason;
  } cases[] = {{"empty", "", "no such table: corvio_info"},
               {"garbage", std::string(4096, 'g'), "file is not a database"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    make_dirs(dir(c.tag));
    test::write_file(cfg(c.tag), c.bytes);
    w.messages.clear();
    EXPECT_FALSE(profile_load(w.ctx, c.tag, false));
    std::string description;
    EXPECT_EQ(profile_load_description(w.ctx, c.tag, description), 1);
    const std::string text = "Can't read profile's database!\nProfile " + std::string(c.tag) +
                             ": " + cfg(c.tag) + "\n" + c.reason;
    EXPECT_EQ(w.messages.shown(),
              (std::vector<ShownMessage>{{text, "Blah!"}, {text, "Meridane Online Backup"}}));
    EXPECT_EQ(test::read_file(cfg(c.tag)), c.bytes);  // left as it was
  }
}

// Runs profile_create in a child process whose files may not grow beyond limit bytes, as on a
// full disk. The child's exit status is profile_create's result.
int create_with_file_size_limit(const Context& ctx, Config& config, const Profile& p,
                                rlim_t limit) {
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing the process
    rlimit r{limit, limit};
    setrlimit(RLIMIT_FSIZE, &r);
    _exit(profile_create(ctx, config, p));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ProfileDbTest, ASaveThatFailsMidwayKeepsTheOldProfileItsBackupAndItsRegistration) {
  Profile p = sample_profile();
  p.description = "first";
  ASSERT_EQ(profile_create(w.ctx, config, p), 0);
  p.description = "second";
  ASSERT_EQ(profile_create(w.ctx, config, p), 0);

  // Enough rules that the rows need more pages than the limit allows.
  p.description = "third";
  for (int i = 0; i < 200; i++)
    p.include_rules.push_back("/data/" + std::string(100, 'r') + std::to_string(i));
  for (int attempt = 0; attempt < 2; attempt++) {
    EXPECT_EQ(create_with_file_size_limit(w.ctx, config, p, 16384), 1);
    auto kept = profile_load(w.ctx, "daily", true);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->description, "second");
    EXPECT_EQ(sql_rows(cfg("daily") + ".bak", "select parm from config where type=10"),
              (std::vector<SqlRow>{{"first"}}));
    EXPECT_EQ(sql_rows(w.dir.file("corvio.dat"), "select profile from profiles"),
              (std::vector<SqlRow>{{"daily"}}));
    std::vector<FileInfo> entries;
    ASSERT_TRUE(w.ctx.fs.list(dir("daily"), &entries));
    EXPECT_EQ(entries.size(), 2u);  // no half-written file is left beside them
  }
  ASSERT_EQ(profile_create(w.ctx, config, p), 0);
  EXPECT_EQ(profile_load(w.ctx, "daily", true)->include_rules.size(), 202u);
}

TEST_F(ProfileDbTest, ProfileDatabasesAndTheirBackupsAreReadableByTheOwnerOnly) {
  auto mode = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
  };
  ASSERT_EQ(profile_create(w.ctx, config, sample_profile()), 0);
  EXPECT_EQ(mode(cfg("daily")), 0600u);
  chmod(cfg("daily").c_str(), 0644);  // as written before databases were private
  ASSERT_EQ(profile_create(w.ctx, config, sample_profile()), 0);
  EXPECT_EQ(mode(cfg("daily")), 0600u);
  EXPECT_EQ(mode(cfg("daily") + ".bak"), 0600u);

  chmod(w.dir.path().c_str(), 0755);
  profile_check_data_dir_privacy(w.ctx);
  ASSERT_EQ(w.messages.shown().size(), 1u);
  EXPECT_NE(w.messages.shown()[0].text.find("Other users can read or enter the data directory " +
                                            w.dir.path()),
            std::string::npos);
  chmod(w.dir.path().c_str(), 0700);
  profile_check_data_dir_privacy(w.ctx);
  EXPECT_EQ(w.messages.shown().size(), 1u);
}

TEST_F(ProfileDbTest, ATagThatCouldLeaveItsDirectoryTouchesNothing) {
  make_dirs(w.dir.file("outside"));
  test::write_file(w.dir.file("outside/victim.cfg"), "keep");
  for (const std::string tag : {"../../outside", "a/b", "a.b", ""}) {
    Profile p = sample_profile();
    p.tag = tag;
    EXPECT_EQ(profile_delete(w.ctx, config, tag), 1) << tag;
    EXPECT_EQ(profile_create(w.ctx, config, p), 1) << tag;
    // Loading refuses it too, as a tag registered by hand would be.
    std::string description = "unchanged";
    EXPECT_EQ(profile_load(w.ctx, tag, true), nullptr) << tag;
    EXPECT_EQ(profile_load_description(w.ctx, tag, description), 1) << tag;
    EXPECT_EQ(description, "unchanged");
  }
  EXPECT_EQ(test::read_file(w.dir.file("outside/victim.cfg")), "keep");
  EXPECT_FALSE(w.ctx.fs.exists(w.dir.file("outside/victim.cfg.bak")));
  EXPECT_FALSE(w.ctx.fs.exists(w.dir.file("Profiles")));
}

}  // namespace
}  // namespace corvio
