// SPDX-License-Identifier: Apache-2.0
// Whole backup runs against the reference server: a store with a login and a profile, the
// server running (with faults when asked), a data directory that trusts the server, the
// client's profile on disk, the MD5 cache and a fake clock. run() performs one complete
// backup_worker run with a fresh run record; restore() rebuilds a run with the server's own
// restore command, so a test can compare what comes back with what was backed up.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/backup_session.h"
#include "base/context.h"
#include "base/display.h"
#include "engine/backup_worker.h"
#include "md5cache/md5cache.h"
#include "net/tls_context.h"
#include "support/fake_clock.h"
#include "support/recording_messages.h"
#include "support/recording_view.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "support/test_file_system.h"

namespace corvio::test {

class EngineFixture : public ::testing::Test {
 protected:
  explicit EngineFixture(bool windows_style = false);
  ~EngineFixture() override;

  // Creates the store and starts the server; then saves the client's profile. Check with
  // ASSERT_TRUE.
  bool serve(const std::vector<std::string>& faults = {});
  // Stops the server and starts it again on the same store with other faults.
  bool restart(const std::vector<std::string>& faults);

  // One run of the profile, as the progress window starts it.
  RunOutcome run();
  // The same with the run's update check and window closing set as a front end sets them.
  RunOutcome run(bool exit_when_done, std::function<bool(std::string*)> update_check,
                 std::function<void()> close_window);
  // The run's log with its CR LF line ends turned to LF; the last run's by default.
  std::string log_text(uint32_t catalog_id = 0);
  // corvio-server restore of a catalog into a new folder; its exit status, the folder in *to.
  int restore(uint32_t catalog_id, std::string* to, std::string* err = nullptr);
  // Removes a block from the server's store, as if it had been lost.
  void lose_block(const std::string& md5_hex, uint32_t length);

  std::string store() const { return dir.file("store"); }
  std::string source(const std::string& name = "") const;

  TempDir dir;
  FakeClock clock;
  RecordingMessages messages;
  RecordingView view;
  ui::Display display;
  TestFileSystem fs;
  Context ctx;
  Profile profile;  // copied into the run record at each run
  BackupSession session;
  std::unique_ptr<Md5Cache> cache;
  TlsContext tls;
  NetSettings settings;
  std::unique_ptr<ServerProcess> server;
  std::string trace_path;  // when set, the server started next appends its message trace here
  unsigned read_ahead_threads = ReadAhead::default_threads();  // for the runs' WorkerSetup
  std::vector<uint32_t> catalogs;                              // of the runs so far, in order
};

// Regular files and directories below root, as "relative path" -> contents ("<dir>" for a
// directory); special files and links are left out.
std::map<std::string, std::string> tree_of(const std::string& root);
// The entries in which two trees differ, one line each; empty when they are the same.
std::string tree_difference(const std::map<std::string, std::string>& expected,
                            const std::map<std::string, std::string>& actual);
// Writes size bytes of a repeatable pattern, different for each seed.
std::string pattern(size_t size, uint32_t seed);
// The modification time of a file, in seconds.
int64_t mtime_of(const std::string& path);

}  // namespace corvio::test
