// SPDX-License-Identifier: Apache-2.0
#include "profile/profile_editor.h"

#include <gtest/gtest.h>

#include "profile/config.h"
#include "profile/profile_db.h"
#include "support/sql_rows.h"
#include "support/test_world.h"

namespace corvio {
namespace {

using test::ShownMessage;

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(config.open(), 0); }

  // Fields of a new profile as the editor opens it, with a valid login.
  EditorFields new_fields(const std::string& tag) {
    auto defaults = new_profile_defaults();
    EditorFields f = editor_fields(*defaults);
    f.tag = tag;
    f.login = "me";
    f.password = "pw";
    return f;
  }

  int save_new(const EditorFields& f) {
    ProfileEditor editor(w.ctx, config, new_profile_defaults(), true);
    return editor.ok(f);
  }

  std::vector<ShownMessage> shown_once() {
    auto shown = w.messages.shown();
    w.messages.clear();
    return shown;
  }

  test::TestWorld w;
  Config config{w.ctx};
};

TEST_F(EditorTest, NewProfileDefaultsShowAsTheEditorOpens) {
  EditorFields f = editor_fields(*new_profile_defaults());
  EXPECT_EQ(f.server, kDefaultServer);
  EXPECT_EQ(f.port, "5420");
  EXPECT_EQ(f.throttling.priority_index, 2);
  EXPECT_EQ(f.throttling.tx_rate, "50");
  EXPECT_EQ(f.throttling.rx_rate, "50");
  EXPECT_EQ(f.throttling.tx_unit_index, 1);
  EXPECT_FALSE(f.throttling.tx_limit);
  EXPECT_TRUE(f.shadow_copy);
  EXPECT_TRUE(f.rules.empty());
}

TEST_F(EditorTest, PriorityListMapsBothWays) {
  // Index 0 "Highest" .. 4 "Idle" against stored 4 .. 0; odd stored values show "Normal".
  for (int index = 0; index <= 4; index++)
    EXPECT_EQ(priority_index_for(priority_for_index(index)), index);
  EXPECT_EQ(priority_for_index(0), 4u);
  EXPECT_EQ(priority_for_index(4), 0u);
  EXPECT_EQ(priority_for_index(-1), 1u);
  EXPECT_EQ(priority_index_for(2), 2);
  EXPECT_EQ(priority_index_for(77), 2);
  Profile odd;
  odd.thread_priority.store(77);
  EXPECT_EQ(editor_fields(odd).throttling.priority_index, 2);  // the throttling dialog shows 3
}

TEST_F(EditorTest, TagIsLoweredCheckedAndCut) {
  EXPECT_EQ(save_new(new_fields("My-Backup_1")), 0);
  EXPECT_TRUE(w.ctx.fs.exists(profile_db_path(w.ctx, "my-backup_1")));

  const char* title = "Unable to create profile";
  ShownMessage bad_chars{
      "Profile tags may only consist of letters, numbers,\ndashes or "
      "underscores.",
      title};
  EXPECT_EQ(save_new(new_fields("has blank")), 1);
  EXPECT_EQ(shown_once(), std::vector<ShownMessage>{bad_chars});
  EXPECT_EQ(save_new(new_fields("has.dot")), 1);
  EXPECT_EQ(shown_once(), std::vector<ShownMessage>{bad_chars});
  EXPECT_EQ(save_new(new_fields("")), 1);
  EXPECT_EQ(shown_once(), (std::vector<ShownMessage>{{"A profile tag must be entered!", title}}));
  EXPECT_EQ(save_new(new_fields("MY-BACKUP_1")), 1);
  EXPECT_EQ(shown_once(),
            (std::vector<ShownMessage>{{"A profile with that tag name already exists!", title}}));

  EditorFields long_fields = new_fields(std::string(40, 'a'));
  long_fields.login = std::string(40, 'l');
  long_fields.password = std::string(40, 'p');
  long_fields.description = std::string(300, 'd');
  ProfileEditor editor(w.ctx, config, new_profile_defaults(), true);
  ASSERT_EQ(editor.ok(long_fields), 0);
  EXPECT_EQ(editor.profile().tag, std::string(30, 'a'));
  EXPECT_EQ(editor.profile().login.size(), 31u);
  EXPECT_EQ(editor.profile().password.size(), 31u);
  EXPECT_EQ(editor.profile().description.size(), 255u);
}

TEST_F(EditorTest, AnExistingDatabaseThatDoesNotLoadIsRetiredBySaving) {
  EditorFields f = new_fields("broken");
  ASSERT_EQ(save_new(f), 0);
  test::sql_exec(profile_db_path(w.ctx, "broken"), "drop table corvio_info");
  EXPECT_EQ(save_new(f), 0);
  EXPECT_TRUE(w.ctx.fs.exists(profile_db_path(w.ctx, "broken") + ".bak"));
  EXPECT_TRUE(profile_load(w.ctx, "broken", true));
}

TEST_F(EditorTest, NumbersAreReadLikeTheDialogReadsThem) {
  EditorFields f = new_fields("n");
  f.port = "letters";
  ProfileEditor letters(w.ctx, config, new_profile_defaults(), true);
  ASSERT_EQ(letters.ok(f), 0);
  EXPECT_EQ(letters.profile().port, 0);
  EXPECT_EQ(profile_load(w.ctx, "n", false)->port, 5420);

  f.tag = "m";
  f.port = "70000";
  f.throttling.tx_unit_index = 9;
  f.throttling.rx_unit_index = -1;
  f.throttling.priority_index = -1;
  ProfileEditor big(w.ctx, config, new_profile_defaults(), true);
  ASSERT_EQ(big.ok(f), 0);
  EXPECT_EQ(big.profile().port, 4464);
  EXPECT_EQ(big.profile().tx_limit_unit.load(), 1u);
  EXPECT_EQ(big.profile().rx_limit_unit.load(), 1u);
  EXPECT_EQ(big.profile().thread_priority.load(), 1u);
}

TEST_F(EditorTest, DelayAndRateLimits) {
  EditorFields f = new_fields("d");
  f.throttling.file_delay = "10000";
  f.throttling.block_delay = "10000";
  EXPECT_EQ(save_new(f), 0);
  f.tag = "e";
  f.throttling.file_delay = "10001";
  EXPECT_EQ(save_new(f), 1);
  f.throttling.file_delay = "-1";  // compared unsigned: far above the limit
  EXPECT_EQ(save_new(f), 1);
  f.throttling.file_delay = "0";
  f.throttling.block_delay = "10001";
  EXPECT_EQ(save_new(f), 1);
  f.throttling.block_delay = "0";
  f.throttling.tx_limit = true;
  f.throttling.tx_rate = "0";
  EXPECT_EQ(save_new(f), 1);
  f.throttling.tx_limit = false;
  f.throttling.rx_limit = true;
  f.throttling.rx_rate = "0";
  EXPECT_EQ(save_new(f), 1);
  EXPECT_EQ(shown_once(),
            (std::vector<ShownMessage>{
                {"Maximum delay between files is 10000ms (10 seconds)", "Delay Error"},
                {"Maximum delay between files is 10000ms (10 seconds)", "Delay Error"},
                {"Maximum delay between blocks is 10000ms (10 seconds)", "Delay Error"},
                {"TX throttle rate value must be at least 1", "TX Rate Error"},
                {"RX throttle rate value must be at least 1", "RX Rate Error"}}));
  f.throttling.rx_limit = false;  // a rate of 0 with its limit off is fine
  EXPECT_EQ(save_new(f), 0);
  EXPECT_FALSE(w.ctx.fs.exists(w.ctx.profile_dir("e") + "/e.cfg.bak"));
}

TEST_F(EditorTest, RuleDialogChecks) {
  const char* title = "Can't Add Include/Exclude";
  std::vector<RuleRow> rows;
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "", true, -1), 1);
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/tmp/*.tmp", true, -1), 1);
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/tmp/a?", true, -1), 1);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/tmp/*.tmp", false, -1), 0);
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/data", true, -1), 0);
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/data", false, -1), 1);  // duplicate in either mode
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/Data", true, -1), 0);   // case counts on POSIX
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/data", false, 1), 0);   // editing keeps its path
  EXPECT_EQ(rows, (std::vector<RuleRow>{
                      {"Exclude", "/tmp/*.tmp"}, {"Exclude", "/data"}, {"Include", "/Data"}}));
  auto shown = shown_once();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].text,
            "Error - A filespec must be entered.  If you don't want to\nadd a "
            "filespec, use the Cancel button instead.");
  EXPECT_EQ(shown[1].text,
            "Error - Wildcards (* and ?) are supported only in exclude "
            "rules.\nInclude rules do not yet support wildcards.");
  EXPECT_EQ(shown[3].text,
            "Error - An existing include/exclude rule already has this\npath or "
            "filename listed as an include or exclude.");
  for (auto& m : shown) EXPECT_EQ(m.title, title);

  // The rule field takes 259 characters.
  EXPECT_EQ(rule_dialog_ok(w.ctx, rows, "/" + std::string(300, 'x'), true, -1), 0);
  EXPECT_EQ(rows.back().path.size(), 259u);
}

// A rule that does not name the same files wherever a run starts is refused with the reason;
// an exclude pattern that begins with a wildcard matches anywhere and may stay.
TEST_F(EditorTest, RulesMustBeAbsolutePaths) {
  struct Case {
    bool windows;
    const char* path;
    bool include;
    bool accepted;
  };
  const Case cases[] = {
      {false, "src", true, false},        {false, "~/docs", true, false},
      {false, "./src/sub/", true, false}, {false, "cache/", false, false},
      {false, "/home/a", true, true},     {false, "*.tmp", false, true},
      {false, "?cache", false, true},     {true, "C:\\Data", true, true},
      {true, "d:", true, true},           {true, "\\\\nas\\share", true, true},
      {true, "C:Data", true, false},      {true, "Data\\sub", false, false},
      {true, "\\Data", true, false},    {true, "*\\Temp\\", false, true},
  };
  for (const Case& c : cases) {
    Context ctx = w.context_in_style(c.windows);
    std::vector<RuleRow> rows;
    EXPECT_EQ(rule_dialog_ok(ctx, rows, c.path, c.include, -1), c.accepted ? 0 : 1) << c.path;
    EXPECT_EQ(rows.size(), c.accepted ? 1u : 0u) << c.path;
  }
  auto shown = shown_once();
  ASSERT_EQ(shown.size(), 7u);
  EXPECT_EQ(shown[0].title, "Can't Add Include/Exclude");
  EXPECT_EQ(shown[0].text,
            "Error - The path must be absolute (/...), so that a run backs up the same\nfiles "
            "wherever it starts. An exclude rule may also begin with * or ?.\nsrc");
  EXPECT_NE(shown[4].text.find("(C:\\...)"), std::string::npos) << shown[4].text;
}

TEST_F(EditorTest, DuplicateRuleTestFoldsCaseUnderTheWindowsStyle) {
  std::vector<RuleRow> rows = {{"Include", "C:\\Data"}, {"Exclude", "C:\\Temp\\*.tmp"}};
  PathStyle win = PathStyle::windows();
  EXPECT_TRUE(rule_list_has_path(win, rows, "c:\\data", -1));
  EXPECT_FALSE(rule_list_has_path(win, rows, "c:\\data", 0));
  EXPECT_TRUE(rule_list_has_path(win, rows, "C:\\TEMP\\*.TMP", -1));
  EXPECT_FALSE(rule_list_has_path(PathStyle::posix(), rows, "c:\\data", -1));
}

TEST_F(EditorTest, RulesAreStoredInScreenOrderAndReopenIncludesFirst) {
  EditorFields f = new_fields("r");
  f.rules = {{"Exclude", "*.bak"}, {"Include", "/b"}, {"Exclude", "*.tmp"}, {"Include", "/a"}};
  ASSERT_EQ(save_new(f), 0);
  auto p = profile_load(w.ctx, "r", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->include_rules, (std::vector<std::string>{"/b", "/a"}));
  EXPECT_EQ(p->exclude_rules, (std::vector<std::string>{"*.bak", "*.tmp"}));
  EXPECT_EQ(editor_fields(*p).rules,
            (std::vector<RuleRow>{
                {"Include", "/b"}, {"Include", "/a"}, {"Exclude", "*.bak"}, {"Exclude", "*.tmp"}}));
}

TEST_F(EditorTest, EditingSavesOverTheSameTagAndAFailedCheckStoresNothing) {
  ASSERT_EQ(save_new(new_fields("x")), 0);
  auto loaded = profile_load(w.ctx, "x", false);
  EditorFields f = editor_fields(*loaded);
  f.description = "changed";
  f.throttling.file_delay = "20000";
  ProfileEditor editor(w.ctx, config, std::move(loaded), false);
  EXPECT_EQ(editor.ok(f), 1);
  EXPECT_FALSE(editor.saved());
  EXPECT_FALSE(w.ctx.fs.exists(profile_db_path(w.ctx, "x") + ".bak"));
  f.throttling.file_delay = "0";
  EXPECT_EQ(editor.ok(f), 0);  // the same tag is not a duplicate when editing
  EXPECT_TRUE(editor.saved());
  EXPECT_EQ(profile_load(w.ctx, "x", false)->description, "changed");
}

}  // namespace
}  // namespace corvio
