// SPDX-License-Identifier: Apache-2.0
// The main window, the profile editor and the rule dialog, driven as a user would.
#include "ui/qt/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <filesystem>

#include "engine/run_log.h"
#include "platform/text_file.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "qt_test_support.h"
#include "support/test_world.h"
#include "ui/qt/prompts.h"

namespace corvio::ui::qt {
namespace {

using namespace test;

// Start-up's other subsystems, which these windows never reach.
struct NoServices : Services, FrontEnd {
  int md5cache_open(Context&) override { return 0; }
  void md5cache_close() override {}
  int tls_init(const Context&) override { return 0; }
  int run_main_window(Application&) override { return 0; }
  int run_progress_window(Application&) override { return 0; }
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Prompts::set_scripted(true);
    app.context().data_dir = w.dir.path();
    ASSERT_EQ(app.config().open(), 0);
    ASSERT_EQ(app.config().load_profiles(), 0);
    std::filesystem::create_directories(w.dir.file("src"));
  }
  void TearDown() override {
    app.config().close();
    Prompts::set_scripted(false);
  }

  QTreeWidget* list(QWidget* window) { return control<QTreeWidget>(window, "1001"); }
  bool row_buttons_enabled(QWidget* window) {
    return control<QPushButton>(window, "1")->isEnabled() &&
           control<QPushButton>(window, "1055")->isEnabled() &&
           control<QPushButton>(window, "1033")->isEnabled();
  }
  bool row_buttons_disabled(QWidget* window) {
    return !control<QPushButton>(window, "1")->isEnabled() &&
           !control<QPushButton>(window, "1055")->isEnabled() &&
           !control<QPushButton>(window, "1033")->isEnabled();
  }
  // Clicks OK in the dialog and returns the boxes it showed.
  std::vector<ShownBox> ok_shows(QDialog* dialog) {
    click(dialog, "1");
    return Prompts::take_shown();
  }

  corvio::test::TestWorld w;
  NoServices none;
  Application app{real_file_system(), w.clock, w.messages, w.display,
                  PathStyle::posix(), none,    none};
};

// The rule dialog: type a rule, pick its mode and press OK; the boxes it showed.
std::vector<ShownBox> add_rule(QDialog* rule_dialog, const QString& text, int mode) {
  type(rule_dialog, "1059", text);
  control<QComboBox>(rule_dialog, "1061")->setCurrentIndex(mode);
  click(rule_dialog, "1");
  return Prompts::take_shown();
}

TEST_F(MainWindowTest, ProfilesAreCreatedEditedRunAndDeletedThroughTheWindows) {
  const std::string src = w.dir.file("src");
  auto window = std::make_unique<MainWindow>(app);
  window->show();
  QTreeWidget* rows = list(window.get());
  EXPECT_EQ(window->windowTitle(), "Meridane Online Backup");
  EXPECT_EQ(rows->topLevelItemCount(), 0);
  EXPECT_EQ(rows->headerItem()->text(2), "Last Run");
  EXPECT_EQ(rows->columnWidth(0), 90);
  EXPECT_EQ(rows->columnWidth(1), 310);
  EXPECT_TRUE(row_buttons_disabled(window.get()));
  EXPECT_TRUE(control<QPushButton>(window.get(), "1002")->isEnabled());

  // New: the editor refuses each fault in turn, keeping what was typed, then saves.
  bool editor_done = false;
  on_next_modal([&](QDialog* editor) {
    EXPECT_EQ(editor->windowTitle(), "New Backup Profile");
    EXPECT_TRUE(control<QLineEdit>(editor, "1005")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(editor, "1049")->text(), "5420");
    EXPECT_TRUE(control<QCheckBox>(editor, "1065")->isChecked());
    EXPECT_FALSE(control<QPushButton>(editor, "1055")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(editor, "1064")->isEnabled());
    type(editor, "1005", "bad tag");
    type(editor, "1004", "Home files");
    type(editor, "1046", "anna");
    type(editor, "1047", "s3cret");
    EXPECT_EQ(ok_shows(editor),
              (std::vector<ShownBox>{{"Profile tags may only consist of letters, numbers,\n"
                                      "dashes or underscores.",
                                      "Unable to create profile"}}));
    type(editor, "1005", "My-Home");

    // Rules: a wildcard include is refused and goes in as an exclude; the include comes
    // from the folder chooser; the same path again is a duplicate.
    on_next_modal([&](QDialog* rule) {
      EXPECT_EQ(rule->windowTitle(), "Include / Exclude");
      EXPECT_EQ(add_rule(rule, "*.tmp", 0),
                (std::vector<ShownBox>{{"Error - Wildcards (* and ?) are supported only in "
                                        "exclude rules.\nInclude rules do not yet support "
                                        "wildcards.",
                                        "Can't Add Include/Exclude"}}));
      EXPECT_TRUE(add_rule(rule, "*.tmp", 1).empty());
    });
    click(editor, "1053");
    on_next_modal([&](QDialog* rule) {
      Prompts::set_next_folder("");  // cancelled: the text stays
      type(rule, "1059", "typed");
      click(rule, "1060");
      EXPECT_EQ(control<QLineEdit>(rule, "1059")->text(), "typed");
      Prompts::set_next_folder(QString::fromStdString(src));
      click(rule, "1060");
      EXPECT_EQ(control<QLineEdit>(rule, "1059")->text(), QString::fromStdString(src));
      click(rule, "1");
    });
    click(editor, "1053");
    on_next_modal([&](QDialog* rule) {
      Prompts::set_next_file(QString::fromStdString(src));
      click(rule, "1063");
      control<QComboBox>(rule, "1061")->setCurrentIndex(1);
      EXPECT_EQ(ok_shows(rule),
                (std::vector<ShownBox>{{"Error - An existing include/exclude rule already "
                                        "has this\npath or filename listed as an include or "
                                        "exclude.",
                                        "Can't Add Include/Exclude"}}));
      screenshot(rule, "rule-dialog");
      click(rule, "2");
    });
    click(editor, "1053");
    EXPECT_EQ(list(editor)->topLevelItemCount(), 2);

    type(editor, "1042", "10001");
    EXPECT_EQ(ok_shows(editor), (std::vector<ShownBox>{{"Maximum delay between files is "
                                                        "10000ms (10 seconds)",
                                                        "Delay Error"}}));
    type(editor, "1042", "10000");
    control<QCheckBox>(editor, "1040")->setChecked(true);
    type(editor, "1036", "0");
    EXPECT_EQ(ok_shows(editor), (std::vector<ShownBox>{{"TX throttle rate value must be at "
                                                        "least 1",
                                                        "TX Rate Error"}}));
    type(editor, "1036", "8");
    screenshot(editor, "profile-editor");
    EXPECT_TRUE(ok_shows(editor).empty());
    EXPECT_FALSE(editor->isVisible());
    editor_done = true;
  });
  click(window.get(), "1002");
  ASSERT_TRUE(editor_done);

  ASSERT_EQ(rows->topLevelItemCount(), 1);
  EXPECT_EQ(rows->topLevelItem(0)->text(0), "my-home");
  EXPECT_EQ(rows->topLevelItem(0)->text(1), "Home files");
  EXPECT_EQ(rows->topLevelItem(0)->text(2), "");
  EXPECT_TRUE(row_buttons_disabled(window.get()));
  ASSERT_EQ(app.config().profile_list().size(), 1u);
  {
    std::unique_ptr<Profile> saved = profile_load(app.context(), "my-home", true);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->include_rules, std::vector<std::string>{src});
    EXPECT_EQ(saved->exclude_rules, std::vector<std::string>{"*.tmp"});
    EXPECT_EQ(saved->file_delay_ms.load(), 10000u);
    EXPECT_EQ(saved->tx_limit_enabled.load(), 1u);
    EXPECT_EQ(saved->tx_limit_rate.load(), 8u);
  }

  // Only clicks change the buttons: a row enables them, the empty area disables them, the
  // keyboard does neither.
  click_row(rows, -1);
  QTest::keyClick(rows, Qt::Key_Down);
  EXPECT_TRUE(row_buttons_disabled(window.get()));
  click_row(rows, 0);
  EXPECT_TRUE(row_buttons_enabled(window.get()));
  click_row(rows, -1);
  EXPECT_TRUE(row_buttons_disabled(window.get()));
  click_row(rows, 0);

  // Edit: the tag cannot change; includes are listed first; a removed rule stays removed.
  on_next_modal([&](QDialog* editor) {
    EXPECT_FALSE(control<QLineEdit>(editor, "1005")->isEnabled());
    QTreeWidget* rules = list(editor);
    ASSERT_EQ(rules->topLevelItemCount(), 2);
    EXPECT_EQ(rules->topLevelItem(0)->text(0), "Include");
    EXPECT_EQ(rules->topLevelItem(1)->text(1), "*.tmp");
    click_row(rules, 1);
    click(editor, "1054");
    type(editor, "1004", "Laptop");
    click(editor, "1");
  });
  click(window.get(), "1055");
  EXPECT_EQ(rows->topLevelItem(0)->text(1), "Laptop");
  EXPECT_TRUE(profile_load(app.context(), "my-home", true)->exclude_rules.empty());
  EXPECT_EQ(app.config().profile_list()[0].description, "Laptop");

  on_next_modal([&](QDialog* about) {
    EXPECT_EQ(about->windowTitle(), "About Corvio");
    EXPECT_EQ(control<QLabel>(about, "1045")->text(), "v0.13.0004 for Windows Vista and 7");
    click(about, "1");
  });
  click(window.get(), "1035");
  click(window.get(), "1036");
  EXPECT_EQ(
      Prompts::take_shown(),
      (std::vector<ShownBox>{{"Online help is not yet available.", "Meridane Online Backup"}}));

  // A double click on the row loads its profile for a run and ends the window.
  click_row(rows, 0, true);
  EXPECT_TRUE(window->chosen());
  EXPECT_FALSE(window->isVisible());
  ASSERT_TRUE(app.session().profile);
  EXPECT_EQ(app.session().profile->tag, "my-home");

  // The profile's run was cancelled: a new main window says so in its Last Run column.
  {
    FileHandle log = open_crlf_text_file(run_log_path(app.context(), "my-home", 1));
    ASSERT_TRUE(log);
    write_log_cancelled(log.get());
  }

  // Delete, in a new main window: the row goes at once, the database becomes its backup.
  window = std::make_unique<MainWindow>(app);
  window->show();
  rows = list(window.get());
  ASSERT_EQ(rows->topLevelItemCount(), 1);
  EXPECT_EQ(rows->topLevelItem(0)->text(2), "cancelled");
  click_row(rows, 0);
  click(window.get(), "1033");
  EXPECT_EQ(rows->topLevelItemCount(), 0);
  EXPECT_TRUE(row_buttons_disabled(window.get()));
  EXPECT_TRUE(app.config().profile_list().empty());
  EXPECT_TRUE(std::filesystem::exists(profile_db_path(app.context(), "my-home") + ".bak"));
  click(window.get(), "2");
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->chosen());
}

}  // namespace
}  // namespace corvio::ui::qt
