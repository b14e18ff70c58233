// SPDX-License-Identifier: Apache-2.0
#include "app/application.h"

#include <gtest/gtest.h>

#include "platform/directories.h"
#include "profile/profile_db.h"
#include "profile/profile_editor.h"
#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::ShownMessage;

// Records the order in which start-up reaches the other subsystems and the user interface.
struct Recorder : Services, FrontEnd {
  int md5cache_open(Context&) override {
    calls.push_back("md5cache_open");
    return md5cache_result;
  }
  void md5cache_close() override { calls.push_back("md5cache_close"); }
  int tls_init(const Context&) override {
    calls.push_back("tls_init");
    return tls_result;
  }
  int run_main_window(Application& app) override {
    calls.push_back("main_window");
    seen_exit_when_done = app.command_line().exit_when_done;
    return 0;
  }
  int run_progress_window(Application& app) override {
    calls.push_back("progress_window:" + app.session().profile->tag);
    return run_result;
  }

  std::vector<std::string> calls;
  int md5cache_result = 0;
  int tls_result = 0;
  int run_result = kExitCompleted;
  bool seen_exit_when_done = false;
};

class ApplicationTest : public ::testing::Test {
 protected:
  SystemFacts facts() {
    SystemFacts f;
    f.install_dir = "/opt/corvio";
    f.data_dir = w.dir.file("data");
    return f;
  }

  int run(const std::string& command_line) { return app.run(command_line, facts()); }

  // A saved profile in the data directory the application will use.
  void save_profile(const std::string& tag) {
    Context ctx = w.ctx;
    ctx.data_dir = w.dir.file("data");
    make_dirs(ctx.data_dir);
    Config config(ctx);
    ASSERT_EQ(config.open(), 0);
    auto p = new_profile_defaults();
    p->tag = tag;
    p->login = "me";
    p->password = "pw";
    ASSERT_EQ(profile_create(ctx, config, *p), 0);
  }

  using Calls = std::vector<std::string>;

  test::TestWorld w;
  Recorder r;
  Application app{w.ctx.fs, w.clock, w.messages, w.display, PathStyle::posix(), r, r};
};

TEST_F(ApplicationTest, OpensInOrderRunsMainWindowAndShutsDown) {
  EXPECT_EQ(run(""), 0);
  EXPECT_EQ(r.calls, (Calls{"md5cache_open", "tls_init", "main_window", "md5cache_close"}));
  EXPECT_TRUE(w.messages.shown().empty());
  EXPECT_TRUE(w.ctx.fs.exists(w.dir.file("data/corvio.dat")));  // data directory was created
  EXPECT_FALSE(app.config().is_open());
  EXPECT_EQ(app.context().install_dir, "/opt/corvio");
}

TEST_F(ApplicationTest, ExitWhenDoneAloneStillOpensTheMainWindow) {
  EXPECT_EQ(run("/exitwhendone"), 0);
  EXPECT_EQ(r.calls, (Calls{"md5cache_open", "tls_init", "main_window", "md5cache_close"}));
  EXPECT_TRUE(r.seen_exit_when_done);
}

TEST_F(ApplicationTest, UpperCaseRunSwitchIsNotRecognised) {
  save_profile("daily");
  EXPECT_EQ(run("/RUN:daily"), 0);
  EXPECT_EQ(r.calls, (Calls{"md5cache_open", "tls_init", "main_window", "md5cache_close"}));
}

TEST_F(ApplicationTest, UnattendedRunOfTheLaterTagReturnsItsOutcome) {
  save_profile("first");
  save_profile("second");
  r.run_result = kExitCancelled;
  EXPECT_EQ(run("/run:first  /run:second"), kExitCancelled);
  EXPECT_EQ(r.calls,
            (Calls{"md5cache_open", "tls_init", "progress_window:second", "md5cache_close"}));
  EXPECT_EQ(app.session().profile->login, "me");
}

TEST_F(ApplicationTest, UnknownOrEmptyRunTagIsReportedAsAFailedRun) {
  save_profile("daily");
  EXPECT_EQ(run("/run:"), kExitFailed);
  EXPECT_EQ(run("/run:Daily"), kExitFailed);  // tags match byte for byte
  std::string title = "Meridane Online Backup";
  EXPECT_EQ(
      w.messages.shown(),
      (std::vector<ShownMessage>{
          {"Unable to automatically run backup profile: \nProfile could not be loaded!", title},
          {"Unable to automatically run backup profile: Daily\nProfile could not be "
           "loaded!",
           title}}));
}

TEST_F(ApplicationTest, ProfileThatFailsToLoadShowsLoaderMessagesThenTheRunMessage) {
  save_profile("daily");
  Context ctx = w.ctx;
  ctx.data_dir = w.dir.file("data");
  test::sql_exec(profile_db_path(ctx, "daily"), "delete from config where type=4");
  EXPECT_EQ(run("/run:daily"), kExitFailed);
  EXPECT_EQ(w.messages.shown(),
            (std::vector<ShownMessage>{
                {"No password specified in backup profile!", "Backup Profile Error"},
                {"daily", "Unable to open profile"},
                {"Unable to automatically run backup profile: daily\nProfile could not be "
                 "loaded!",
                 "Meridane Online Backup"}}));
  EXPECT_EQ(r.calls, (Calls{"md5cache_open", "tls_init", "md5cache_close"}));
}

TEST_F(ApplicationTest, MissingDataDirectoryEndsAtOnceWithZero) {
  SystemFacts f = facts();
  f.data_dir.reset();
  EXPECT_EQ(app.run("/run:x", f), 0);
  EXPECT_TRUE(r.calls.empty());
  EXPECT_EQ(w.messages.shown(),
            (std::vector<ShownMessage>{
                {"Unable to determine application data directory!", "Meridane Online Backup"}}));
}

TEST_F(ApplicationTest, MissingInstallDirectoryWarnsAndGoesOn) {
  SystemFacts f = facts();
  f.install_dir.reset();
  EXPECT_EQ(app.run("", f), 0);
  EXPECT_EQ(w.messages.shown(), (std::vector<ShownMessage>{{"Well, crap!", "Blah!"}}));
  EXPECT_EQ(r.calls.size(), 4u);
  EXPECT_EQ(app.context().install_dir, "");
}

TEST_F(ApplicationTest, CacheOrConfigurationFailureExitsWithOneAtOnce) {
  r.md5cache_result = 1;
  EXPECT_EQ(run(""), 1);
  EXPECT_EQ(r.calls, (Calls{"md5cache_open"}));
  EXPECT_FALSE(w.ctx.fs.exists(w.dir.file("data/corvio.dat")));

  r.calls.clear();
  r.md5cache_result = 0;
  SystemFacts f = facts();
  w.ctx.fs.make_dir(*f.data_dir);
  w.ctx.fs.make_dir(*f.data_dir + "/corvio.dat");
  EXPECT_EQ(app.run("", f), 1);
  EXPECT_EQ(r.calls, (Calls{"md5cache_open"}));
  EXPECT_EQ(w.messages.shown().back(),
            (ShownMessage{"Can't open configuration database!\n" + *f.data_dir +
                              "/corvio.dat\nunable to open database file (Is a directory)",
                          "Blah!"}));
}

TEST_F(ApplicationTest, TlsFailureSkipsTheWindowsButShutsDown) {
  r.tls_result = 1;
  EXPECT_EQ(run(""), 0);
  EXPECT_EQ(r.calls, (Calls{"md5cache_open", "tls_init", "md5cache_close"}));
  r.calls.clear();
  EXPECT_EQ(run("/run:x"), kExitFailed);
  EXPECT_EQ(r.calls, (Calls{"md5cache_open", "tls_init", "md5cache_close"}));
}

TEST_F(ApplicationTest, RunRecordStartsZeroed) {
  app.session().stats.files.store(5);
  app.session().cancel_requested.store(1);
  EXPECT_EQ(run(""), 0);
  EXPECT_EQ(app.session().stats.files.load(), 0u);
  EXPECT_EQ(app.session().cancel_requested.load(), 0u);
  EXPECT_EQ(app.session().start_time.load(), 0);
  EXPECT_FALSE(app.session().profile);
  EXPECT_FALSE(app.session().connection);
}

}  // namespace
}  // namespace corvio
