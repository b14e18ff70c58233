// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "certificates.h"
#include "json_check.h"
#include "json_writer.h"
#include "net/tls_context.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "profile_command.h"
#include "support/captured_output.h"
#include "support/sql_rows.h"
#include "support/test_world.h"
#include "trust_ca_command.h"

namespace corvio {
namespace {

using test::json_canonical;
using test::ShownMessage;
using test::sql_exec;
using test::sql_rows;
using test::SqlRow;

using Captured = test::CapturedOutput;

class CorvioctlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(config.open(), 0); }

  int run(std::vector<std::string> args, const std::string& stdin_text = "") {
    std::string input = stdin_text;
    std::FILE* in = fmemopen(input.data(), input.size() + 1, "r");
    int rc = profile_command(w.ctx, config, args, CtlIo{out.file(), err.file(), in});
    std::fclose(in);
    return rc;
  }

  int create(const std::string& tag, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"create", "--tag", tag, "--login", "me", "--password-stdin"};
    args.insert(args.end(), more.begin(), more.end());
    return run(args, "secret\n");
  }

  std::vector<SqlRow> rows(const std::string& tag) {
    return sql_rows(profile_db_path(w.ctx, tag), "select type, parm from config order by id");
  }

  test::TestWorld w;
  Config config{w.ctx};
  Captured out, err;
};

TEST_F(CorvioctlTest, CreateWritesEveryOptionAsTheEditorWould) {
  ASSERT_EQ(
      create("Daily",
             {"--description", "Home",  "--server",      "b.example", "--port",        "6000",
              "--priority",    "0",     "--file-delay",  "10",        "--block-delay", "20",
              "--tx-limit",    "300",   "--tx-unit",     "4",         "--rx-limit",    "9",
              "--rx-unit",     "0",     "--shadow-copy", "off",       "--include",     "/home",
              "--exclude",     "*.tmp", "--include",     "/etc"}),
      kCtlOk)
      << err.text();
  EXPECT_EQ(out.text(), "created profile daily\n");
  EXPECT_EQ(
      rows("daily"),
      (std::vector<SqlRow>{{"1", "b.example"}, {"2", "6000"},   {"3", "me"},     {"4", "secret"},
                           {"5", "1"},         {"6", "0"},      {"7", "13"},     {"8", "4"},
                           {"10", "Home"},     {"11", "daily"}, {"12", "0"},     {"13", "10"},
                           {"14", "20"},       {"15", "1"},     {"16", "4"},     {"17", "300"},
                           {"18", "1"},        {"19", "0"},     {"20", "9"},     {"32", "0"},
                           {"128", "/home"},   {"128", "/etc"}, {"129", "*.tmp"}}));
  EXPECT_EQ(sql_rows(w.dir.file("corvio.dat"), "select profile, status from profiles"),
            (std::vector<SqlRow>{{"daily", "2"}}));
  EXPECT_TRUE(w.messages.shown().empty());
}

TEST_F(CorvioctlTest, NewProfilesStartFromTheEditorDefaults) {
  ASSERT_EQ(create("plain"), kCtlOk);
  auto p = profile_load(w.ctx, "plain", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->server, "backup.meridane.com");
  EXPECT_EQ(p->port, 5420);
  EXPECT_EQ(p->thread_priority.load(), 2u);
  EXPECT_EQ(p->tx_limit_enabled.load(), 0u);
  EXPECT_EQ(p->tx_limit_rate.load(), 50u);
  EXPECT_EQ(p->use_shadow_copy, 1u);
  EXPECT_EQ(p->password, "secret");
}

TEST_F(CorvioctlTest, EditChangesOnlyTheGivenFields) {
  ASSERT_EQ(create("e", {"--description", "before", "--tx-limit", "7", "--include", "/a",
                         "--exclude", "*.o", "--exclude", "*.a"}),
            kCtlOk);
  ASSERT_EQ(run({"edit", "--tag", "e", "--no-tx-limit", "--include", "/b", "--include", "/c",
                 "--port", "7000"}),
            kCtlOk)
      << err.text();
  auto p = profile_load(w.ctx, "e", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->description, "before");
  EXPECT_EQ(p->port, 7000);
  EXPECT_EQ(p->tx_limit_enabled.load(), 0u);
  EXPECT_EQ(p->tx_limit_rate.load(), 7u);
  EXPECT_EQ(p->password, "secret");
  EXPECT_EQ(p->include_rules, (std::vector<std::string>{"/b", "/c"}));
  EXPECT_EQ(p->exclude_rules, (std::vector<std::string>{"*.o", "*.a"}));
  EXPECT_TRUE(w.ctx.fs.exists(profile_db_path(w.ctx, "e") + ".bak"));
}

TEST_F(CorvioctlTest, FailedChecksShowTheEditorMessageAndStoreNothing) {
  EXPECT_EQ(create("d", {"--file-delay", "10001"}), kCtlFailed);
  EXPECT_EQ(create("d", {"--include", "/tmp/*.tmp"}), kCtlFailed);
  EXPECT_EQ(create("d", {"--include", "/x", "--exclude", "/x"}), kCtlFailed);
  EXPECT_EQ(create("d", {"--include", "~/docs"}), kCtlFailed);
  EXPECT_EQ(create("bad.tag"), kCtlFailed);
  ASSERT_EQ(create("d"), kCtlOk);
  EXPECT_EQ(create("D"), kCtlFailed);
  auto shown = w.messages.shown();
  ASSERT_EQ(shown.size(), 6u);
  EXPECT_EQ(shown[0],
            (ShownMessage{"Maximum delay between files is 10000ms (10 seconds)", "Delay Error"}));
  EXPECT_EQ(shown[1].title, "Can't Add Include/Exclude");
  EXPECT_EQ(shown[2].title, "Can't Add Include/Exclude");
  EXPECT_EQ(shown[3].title, "Can't Add Include/Exclude");
  EXPECT_NE(shown[3].text.find("must be absolute"), std::string::npos) << shown[3].text;
  EXPECT_EQ(shown[4].title, "Unable to create profile");
  EXPECT_EQ(shown[5], (ShownMessage{"A profile with that tag name already exists!",
                                    "Unable to create profile"}));
  EXPECT_FALSE(w.ctx.fs.exists(profile_db_path(w.ctx, "d") + ".bak"));
}

TEST_F(CorvioctlTest, BadOptionsAreUsageErrorsThatLoseNothing) {
  EXPECT_EQ(create("u", {"--port", "http"}), kCtlUsage);
  EXPECT_EQ(create("u", {"--port", "70000"}), kCtlUsage);
  EXPECT_EQ(create("u", {"--priority", "5"}), kCtlUsage);
  EXPECT_EQ(create("u", {"--tx-unit", "6"}), kCtlUsage);
  EXPECT_EQ(create("u", {"--shadow-copy", "yes"}), kCtlUsage);
  EXPECT_EQ(create("u", {"--description", std::string(256, 'd')}), kCtlUsage);
  EXPECT_EQ(create(std::string(32, 't')), kCtlUsage);
  EXPECT_EQ(create("u", {"--include"}), kCtlUsage);
  EXPECT_EQ(create("u", {"--frobnicate"}), kCtlUsage);
  EXPECT_EQ(run({"create", "--tag", "u", "--login", "me"}), kCtlUsage);  // no password
  EXPECT_EQ(run({"create", "--tag", "u", "--login", "me", "--password-stdin"},
                std::string(33, 'p') + "\n"),
            kCtlUsage);
  EXPECT_EQ(run({"frob"}), kCtlUsage);
  EXPECT_EQ(run({}), kCtlUsage);
  EXPECT_NE(err.text().find("--port: not a number: http"), std::string::npos);
  EXPECT_FALSE(w.ctx.fs.exists(w.ctx.profile_dir("u")));
}

TEST_F(CorvioctlTest, ShowMasksThePasswordAndListsRulesInOrder) {
  ASSERT_EQ(create("s", {"--include", "/z", "--include", "/a", "--exclude", "*.tmp", "--tx-limit",
                         "8", "--tx-unit", "4"}),
            kCtlOk);
  Captured shown;
  out.text();
  ASSERT_EQ(profile_command(w.ctx, config, {"show", "s"}, CtlIo{shown.file(), err.file(), stdin}),
            kCtlOk);
  EXPECT_EQ(shown.text(),
            "tag: s\n"
            "description: \n"
            "server: backup.meridane.com\n"
            "port: 5420\n"
            "login: me\n"
            "password: ********\n"
            "priority: 2 (Normal)\n"
            "file delay: 0 ms\n"
            "block delay: 0 ms\n"
            "tx limit: on, 8 kbps\n"
            "rx limit: off, 50 KB/s\n"
            "shadow copy: on\n"
            "block size: 4096\n"
            "reserved: 1\n"
            "include: /z\n"
            "include: /a\n"
            "exclude: *.tmp\n");
  EXPECT_EQ(run({"show", "missing"}), kCtlFailed);
  EXPECT_EQ(w.messages.shown().back().title, "Backup Profile Missing!");
}

TEST_F(CorvioctlTest, ListAndDelete) {
  ASSERT_EQ(create("beta", {"--description", "B"}), kCtlOk);
  ASSERT_EQ(create("alpha", {"--description", "A"}), kCtlOk);
  Captured listed;
  ASSERT_EQ(profile_command(w.ctx, config, {"list"}, CtlIo{listed.file(), err.file(), stdin}),
            kCtlOk);
  EXPECT_EQ(listed.text(), "alpha\tA\nbeta\tB\n");

  EXPECT_EQ(run({"delete", "beta"}), kCtlOk);
  EXPECT_FALSE(w.ctx.fs.exists(profile_db_path(w.ctx, "beta")));
  EXPECT_TRUE(w.ctx.fs.exists(profile_db_path(w.ctx, "beta") + ".bak"));
  EXPECT_EQ(run({"delete", "beta"}), kCtlFailed);
  ASSERT_EQ(config.load_profiles(), 0);
  ASSERT_EQ(config.profile_list().size(), 1u);
  EXPECT_EQ(config.profile_list()[0].tag, "alpha");
}

TEST_F(CorvioctlTest, EveryCommandHasHelp) {
  for (auto args : std::vector<std::vector<std::string>>{{"--help"},
                                                         {"create", "--help"},
                                                         {"edit", "--help"},
                                                         {"show", "--help"},
                                                         {"list", "--help"},
                                                         {"delete", "--help"}})
    EXPECT_EQ(run(args), kCtlOk) << args[0];
  EXPECT_NE(out.text().find("--password-stdin"), std::string::npos);
  EXPECT_TRUE(w.messages.shown().empty());
}

TEST_F(CorvioctlTest, EveryCommandFoldsAndChecksTheTagBeforeTouchingAFile) {
  ASSERT_EQ(create("Nightly", {"--description", "N"}), kCtlOk);
  EXPECT_EQ(rows("nightly").at(9), (SqlRow{"11", "nightly"}));
  EXPECT_EQ(run({"show", "NIGHTLY"}), kCtlOk);
  EXPECT_EQ(run({"edit", "--tag", "NightLY", "--description", "M"}), kCtlOk) << err.text();
  EXPECT_EQ(profile_load(w.ctx, "nightly", true)->description, "M");

  // A file outside the data directory that a tag with separators would reach.
  const std::string victim_dir = w.dir.file("outside/victim");
  std::filesystem::create_directories(victim_dir);
  test::write_file(victim_dir + "/victim.cfg", "keep");
  w.messages.clear();
  const std::string bad_tags[] = {"../../outside/victim", "a.b", "a b", "x/y"};
  for (const std::string& tag : bad_tags) {
    EXPECT_EQ(run({"show", tag}), kCtlFailed) << tag;
    EXPECT_EQ(run({"delete", tag}), kCtlFailed) << tag;
    EXPECT_EQ(run({"edit", "--tag", tag, "--description", "x"}), kCtlFailed) << tag;
  }
  const ShownMessage refused{
      "Profile tags may only consist of letters, numbers,\ndashes or underscores.",
      "Invalid profile tag"};
  EXPECT_EQ(w.messages.shown(), std::vector<ShownMessage>(3 * std::size(bad_tags), refused));
  EXPECT_EQ(test::read_file(victim_dir + "/victim.cfg"), "keep");
  EXPECT_FALSE(w.ctx.fs.exists(victim_dir + "/victim.cfg.bak"));

  // A tag that begins with '-' is named after "--".
  ASSERT_EQ(create("-dash"), kCtlOk);
  EXPECT_EQ(run({"show", "-dash"}), kCtlUsage);
  EXPECT_EQ(run({"show", "--", "-DASH"}), kCtlOk);
  EXPECT_EQ(run({"delete", "--", "-dash"}), kCtlOk);
  EXPECT_EQ(run({"delete", "NIGHTLY"}), kCtlOk);
  EXPECT_FALSE(w.ctx.fs.exists(profile_db_path(w.ctx, "nightly")));
}

TEST_F(CorvioctlTest, AnEditChangesOnlyWhatItIsToldTo) {
  const std::string login(32, 'l'), password(32, 'p');
  ASSERT_EQ(run({"create", "--tag", "full", "--login", login, "--password-stdin"}, password + "\n"),
            kCtlOk)
      << err.text();
  ASSERT_EQ(run({"edit", "--tag", "full", "--description", "changed"}), kCtlOk);
  auto p = profile_load(w.ctx, "full", true);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->login, login);
  EXPECT_EQ(p->password, password);
  EXPECT_EQ(p->description, "changed");

  // Empty values are refused with the editor's text before anything is written.
  const std::string before = test::read_file(profile_db_path(w.ctx, "full"));
  w.messages.clear();
  EXPECT_EQ(run({"edit", "--tag", "full", "--login", ""}), kCtlFailed);
  EXPECT_EQ(run({"edit", "--tag", "full", "--server", ""}), kCtlFailed);
  EXPECT_EQ(run({"edit", "--tag", "full", "--password-stdin"}, "\n"), kCtlFailed);
  EXPECT_EQ(run({"create", "--tag", "empty", "--login", "me", "--password-stdin"}, "\n"),
            kCtlFailed);
  const char* title = "Backup Profile Error";
  EXPECT_EQ(w.messages.shown(),
            (std::vector<ShownMessage>{{"No login specified in backup profile!", title},
                                       {"No server specified in backup profile!", title},
                                       {"No password specified in backup profile!", title},
                                       {"No password specified in backup profile!", title}}));
  EXPECT_EQ(test::read_file(profile_db_path(w.ctx, "full")), before);
  EXPECT_FALSE(w.ctx.fs.exists(w.ctx.profile_dir("empty")));
}

TEST_F(CorvioctlTest, AnUnreadableRegisterIsNeverRebuiltAndFailsListAndCreate) {
  ASSERT_EQ(create("kept"), kCtlOk);
  config.close();
  sql_exec(w.dir.file("corvio.dat"), "drop table corvio_info");
  const std::string before = test::read_file(w.dir.file("corvio.dat"));
  w.messages.clear();

  Config fresh(w.ctx);
  EXPECT_EQ(profile_command(w.ctx, fresh, {"--help"}, CtlIo{out.file(), err.file(), stdin}),
            kCtlOk);
  EXPECT_EQ(profile_command(w.ctx, fresh, {"list", "--help"}, CtlIo{out.file(), err.file(), stdin}),
            kCtlOk);
  EXPECT_TRUE(w.messages.shown().empty());  // help does not even open it
  EXPECT_EQ(profile_command(w.ctx, fresh, {"list"}, CtlIo{out.file(), err.file(), stdin}),
            kCtlFailed);
  std::string input = "pw\n";
  std::FILE* in = fmemopen(input.data(), input.size(), "r");
  EXPECT_EQ(
      profile_command(w.ctx, fresh, {"create", "--tag", "new", "--login", "me", "--password-stdin"},
                      CtlIo{out.file(), err.file(), in}),
      kCtlFailed);
  std::fclose(in);
  const ShownMessage unreadable{"Can't read configuration database!\n" + w.dir.file("corvio.dat") +
                                    "\nno such table: corvio_info",
                                "SQL Error"};
  EXPECT_EQ(w.messages.shown(), (std::vector<ShownMessage>{unreadable, unreadable}));
  EXPECT_EQ(test::read_file(w.dir.file("corvio.dat")), before);
  EXPECT_EQ(sql_rows(w.dir.file("corvio.dat"), "select profile from profiles"),
            (std::vector<SqlRow>{{"kept"}}));
  EXPECT_FALSE(w.ctx.fs.exists(w.ctx.profile_dir("new")));
}

TEST_F(CorvioctlTest, ShowAndListEscapeControlCharactersAndBrokenUtf8) {
  ASSERT_EQ(create("esc", {"--description", "red\x1b[31m \xc3\xa9t\xc3 \xc2\x9b\x7f", "--include",
                           "/tab\there"}),
            kCtlOk);
  Captured shown, listed;
  ASSERT_EQ(profile_command(w.ctx, config, {"show", "esc"}, CtlIo{shown.file(), err.file(), stdin}),
            kCtlOk);
  EXPECT_NE(shown.text().find("description: red\\x1b[31m \xc3\xa9t\\xc3 \\xc2\\x9b\\x7f\n"),
            std::string::npos)
      << shown.text();
  EXPECT_NE(shown.text().find("include: /tab\\x09here\n"), std::string::npos);
  ASSERT_EQ(profile_command(w.ctx, config, {"list"}, CtlIo{listed.file(), err.file(), stdin}),
            kCtlOk);
  EXPECT_EQ(listed.text(), "esc\tred\\x1b[31m \xc3\xa9t\\xc3 \\xc2\\x9b\\x7f\n");
}

TEST_F(CorvioctlTest, JsonShowAndListAreDocumentsWithEveryFieldAndNoPassword) {
  Captured empty;
  ASSERT_EQ(
      profile_command(w.ctx, config, {"list", "--json"}, CtlIo{empty.file(), err.file(), stdin}),
      kCtlOk);
  EXPECT_EQ(json_canonical(empty.text()), "[]");

  ASSERT_EQ(create("J", {"--description", "say \"hi\" \\ \x1b[2J t\xc3 \xc2\x9b",
                         "--server",      "b.example",
                         "--port",        "6000",
                         "--priority",    "0",
                         "--file-delay",  "10",
                         "--block-delay", "10000",
                         "--tx-limit",    "300",
                         "--tx-unit",     "4",
                         "--shadow-copy", "off",
                         "--include",     "/home/gr\xc3\xbcn",
                         "--include",     "/b",
                         "--exclude",     "*.tmp"}),
            kCtlOk);
  ASSERT_EQ(create("alpha"), kCtlOk);
  const char* expected_j =
      R"({"block_delay_ms":10000,"block_size":4096,)"
      R"("description":"say \"hi\" \\ \u001b[2J t\ufffd \u009b","exclude":["*.tmp"],)"
      R"("file_delay_ms":10,"include":["/home/gr\u00fcn","/b"],"login":"me","port":6000,)"
      R"("priority":0,"priority_name":"Idle","reserved":"1",)"
      R"("rx_limit":{"on":false,"rate":50,"unit":1,"unit_name":"KB/s"},"server":"b.example",)"
      R"("shadow_copy":false,"tag":"j","tx_limit":{"on":true,"rate":300,"unit":4,)"
      R"("unit_name":"kbps"}})";
  // --json before or after the tag; the tag folded as everywhere else.
  for (auto args : std::vector<std::vector<std::string>>{
           {"show", "--json", "J"}, {"show", "j", "--json"}, {"show", "--json", "--", "j"}}) {
    Captured shown;
    ASSERT_EQ(profile_command(w.ctx, config, args, CtlIo{shown.file(), err.file(), stdin}), kCtlOk);
    EXPECT_EQ(json_canonical(shown.text()), expected_j) << shown.text();
    EXPECT_EQ(shown.text().find("secret"), std::string::npos);
    EXPECT_EQ(shown.text().back(), '\n');
  }

  Captured listed;
  ASSERT_EQ(
      profile_command(w.ctx, config, {"list", "--json"}, CtlIo{listed.file(), err.file(), stdin}),
      kCtlOk);
  EXPECT_EQ(json_canonical(listed.text()),
            R"([{"description":"","tag":"alpha"},)"
            R"({"description":"say \"hi\" \\ \u001b[2J t\ufffd \u009b","tag":"j"}])");

  // Only show and list take --json; a second operand is still a usage error.
  EXPECT_EQ(run({"delete", "--json", "j"}), kCtlUsage);
  EXPECT_EQ(run({"list", "--json", "x"}), kCtlUsage);
  EXPECT_EQ(run({"show", "--json", "j", "x"}), kCtlUsage);
  EXPECT_EQ(run({"show", "--json", "missing"}), kCtlFailed);
  EXPECT_EQ(out.text().find('{'), std::string::npos);
  EXPECT_TRUE(w.ctx.fs.exists(profile_db_path(w.ctx, "j")));
}

TEST_F(CorvioctlTest, JsonStringsParseBackToTheTextOrItsReplacement) {
  const struct {
    std::string text, parsed;  // parsed: as Python's json.dumps writes it back
  } cases[] = {
      {"", R"("")"},
      {"plain /path", R"("plain /path")"},
      {"\"\\/", R"("\"\\/")"},
      {std::string("\0\x01\n\t\x1f\x7f", 6), R"("\u0000\u0001\n\t\u001f\u007f")"},
      {"\xc2\x80\xc2\x9f\xc2\xa0", R"("\u0080\u009f\u00a0")"},
      {"\xe2\x82\xac \xf0\x9f\x98\x80", R"("\u20ac \ud83d\ude00")"},
      {"\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80", R"("\ufffd\ufffd \ufffd\ufffd\ufffd )"
                                                 R"(\ufffd\ufffd\ufffd\ufffd")"},
      {"cut \xe2\x82", R"("cut \ufffd\ufffd")"},
      {"\xc2", R"("\ufffd")"},
      {"\xff\xfe", R"("\ufffd\ufffd")"},
  };
  // One document of them all: each python3 start costs a tenth of a second.
  std::string document = "[", expected = "[";
  for (const auto& c : cases) {
    document += (document.size() > 1 ? "," : "") + json_quote(c.text);
    expected += (expected.size() > 1 ? "," : "") + c.parsed;
  }
  EXPECT_EQ(json_canonical(document + "]"), expected + "]");
  EXPECT_EQ(json_canonical("{\"a\":1} x"), "invalid: Extra data: line 1 column 9 (char 8)");
}

TEST_F(CorvioctlTest, TrustCaTakesOnlyPemCertificatesAndReplacesTheFileWhole) {
  std::string error;
  ASSERT_TRUE(server::write_self_signed(w.dir.path(), "127.0.0.1", &error)) << error;
  const std::string trusted = w.dir.file("trusted-ca.pem");
  auto trust = [&](std::vector<std::string> args) {
    return trust_ca_command(w.ctx, args, CtlIo{out.file(), err.file(), stdin});
  };
  ASSERT_EQ(trust({w.dir.file("ca.pem")}), kCtlOk) << err.text();
  EXPECT_NE(out.text().find("trusted 1 certificate: " + trusted), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(trusted.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  TlsContext tls;
  EXPECT_EQ(tls.init(w.ctx), 0);
  EXPECT_TRUE(w.messages.shown().empty());  // the client reads the file it wrote
  const std::string first = test::read_file(trusted);

  test::write_file(w.dir.file("both.pem"), "comment\n" + test::read_file(w.dir.file("ca.pem")) +
                                               test::read_file(w.dir.file("server.pem")));
  test::write_file(w.dir.file("notes.txt"), "no certificate here\n");
  test::write_file(w.dir.file("broken.pem"),
                   "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n");
  const struct {
    std::string file;
    const char* reason;
  } refused[] = {{w.dir.file("server.key"), "it holds a PRIVATE KEY, not only certificates"},
                 {w.dir.file("notes.txt"), "it holds no PEM certificate"},
                 {w.dir.file("broken.pem"), "certificate 1 cannot be read"}};
  for (const auto& r : refused) {
    EXPECT_EQ(trust({r.file}), kCtlFailed) << r.file;
    EXPECT_NE(err.text().find(r.file + ": " + r.reason), std::string::npos) << err.text();
  }
  EXPECT_EQ(trust({w.dir.file("missing.pem")}), kCtlFailed);
  EXPECT_EQ(trust({}), kCtlUsage);
  EXPECT_EQ(trust({"-x"}), kCtlUsage);
  EXPECT_EQ(test::read_file(trusted), first);  // a refused file changes nothing
  EXPECT_FALSE(w.ctx.fs.exists(trusted + ".new"));

  ASSERT_EQ(trust({"--", w.dir.file("both.pem")}), kCtlOk);
  int count = 0;
  EXPECT_FALSE(pem_certificates(test::read_file(trusted), &error, &count).empty());
  EXPECT_EQ(count, 2);
}

TEST_F(CorvioctlTest, HelpStatesTheLimits) {
  ASSERT_EQ(run({"--help"}), kCtlOk);
  ASSERT_EQ(run({"create", "--help"}), kCtlOk);
  const std::string help = out.text();
  EXPECT_NE(help.find("A tag is 1-31 letters"), std::string::npos);
  EXPECT_NE(help.find("Logins and passwords are\n1-32 characters"), std::string::npos);
  EXPECT_NE(help.find("--login NAME           1-32 characters"), std::string::npos);
  EXPECT_NE(help.find("read the password (1-32 characters)"), std::string::npos);
}

}  // namespace
}  // namespace corvio
