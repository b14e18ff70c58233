// SPDX-License-Identifier: Apache-2.0
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "catalog/catalog.h"
#include "catalog/run_list.h"
#include "engine_fixture.h"
#include "reliability/sqlite_kill_switch.h"
#include "support/sql_rows.h"
#include "util/md5_hex.h"

namespace corvio::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class BackupRunTest : public EngineFixture {
 protected:
  // A tree with the shapes a backup must carry over exactly.
  void make_tree() {
    write_file(source("empty"), "");
    write_file(source("one_block.bin"), pattern(1048576, 1));
    write_file(source("two_blocks.bin"), pattern(1048577, 2));
    write_file(source("name with spaces.txt"), "spaces");
    write_file(source("caf\xc3\xa9 \xff\xfe.txt"), "non-ASCII bytes");
    write_file(source(".hidden"), "hidden");
    write_file(source("Case.txt"), "upper");
    write_file(source("case.txt"), "lower");
    std::string deep = source("d");
    for (int i = 0; i < 20; ++i) deep += "/d" + std::to_string(i);
    fs::create_directories(deep);
    write_file(deep + "/leaf.txt", "deep");
    ::mkfifo(source("fifo").c_str(), 0600);
    fs::create_directory_symlink("/etc", source("etc-link"));
    fs::create_symlink(source("case.txt"), source("file-link"));
    // Excluded by the rules below.
    write_file(source("skip.tmp"), "x");
    fs::create_directories(source("cache/inner"));
    write_file(source("cache/inner/c.bin"), "cached");
    write_file(source("big"), "big");
    write_file(source("bigger.txt"), "bigger");
    profile.exclude_rules = {"*.tmp", source("cache/"), source("big")};
  }

  // What a restore of the tree must give back.
  std::map<std::string, std::string> expected_tree() {
    std::map<std::string, std::string> tree = tree_of(source());
    for (const char* gone :
         {"skip.tmp", "cache/inner", "cache/inner/c.bin", "big", "bigger.txt", "fifo"}) {
      tree.erase(gone);
    }
    return tree;
  }

  void expect_restores(uint32_t catalog, const std::map<std::string, std::string>& expected) {
    std::string to, err;
    ASSERT_EQ(restore(catalog, &to, &err), 0) << err;
    EXPECT_EQ(tree_difference(expected, tree_of(to + source())), "");
    EXPECT_EQ(mtime_of(to + source("two_blocks.bin")), mtime_of(source("two_blocks.bin")));
  }
};

TEST_F(BackupRunTest, FirstRunThenUnchangedThenChangedThenLostBlock) {
  make_tree();
  ASSERT_TRUE(serve());

  // First run: everything is read and stored.
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(messages.shown(),
            (std::vector<ShownMessage>{{"Backup Completed!", "Meridane Online Backup"}}));
  const BackupStats& st = session.stats;
  EXPECT_EQ(st.files, 9u);          // every regular file walked, the excluded ones not
  EXPECT_EQ(st.files_scanned, 8u);  // all but the empty one
  EXPECT_EQ(st.files_skipped, 1u);
  EXPECT_EQ(st.special_files, 3u);  // the FIFO and both links
  EXPECT_EQ(st.errors, 0u);
  EXPECT_EQ(st.warnings, 0u);
  std::string log = log_text();
  const std::string src = source();
  EXPECT_TRUE(
      log.starts_with("Meridane Network Backup Log\nBackup Set:  home\nDescription: Home "
                      "files\n\nServer:      localhost:"));
  EXPECT_TRUE(contains(log, src + " : 0 : Dir ()\n"));
  EXPECT_TRUE(contains(log, src + "/two_blocks.bin : 1048577 : File (A) (1/2)  upload... OK\n"
                                  "(2/2)  upload... OK\n"));
  EXPECT_TRUE(contains(log, src + "/one_block.bin : 1048576 : File (A)  upload... OK\n"));
  EXPECT_TRUE(contains(log, src + "/.hidden : 6 : File (AH)  upload... OK\n"));
  EXPECT_TRUE(contains(log, src + "/empty : 0 : File (A)\n"));
  EXPECT_TRUE(contains(log, src + "/fifo : 0 : Unknown ()\n"));
  EXPECT_TRUE(contains(log, "Excluding: " + src + "/skip.tmp\n"));
  EXPECT_TRUE(contains(log, "Excluding: " + src + "/big\n"));
  EXPECT_TRUE(contains(log, "Excluding: " + src + "/bigger.txt\n"));
  EXPECT_TRUE(contains(log, src + "/cache : 0 : Dir ()\nExcluding files in this directory.\n"));
  EXPECT_FALSE(contains(log, "c.bin"));
  EXPECT_FALSE(contains(log, "/etc/"));  // the link to a directory is never followed
  EXPECT_TRUE(contains(
      log, "\nBackup completed!\n\nBackup Stats:\n" + std::string(46, '-') + "\nDirectories:    "));
  EXPECT_TRUE(contains(log, "Special Files:  3\nFiles:          9\n"));
  EXPECT_TRUE(log.ends_with("Errors:         0\n\nBackup completed in 0.0 minutes.\n\n"));
  const auto expected = expected_tree();
  expect_restores(catalogs.back(), expected);

  // Second run, nothing changed: no file is read, every block is only referenced.
  clock.advance_ms(3600 * 1000);
  messages.clear();
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(st.files_scanned, 0u);
  EXPECT_EQ(st.files_skipped, 9u);
  EXPECT_EQ(st.segs_stored, 1u);  // the catalog only
  EXPECT_EQ(st.bytes_skipped, st.bytes_total - fs::file_size(session.catalog_path));
  log = log_text();
  EXPECT_TRUE(contains(log, src + "/two_blocks.bin : 1048577 : File (A) skipped.\n"));
  EXPECT_FALSE(contains(log, "upload... OK\n(")) << log;
  expect_restores(catalogs.back(), expected);

  // Third run: one file changed in place, same size, later write time. Only it is read.
  write_file(source("case.txt"), "LOWER");
  const auto later = fs::last_write_time(source("case.txt")) + std::chrono::seconds(30);
  fs::last_write_time(source("case.txt"), later);
  clock.advance_ms(3600 * 1000);
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(st.files_scanned, 1u);
  EXPECT_TRUE(contains(log_text(), src + "/case.txt : 5 : File (A)  upload... OK\n"));
  expect_restores(catalogs.back(), expected_tree());

  // Fourth run: the server has lost the second block of two_blocks.bin. Its reference is
  // refused, so the file is read and the block stored again.
  const std::string bytes = pattern(1048577, 2);
  lose_block(md5_to_hex(md5_digest(bytes.data() + 1048576, 1)), 1);
  clock.advance_ms(3600 * 1000);
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(st.files_scanned, 1u);
  EXPECT_EQ(st.segs_stored, 2u);  // the lost block and the catalog
  EXPECT_TRUE(contains(log_text(), src + "/two_blocks.bin : 1048577 : File (A) (1/2)  exists.\n"
                                         "(2/2)  upload... OK\n"));
  expect_restores(catalogs.back(), expected_tree());
}

TEST_F(BackupRunTest, FilesThatFailOrChangeAreReportedAndTheRunCompletes) {
  write_file(source("ok.txt"), "fine");
  write_file(source("unreadable.txt"), "secret");
  write_file(source("broken.bin"), pattern(3 * 1048576, 3));
  write_file(source("growing.log"), pattern(1048576 + 1000, 4));
  fs.fail_open.insert(source("unreadable.txt"));
  fs.fail_read_after[source("broken.bin")] = 1048576 + 5;
  fs.grow_on_read[source("growing.log")] = pattern(1048576, 5);
  fs.fail_list.insert(source("sub"));
  fs::create_directories(source("sub"));
  write_file(source("sub/never.txt"), "x");
  write_file(source("locked.txt"), "listed, not examined");
  fs.unexaminable["locked.txt"] = "Permission denied";
  ASSERT_TRUE(serve());

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  const BackupStats& st = session.stats;
  EXPECT_EQ(st.errors, 2u);    // the unreadable file and the broken read
  EXPECT_EQ(st.warnings, 3u);  // the grown file, the unlisted folder, the unexamined entry
  EXPECT_EQ(st.files_scanned, 2u);
  const std::string log = log_text();
  const std::string src = source();
  EXPECT_TRUE(contains(log, src + "/unreadable.txt : 6 : File (A)\nError: couldn't read file: " +
                                src + "/unreadable.txt\n"));
  EXPECT_TRUE(contains(log, "Warning: Couldn't examine " + src + "/locked.txt: Permission denied\n"));
  EXPECT_TRUE(
      contains(log, "(1/3)  upload... OK\nError: couldn't read file: " + src + "/broken.bin\n"));
  // Read no further than the block that reaches the size it was counted with.
  EXPECT_TRUE(contains(log, "Warning: File changed while it was read: " + src +
                                "/growing.log (2097152 bytes read of 1049576)\n"));
  EXPECT_TRUE(contains(log, "Warning: Failed to list directory: " + src + "/sub\n"));
  EXPECT_TRUE(contains(log, "Errors:         2\n"));

  // The catalog lists only what it has in full: the grown file as read, not the others.
  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  auto restored = tree_of(to + src);
  EXPECT_EQ(restored["ok.txt"], "fine");
  EXPECT_EQ(restored["growing.log"], read_file(source("growing.log")).substr(0, 2097152));
  EXPECT_EQ(restored.count("unreadable.txt"), 0u);
  EXPECT_EQ(restored.count("broken.bin"), 0u);

  // Nothing of the failed or changed files was cached: the next run reads them again.
  fs.fail_open.clear();
  fs.fail_read_after.clear();
  fs.grow_on_read.clear();
  fs.fail_list.clear();
  fs.unexaminable.clear();
  clock.advance_ms(3600 * 1000);
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(st.errors, 0u);
  // unreadable.txt, broken.bin, growing.log, sub/never.txt, locked.txt
  EXPECT_EQ(st.files_scanned, 5u);
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(tree_difference(tree_of(src), tree_of(to + src)), "");
}

// A name cannot forge a line of the log: its control characters are escaped, other names are
// written as they are. The program's own data directory is left out when a rule covers it.
TEST_F(BackupRunTest, NamesCannotForgeLogLinesAndTheDataDirectoryIsLeftOut) {
  const std::string forged = "report.txt\nError: couldn't read file: x";
  write_file(source(forged), "r");
  fs.fail_open.insert(source(forged));
  write_file(source("caf\xc3\xa9 \xff.txt"), "kept");
  profile.include_rules = {dir.path(), dir.file("data/Profiles")};
  profile.exclude_rules = {store()};
  ASSERT_TRUE(serve());

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  const std::string log = log_text();
  const std::string src = source(), escaped = src + "/report.txt\\x0aError: couldn't read file: x";
  EXPECT_TRUE(contains(log, escaped + " : 1 : File (A)\nError: couldn't read file: " + escaped +
                                "\n"))
      << log;
  EXPECT_FALSE(contains(log, "\nError: couldn't read file: x"));
  EXPECT_TRUE(contains(log, "\n" + src + "/caf\xc3\xa9 \xff.txt : 4 : File (A)"));
  EXPECT_TRUE(contains(log, "\nExcluding: " + dir.file("data") + "\n"));
  EXPECT_TRUE(contains(log, "\nExcluding: " + dir.file("data/Profiles") + "\n"));
  EXPECT_FALSE(contains(log, dir.file("data/Profiles/home")));

  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(read_file(to + source("caf\xc3\xa9 \xff.txt")), "kept");
  EXPECT_FALSE(fs::exists(to + dir.file("data")));
  EXPECT_EQ(sql_rows(session.catalog_path, "select count(*) from filespec where filename_full like '" +
                                               dir.file("data") + "%'"),
            (std::vector<SqlRow>{{"0"}}));
}

// New content of the same size under the old write time (a restore, touch -d) is read again:
// the change time moved. The catalog keeps the file's own write time.
// A writer that appends a block for every block read: the file is read as far as the size it
// was counted with, the run ends, and says the file grew.
TEST_F(BackupRunTest, AFileWrittenFasterThanItIsReadIsReadToItsCountedSize) {
  const std::string counted = pattern(3 * 1048576, 11);
  write_file(source("busy.log"), counted);
  int appended = 0;
  fs.on_read = [&](const std::string& path) {
    if (path == source("busy.log") && ++appended < 40) {
      std::ofstream(path, std::ios::app) << pattern(1048576, 12 + appended);
    }
  };
  ASSERT_TRUE(serve());
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, "(3/3)  upload... OK\nWarning: File grew while it was read: " +
                                source("busy.log") + " (3145728 bytes read; now "));
  EXPECT_FALSE(contains(log, "(4/3)"));
  EXPECT_EQ(session.stats.warnings, 1u);
  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(read_file(to + source("busy.log")), counted);
}

// Include rules that are links: a link to a folder is followed and the folder recorded under
// the rule's own path; a link whose target is missing is a warning. Links below a rule are
// still never followed, and a link to a file is listed, as it is below a rule.
TEST_F(BackupRunTest, AnIncludeRuleThatIsALinkIsFollowed) {
  fs::create_directories(source("real/inner"));
  write_file(source("real/a.txt"), "aaa");
  write_file(source("real/inner/b.txt"), "bbb");
  write_file(source("notes.txt"), "notes");
  fs::create_directory_symlink(source("real"), source("Documents"));
  fs::create_directory_symlink(source("real/inner"), source("real/loop"));
  fs::create_symlink(source("notes.txt"), source("notes.link"));
  fs::create_symlink(source("gone"), source("dangling"));
  profile.include_rules = {source("Documents"), source("notes.link"), source("dangling")};
  ASSERT_TRUE(serve());

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, source("Documents") + " : 0 : Dir ()\n"));
  EXPECT_TRUE(contains(log, source("Documents/a.txt") + " : 3 : File (A)  upload... OK\n"));
  EXPECT_TRUE(contains(log, source("Documents/loop") + " : 0 : Unknown ()\n"));
  EXPECT_TRUE(contains(log, source("notes.link") + " : 0 : Unknown ()\n"));
  EXPECT_TRUE(contains(log, "Warning: Include rule is a link whose target is missing: " +
                                source("dangling") + "\n"));
  EXPECT_EQ(session.stats.warnings, 1u);
  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(read_file(to + source("Documents/a.txt")), "aaa");
  EXPECT_EQ(read_file(to + source("Documents/inner/b.txt")), "bbb");
  EXPECT_FALSE(fs::exists(to + source("Documents/loop/b.txt")));
}

TEST_F(BackupRunTest, ARewriteThatKeepsSizeAndWriteTimeIsReadAgain) {
  write_file(source("same.txt"), "first version");
  ASSERT_TRUE(serve());
  ASSERT_EQ(run(), RunOutcome::kCompleted);

  const auto written = fs::last_write_time(source("same.txt"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // the change time counts seconds
  write_file(source("same.txt"), "other version");
  fs::last_write_time(source("same.txt"), written);
  clock.advance_ms(3600 * 1000);
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_FALSE(contains(log_text(), "same.txt : 13 : File (A) skipped.")) << log_text();
  EXPECT_EQ(session.stats.files_scanned, 1u);

  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(read_file(to + source("same.txt")), "other version");
  EXPECT_EQ(mtime_of(to + source("same.txt")), mtime_of(source("same.txt")));

  // Untouched since, it is skipped again.
  clock.advance_ms(3600 * 1000);
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_TRUE(contains(log_text(), "same.txt : 13 : File (A) skipped.")) << log_text();
}

// Rules that would depend on the directory a run starts in, put into a profile by hand, are
// not followed; each is a counted warning, not a silent success.
TEST_F(BackupRunTest, RelativeRulesInAProfileAreWarnings) {
  write_file(source("a.txt"), "a");
  profile.include_rules = {source(), "src", "./src/sub/"};
  profile.exclude_rules = {"a.txt", "*.tmp"};
  ASSERT_TRUE(serve());

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(session.stats.warnings, 3u);
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, "Warning: Exclude rule is not an absolute path and matches nothing: "
                            "a.txt\n"));
  EXPECT_TRUE(contains(log, "Warning: Include rule is not an absolute path, not backed up: src\n"));
  EXPECT_TRUE(
      contains(log, "Warning: Include rule is not an absolute path, not backed up: ./src/sub/\n"));
  EXPECT_TRUE(contains(log, "Warnings:       3\n"));
  EXPECT_EQ(session.stats.files, 1u);  // a.txt, under the absolute rule
}

TEST_F(BackupRunTest, APathBeyondTheLimitIsSkippedWithAWarningNeverCut) {
  const std::string deep =
      source(std::string(250, 'a') + "/" + std::string(250, 'b') + "/" + std::string(250, 'c'));
  fs::create_directories(deep);
  const std::string too_long = deep + "/" + std::string(1023 - deep.size(), 'x') + "y";
  write_file(too_long, "not backed up");
  write_file(deep + "/short", "backed up");
  ASSERT_TRUE(serve());

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(session.stats.warnings, 1u);
  EXPECT_EQ(session.stats.files, 1u);
  EXPECT_TRUE(contains(log_text(), "Warning: Path too long, not backed up: " + too_long + "\n"));
  EXPECT_EQ(sql_rows(session.catalog_path,
                     "select count(*) from filespec where length(filename_full) > 1023"),
            (std::vector<SqlRow>{{"0"}}));
}

// A run whose catalog cannot be created, fails part way (every later statement fails too, as
// on a full disk) or does not reach the server ends as failed, with one failure box after the
// first SQL error at most, and says so in its status, its log, the run listing and its catalog.
TEST_F(BackupRunTest, ARunWhoseCatalogIsNotWrittenOrUploadedEndsAsFailed) {
  for (int i = 0; i < 300; ++i) write_file(source("f" + std::to_string(i)), "same");
  ASSERT_TRUE(serve());
  const std::string not_uploaded =
      "The backup ran, but its catalog could not be uploaded to the server, so this run cannot "
      "be restored.";
  struct Case {
    const char* name;
    std::function<void(const std::string& catalog)> fault;
    std::string first_box;  // how the title of the box before the run's begins, if any
    std::string reason;
  };
  const Case cases[] = {
      {"a folder in the catalog's place",
       [](const std::string& catalog) { fs::create_directories(catalog); }, "Blah!",
       kCatalogUnwritten},
      // The disk fills up part way: every later write of the catalog fails.
      {"writes failing part way",
       [](const std::string& catalog) { fail_sqlite_writes_from(catalog, 150); },
       "SQL Error in catalog_", kCatalogUnwritten},
      {"the upload cannot read it",
       [this](const std::string& catalog) { fs.fail_open = {catalog}; }, "", not_uploaded},
  };
  uint32_t number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string catalog = Catalog::path_for(ctx, "home", ++number);
    c.fault(catalog);
    messages.clear();

    EXPECT_EQ(run(), RunOutcome::kFailed);
    fs.fail_open.clear();
    stop_sqlite_faults();
    ASSERT_EQ(catalogs.back(), number);
    // One box for the first failure (which statement meets the full disk first is SQLite's
    // business), then the run's.
    ASSERT_EQ(messages.shown().size(), c.first_box.empty() ? 1u : 2u);
    EXPECT_TRUE(messages.shown().front().title.starts_with(c.first_box));
    EXPECT_EQ(messages.shown().back().title, "Backup Failure");
    EXPECT_EQ(messages.shown().back().text, c.reason);
    EXPECT_EQ(view.status(), "Backup Failed!");
    EXPECT_TRUE(log_text().ends_with("\n\nBackup failed: " + c.reason + "\n")) << log_text();
    EXPECT_FALSE(contains(log_text(), "Backup completed!"));
    EXPECT_EQ(list_runs(ctx, "home").back().outcome, RunEnd::kFailed);
    if (fs::is_regular_file(catalog)) {
      EXPECT_EQ(sql_rows(catalog, "select type from corvio_info"), (std::vector<SqlRow>{{"129"}}));
    }
    if (c.reason == kCatalogUnwritten) {
      EXPECT_LT(session.stats.files_scanned, 300u);
    }
    std::string to;
    EXPECT_NE(restore(number, &to), 0);  // the server never got an end-of-run record
  }
}

TEST_F(BackupRunTest, RunsThroughServerFaultsAndRestoresExactly) {
  write_file(source("a.bin"), pattern(2 * 1048576 + 17, 7));
  write_file(source("b.txt"), "small");
  fs::create_directories(source("sub"));
  write_file(source("sub/c.bin"), pattern(1048576, 8));
  settings.session_timeout_ms = 500;  // the silent reply costs half a second
  ASSERT_TRUE(serve({"login=fe:2", "drop=4:2", "split=query:3", "silent=ref:1", "catalog-refuse=1",
                     "trailing=stored:2"}));

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  EXPECT_EQ(session.stats.errors, 0u);
  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(tree_difference(tree_of(source()), tree_of(to + source())), "");

  // Unchanged, through connections dropped every few messages.
  ASSERT_TRUE(restart({"drop=3:3", "store-status=01:1", "login=ff:1"}));
  clock.advance_ms(3600 * 1000);
  ASSERT_EQ(run(), RunOutcome::kCompleted);
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(tree_difference(tree_of(source()), tree_of(to + source())), "");
  std::string verify_out;
  EXPECT_EQ(run_server_command({"verify", "--store", store()}, "", &verify_out), 0) << verify_out;
}

TEST_F(BackupRunTest, CancelDuringTheSecondOfThreeRules) {
  for (const char* rule : {"one", "two", "three"}) {
    fs::create_directories(source(rule));
    write_file(source(std::string(rule) + "/f.txt"), rule);
  }
  profile.include_rules = {source("one"), source("two"), source("three")};
  fs.on_find = [this](const std::string& path) {
    if (path == source("two/f.txt")) session.cancel_requested = 1;
  };
  ASSERT_TRUE(serve());

  EXPECT_EQ(run(), RunOutcome::kCancelled);
  EXPECT_EQ(messages.shown(),
            (std::vector<ShownMessage>{{"Backup Cancelled!", "Meridane Online Backup"}}));
  EXPECT_EQ(view.status(), "Backup Cancelled!");
  const std::string log = log_text();
  EXPECT_TRUE(contains(log, source("one/f.txt")));
  EXPECT_FALSE(contains(log, source("three")));
  EXPECT_TRUE(log.ends_with("\n\nBackup cancelled!\n"));
  // Closed but not uploaded: still marked as being built, and unknown to the server's restore.
  EXPECT_EQ(sql_rows(session.catalog_path, "select type from corvio_info"),
            (std::vector<SqlRow>{{"129"}}));
  std::string to;
  EXPECT_NE(restore(catalogs.back(), &to), 0);
}

// A run nobody watches whose login the server starts refusing mid-run ends as failed, with
// the reason in its log and its catalog not uploaded.
TEST_F(BackupRunTest, AnUnattendedRunWhoseLoginIsRefusedMidRunEndsAsFailed) {
  write_file(source("a.txt"), "a");
  settings.give_up_after = 3;
  // The connection drops at the file's query (login, profile, catalog, query); by then the
  // password is wrong.
  fs.on_find = [this](const std::string& path) {
    if (path == source("a.txt")) session.profile->password = "wrong";
  };
  ASSERT_TRUE(serve({"drop=4:1"}));

  EXPECT_EQ(run(), RunOutcome::kFailed);
  const std::string reason = "Login failed! The server refused the login 3 times in a row.";
  EXPECT_EQ(messages.shown(), (std::vector<ShownMessage>{{reason, "Backup Failure"}}));
  EXPECT_EQ(view.status(), "Backup Failed!");
  EXPECT_TRUE(view.run_finished);
  EXPECT_TRUE(log_text().ends_with("\n\nBackup failed: " + reason + "\n")) << log_text();
  EXPECT_EQ(sql_rows(session.catalog_path, "select type from corvio_info"),
            (std::vector<SqlRow>{{"129"}}));
}

TEST_F(BackupRunTest, PauseHoldsTheRunUntilResumed) {
  for (int i = 0; i < 3; ++i) write_file(source("f" + std::to_string(i)), pattern(1000, i));
  fs.on_find = [this](const std::string& path) {
    if (path == source("f1")) session.pause_requested = 1;
  };
  uint64_t tx_when_paused = 0;
  int paused_polls = 0;
  clock.on_sleep = [&](uint32_t ms) {
    if (session.pause_requested != 1 || ms != settings.pause_poll_ms) return;
    if (paused_polls++ == 0) tx_when_paused = session.net_tx_bytes;
    EXPECT_EQ(session.net_tx_bytes, tx_when_paused);  // nothing is sent while paused
    EXPECT_EQ(view.status(), "Paused...");
    if (paused_polls == 50) session.pause_requested = 0;
  };
  ASSERT_TRUE(serve());

  ASSERT_EQ(run(), RunOutcome::kCompleted);
  clock.on_sleep = nullptr;
  EXPECT_EQ(paused_polls, 50);
  EXPECT_GT(session.net_tx_bytes, tx_when_paused);
  EXPECT_EQ(session.stats.files_scanned, 3u);
}

TEST_F(BackupRunTest, TheEndOfACompletedRunOffersTheUpdateOrClosesTheWindow) {
  write_file(source("f"), "f");
  ASSERT_TRUE(serve());
  int checks = 0, closes = 0;
  auto newer = [&](std::string* version) {
    ++checks;
    *version = "v0.14";
    return true;
  };
  auto close = [&] { ++closes; };

  // Without an installation directory there is no check and the plain message.
  ASSERT_EQ(run(false, newer, close), RunOutcome::kCompleted);
  EXPECT_EQ(checks, 0);
  EXPECT_EQ(messages.shown().back().text, "Backup Completed!");

  // With one: the offer, answered Yes, starts the updater and closes the window.
  ctx.install_dir = dir.file("install");
  messages.clear();
  messages.next_answer = ui::Answer::Yes;
  ASSERT_EQ(run(false, newer, close), RunOutcome::kCompleted);
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(
      messages.shown(),
      (std::vector<ShownMessage>{{"Backup Completed!\n\nA new version of Corvio is available.  "
                                  "To download\nv0.14 now, click Yes below.",
                                  "Meridane Online Backup"}}));

  // An unattended run closes by itself two seconds after completing, without a message.
  messages.clear();
  ASSERT_EQ(run(true, newer, close), RunOutcome::kCompleted);
  EXPECT_EQ(closes, 2);
  EXPECT_TRUE(messages.shown().empty());
  EXPECT_EQ(clock.sleeps().back(), 2000u);
  EXPECT_EQ(view.status(), "Backup Completed!");

  // In a terminal there is no window to keep on screen: the run ends at once.
  const size_t sleeps = clock.sleeps().size();
  ASSERT_EQ(run(true, newer, nullptr), RunOutcome::kCompleted);
  EXPECT_TRUE(messages.shown().empty());
  EXPECT_NE(clock.sleeps().back(), 2000u);
  EXPECT_GT(clock.sleeps().size(), sleeps);  // the run's own pauses, but not the closing one
}

TEST_F(BackupRunTest, RunsThatCannotStartSayWhy) {
  ASSERT_TRUE(serve({"profile-unknown"}));
  EXPECT_EQ(run(), RunOutcome::kFailed);
  EXPECT_EQ(view.status(), "Profile Retrieval Problem!");
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].title, "Backup Failure");

  // A server that never answers keeps the run connecting until it is cancelled.
  messages.clear();
  server.reset();
  int sleeps = 0;
  clock.on_sleep = [&](uint32_t) {
    if (++sleeps > 40) session.cancel_requested = 1;
  };
  EXPECT_EQ(run(), RunOutcome::kCancelled);
  clock.on_sleep = nullptr;
  EXPECT_EQ(view.status(), "Connect Failed!");
  EXPECT_EQ(messages.shown(),
            (std::vector<ShownMessage>{{"Unable to connect to backup server!", "Backup Failure"}}));
}

}  // namespace
}  // namespace corvio::test
