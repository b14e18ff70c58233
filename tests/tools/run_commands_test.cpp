// SPDX-License-Identifier: Apache-2.0
#include "run_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "base/backup_session.h"
#include "catalog/catalog.h"
#include "catalog/run_list.h"
#include "engine/run_log.h"
#include "json_check.h"
#include "platform/clock.h"
#include "platform/text_file.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "profile/profile_editor.h"
#include "support/captured_output.h"
#include "support/temp_dir.h"
#include "support/test_world.h"

namespace corvio {
namespace {

namespace fs = std::filesystem;
using test::CapturedOutput;

enum class Trailer { kNone, kCancelled, kFailed, kCompleted };

BackupStats stats_of(uint32_t files, uint64_t bytes, uint64_t stored, uint32_t errors) {
  BackupStats s;
  s.files = files;
  s.bytes_total = bytes;
  s.bytes_stored = stored;
  s.errors = errors;
  return s;
}

// The profile "daily" with the files runs of every kind leave behind, written by the client's
// own catalog and log code.
class RunCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(config.open(), 0);
    profile = new_profile_defaults();
    profile->tag = "daily";
    ASSERT_EQ(profile_create(w.ctx, config, *profile), 0);
  }

  // A catalog left open when stats is null (a cancelled or cut-short run), else completed.
  void make_catalog(uint32_t number, const BackupStats* stats, int64_t start = 0, int64_t end = 0) {
    BackupSession s;
    s.profile = std::make_unique<Profile>(*profile);
    s.catalog_id = number;
    Catalog catalog(w.ctx);
    ASSERT_EQ(catalog.create(s), 0);
    if (stats) {
      s.stats = *stats;
      s.start_time = start;
      w.clock.set_now(end);
      catalog.write_stats(s);
    }
    catalog.close();
  }

  void make_log(uint32_t number, const std::string& body, Trailer trailer,
                const BackupStats& stats = {}) {
    FileHandle log = open_crlf_text_file(run_log_path(w.ctx, "daily", number));
    ASSERT_TRUE(log);
    write_log_header(log.get(), *profile, number);
    std::fputs(body.c_str(), log.get());
    if (trailer == Trailer::kCancelled) write_log_cancelled(log.get());
    if (trailer == Trailer::kFailed) write_log_failed(log.get(), "The catalog was not uploaded.");
    if (trailer == Trailer::kCompleted) write_log_completed(log.get(), stats, 2.5);
  }

  std::string file(const std::string& name) { return w.ctx.profile_dir("daily") + "/" + name; }

  // Every file of the profile's folder with a hash of its bytes.
  std::map<std::string, size_t> folder_hashes() {
    std::map<std::string, size_t> hashes;
    for (const auto& e : fs::directory_iterator(w.ctx.profile_dir("daily")))
      if (e.is_regular_file())
        hashes[e.path().filename()] = std::hash<std::string>{}(test::read_file(e.path()));
    return hashes;
  }

  int run(const std::string& command, const std::vector<std::string>& args) {
    return run_command(w.ctx, command, args, CtlIo{out.file(), err.file(), stdin});
  }

  test::TestWorld w;
  Config config{w.ctx};
  std::unique_ptr<Profile> profile;
  CapturedOutput out, err;
};

TEST_F(RunCommandsTest, RunsListsEveryRunFromWhatItsFilesSay) {
  const BackupStats stats = stats_of(12, 3000, 1000, 0);
  make_catalog(0x10, &stats, 1796785445, 1796789000);
  // The upload failed after the catalog was marked complete: the log's trailer has the last word.
  make_log(0x10, "", Trailer::kFailed);
  make_catalog(0x11, nullptr);
  make_log(0x11, "", Trailer::kCancelled);
  make_catalog(0x12, nullptr);
  make_log(0x12, "x\n", Trailer::kNone);
  test::write_file(file("00000013.cat"), "this is no database, just some text at all");
  make_log(0x13, "", Trailer::kCompleted, stats_of(5, 50, 40, 0));
  const BackupStats big = stats_of(7, 5000000000, 4294967296, 2);
  make_catalog(0x14, &big, 4000000000, 4000000061);  // times past 2038 as unsigned 32 bits
  make_log(0x0e, "", Trailer::kCancelled);
  make_log(0xfffffff0, "", Trailer::kNone);

  // A catalog whose writer stopped mid-transaction: the database and its hot journal.
  {
    BackupSession s;
    s.profile = std::make_unique<Profile>(*profile);
    s.catalog_id = 0x15;
    Catalog catalog(w.ctx);
    ASSERT_EQ(catalog.create(s), 0);
    ASSERT_NE(catalog.filespec_insert("/data", FileStat{}), 0u);
    ASSERT_TRUE(fs::exists(file("00000015.cat-journal")));
    fs::copy_file(file("00000015.cat"), w.dir.file("copy.cat"));
    fs::copy_file(file("00000015.cat-journal"), w.dir.file("copy.cat-journal"));
    catalog.close();
    fs::rename(w.dir.file("copy.cat"), file("00000015.cat"));
    fs::rename(w.dir.file("copy.cat-journal"), file("00000015.cat-journal"));
  }
  test::write_file(file("notes.txt"), "");
  fs::create_directory(file("00000020.cat"));

  const auto before = folder_hashes();
  ASSERT_EQ(run("runs", {"DAILY"}), kCtlOk) << err.text();
  EXPECT_EQ(out.text(),
            "catalog\tstart\tend\toutcome\tfiles\tbytes\tstored\terrors\tnotes\n"
            "0000000e\t-\t-\tcancelled\t-\t-\t-\t-\tno catalog\n"
            "00000010\t2026-12-09 03:04:05\t2026-12-09 04:03:20\tfailed\t12\t3000\t1000\t0\t\n"
            "00000011\t-\t-\tcancelled\t-\t-\t-\t-\t\n"
            "00000012\t-\t-\tincomplete\t-\t-\t-\t-\t\n"
            "00000013\t-\t-\tcompleted\t5\t50\t40\t0\tcatalog unreadable: file is not a database\n"
            "00000014\t2096-10-02 07:06:40\t2096-10-02 07:07:41\tcompleted\t7\t5000000000\t"
            "4294967296\t2\tno log\n"
            "00000015\t-\t-\tincomplete\t-\t-\t-\t-\tcatalog unreadable: left mid-write, its "
            "journal not yet played back; no log\n"
            "fffffff0\t-\t-\tincomplete\t-\t-\t-\t-\tno catalog\n");
  EXPECT_EQ(folder_hashes(), before);
}

TEST_F(RunCommandsTest, RunsJsonIsOneDocumentWithNumbersTimesAndNulls) {
  const BackupStats big = stats_of(7, 5000000000, 4294967296, 2);
  make_catalog(0x14, &big, 4000000000, 4000000061);  // past 2038, and counts past 32 bits
  make_log(0x14, "", Trailer::kCompleted, big);
  make_log(0x0e, "", Trailer::kCancelled);
  test::write_file(file("00000015.cat"), "this is no database, just some text at all");

  CapturedOutput empty;
  ASSERT_EQ(run_command(w.ctx, "runs", {"--json", "daily"}, CtlIo{empty.file(), err.file(), stdin}),
            kCtlOk);
  ASSERT_EQ(run("runs", {"DAILY", "--json"}), kCtlOk) << err.text();
  EXPECT_EQ(test::json_canonical(out.text()),
            R"([{"bytes":null,"catalog":"0000000e","catalog_error":null,"end":null,)"
            R"("errors":null,"files":null,"has_catalog":false,"has_log":true,"log_error":null,)"
            R"("outcome":"cancelled","start":null,"stored":null},)"
            R"({"bytes":5000000000,"catalog":"00000014","catalog_error":null,)"
            R"("end":"2096-10-02T07:07:41Z","errors":2,"files":7,"has_catalog":true,)"
            R"("has_log":true,"log_error":null,"outcome":"completed",)"
            R"("start":"2096-10-02T07:06:40Z","stored":4294967296},)"
            R"({"bytes":null,"catalog":"00000015","catalog_error":"file is not a database",)"
            R"("end":null,"errors":null,"files":null,"has_catalog":true,"has_log":false,)"
            R"("log_error":null,"outcome":"incomplete","start":null,"stored":null}])")
      << out.text();
  EXPECT_EQ(test::json_canonical(empty.text()), test::json_canonical(out.text()));

  EXPECT_EQ(run("log", {"--json", "daily"}), kCtlUsage);  // log prints the log as it is
  EXPECT_EQ(run("runs", {"--json"}), kCtlUsage);
  EXPECT_EQ(run("runs", {"--json", "nobody"}), kCtlFailed);
}

TEST_F(RunCommandsTest, LogPrintsTheRunsLogWithLineFeedsAndEscapes) {
  make_log(0x1a2b, "Added: C:\\Data\\a\x1b[2J.txt\tgrün\nx\ry\n", Trailer::kCancelled);
  make_log(0x0f, "older\n", Trailer::kNone);
  CapturedOutput header;
  write_log_header(header.file(), *profile, 0x1a2b);
  const std::string expected =
      header.text() + "Added: C:\\Data\\a\\x1b[2J.txt\tgrün\nx\\x0dy\n\n\nBackup cancelled!\n";

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"daily", "1a2b"}, {"Daily", "00001A2B"}, {"daily"}}) {
    CapturedOutput printed;
    ASSERT_EQ(run_command(w.ctx, "log", args, CtlIo{printed.file(), err.file(), stdin}), kCtlOk);
    EXPECT_EQ(printed.text(), expected) << args.size();
  }
  EXPECT_EQ(run("log", {"daily", "f"}), kCtlOk);
  EXPECT_NE(out.text().find("older\n"), std::string::npos);

  // A character cut in two by the 64 KiB reads of the log stays one character.
  const std::string head = header.text();
  const size_t in_file = head.size() + std::count(head.begin(), head.end(), '\n');  // CR LF
  make_log(0x10, std::string(65535 - in_file, 'a') + "ü\n", Trailer::kNone);
  EXPECT_EQ(run("log", {"daily", "10"}), kCtlOk);
  EXPECT_NE(out.text().find("aü\n"), std::string::npos);
  EXPECT_EQ(err.text(), "");
}

TEST_F(RunCommandsTest, TheLastRunIsTheNewestRunsStartAndOutcome) {
  EXPECT_EQ(last_run_text(w.ctx, "daily"), "");  // never ran here
  EXPECT_FALSE(last_run(w.ctx, "daily"));
  const BackupStats stats = stats_of(1, 10, 10, 0);
  make_catalog(0x10, &stats, 1796785445, 1796789000);
  make_log(0x10, "", Trailer::kCompleted, stats);
  make_catalog(0x0f, nullptr);  // an older run's files come later in the folder
  EXPECT_EQ(last_run_text(w.ctx, "daily"), local_time_text(1796785445) + ", completed");

  // A run under way, or cut short: no start recorded yet, no trailer.
  make_catalog(0x11, nullptr);
  EXPECT_EQ(last_run_text(w.ctx, "daily"), "incomplete");
  make_log(0x11, "", Trailer::kCancelled);
  EXPECT_EQ(last_run_text(w.ctx, "daily"), "cancelled");
  make_log(0x12, "", Trailer::kFailed);
  EXPECT_EQ(last_run_text(w.ctx, "daily"), "failed");
  ASSERT_TRUE(last_run(w.ctx, "daily"));
  EXPECT_EQ(last_run(w.ctx, "daily")->number, list_runs(w.ctx, "daily").back().number);
}

TEST_F(RunCommandsTest, BadTagsNumbersAndMissingRunsAreRefused) {
  make_catalog(0x14, nullptr);
  const std::vector<std::string> refused = {"../../x", "a/b", "a\\b", "a.b", "..", "a b", "é"};
  for (const std::string& tag : refused) {
    EXPECT_EQ(run("runs", {tag}), kCtlFailed) << tag;
    EXPECT_EQ(run("log", {"--", tag, "14"}), kCtlFailed) << tag;
  }
  ASSERT_EQ(w.messages.shown().size(), 2 * refused.size());
  EXPECT_EQ(w.messages.shown()[0].title, "Invalid profile tag");
  EXPECT_EQ(run("runs", {std::string(32, 't')}), kCtlUsage);
  for (const char* n : {"xyz", "123456789", "-1", "0x14", "+14", "", "14 "})
    EXPECT_EQ(run("log", {"daily", n}), kCtlUsage) << n;
  EXPECT_EQ(run("runs", {}), kCtlUsage);
  EXPECT_EQ(run("runs", {"daily", "x"}), kCtlUsage);
  EXPECT_EQ(run("runs", {"--all"}), kCtlUsage);
  EXPECT_EQ(run("log", {"daily", "14", "x"}), kCtlUsage);
  EXPECT_EQ(out.text(), "");
  EXPECT_NE(err.text().find("corvioctl log: not a run number (hexadecimal): 14 \n"),
            std::string::npos);

  EXPECT_EQ(run("runs", {"nobody"}), kCtlFailed);
  EXPECT_EQ(run("log", {"daily", "99"}), kCtlFailed);
  EXPECT_EQ(run("log", {"daily", "14"}), kCtlFailed);  // a catalog but no log
  EXPECT_EQ(run("log", {"daily"}), kCtlFailed);
  EXPECT_NE(err.text().find("corvioctl: no profile named nobody\n"), std::string::npos);

  EXPECT_EQ(run("runs", {"--help"}), kCtlOk);
  EXPECT_EQ(run("log", {"-h"}), kCtlOk);
  EXPECT_NE(out.text().find("usage: corvioctl log TAG [N]\n"), std::string::npos);
}

}  // namespace
}  // namespace corvio
