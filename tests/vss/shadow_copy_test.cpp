// SPDX-License-Identifier: Apache-2.0
// The snapshot table over a scripted snapshot service: the calls made, the messages shown,
// what is released after each failure, and how paths map onto the snapshots.
#include "vss/shadow_copy.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_world.h"
#include "vss/fake_snapshot_backend.h"

namespace corvio {
namespace {

using Calls = std::vector<std::string>;
using test::ShownMessage;

constexpr char kTitle[] = "Meridane Online Backup";
constexpr char kShadow[] = "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy";
constexpr HResult kEFail = hresult(0x80004005);
constexpr HResult kSFalse = 1;

struct ShadowCopyTest : ::testing::Test {
  // begin() and prepare() succeeded; the calls so far are forgotten.
  void prepared() {
    ASSERT_EQ(vss.begin(), 0);
    ASSERT_EQ(vss.prepare(), 0);
    backend.clear_calls();
  }
  // The calls after the last call of from (a name, or a name with its arguments).
  Calls calls_after(const std::string& from) {
    const Calls& c = backend.calls();
    auto it = std::find_if(c.rbegin(), c.rend(), [&](const std::string& line) {
      return line == from || line.starts_with(from + " ");
    });
    EXPECT_NE(it, c.rend()) << from << " was not called";
    return Calls(it.base(), c.end());
  }
  std::vector<ShownMessage> box(const std::string& text) { return {{text, kTitle}}; }

  test::TestWorld world;
  test::FakeSnapshotBackend backend;
  ShadowCopy vss{world.ctx, backend};
};

TEST_F(ShadowCopyTest, OneVolumePerDriveLetterAndPathsMapOntoTheirSnapshots) {
  backend.async_status["DoSnapshotSet"] = 0x0004230A;  // a success status other than 0
  ASSERT_EQ(vss.begin(), 0);
  ASSERT_EQ(vss.prepare(), 0);
  for (const char* rule :
       {"C:\\Users", "c:\\data", "\\\\server\\share\\docs", "D:\\", "E:notes", "relative\\dir"}) {
    EXPECT_EQ(vss.add_volume(rule), 0) << rule;
  }
  // Paths are only rewritten once the snapshots exist.
  EXPECT_EQ(vss.map_path("C:\\Users\\a.txt"), "C:\\Users\\a.txt");
  ASSERT_EQ(vss.snapshot(), 0);

  EXPECT_EQ(vss.map_path("C:\\Users\\a.txt"), std::string(kShadow) + "1\\Users\\a.txt");
  EXPECT_EQ(vss.map_path("c:\\data\\b"), std::string(kShadow) + "1\\data\\b");
  EXPECT_EQ(vss.map_path("D:\\"), std::string(kShadow) + "2\\");
  for (const char* live : {"F:\\x.txt", "\\\\server\\share\\docs\\a", "C:", "C:x", "relative\\a"}) {
    EXPECT_EQ(vss.map_path(live), live);
  }
  EXPECT_EQ(vss.volumes()[0].root, "C:\\");
  EXPECT_EQ(vss.volumes()[1].device_path, std::string(kShadow) + "2\\");
  EXPECT_FALSE(vss.volumes()[2].in_use());

  EXPECT_EQ(vss.complete(), 0);
  EXPECT_EQ(vss.end(), 0);
  EXPECT_EQ(vss.end(), 0);  // a second end does nothing
  const Calls expected = {"CoInitialize",
                          "CoInitializeSecurity",
                          "CreateVssBackupComponents",
                          "InitializeForBackup",
                          "SetBackupState 1 1 1 0",
                          "SetContext 0",
                          "GatherWriterMetadata",
                          "Wait GatherWriterMetadata",
                          "QueryStatus GatherWriterMetadata",
                          "Release GatherWriterMetadata",
                          "StartSnapshotSet",
                          "AddToSnapshotSet C:\\",
                          "AddToSnapshotSet D:\\",
                          "PrepareForBackup",
                          "Wait PrepareForBackup",
                          "QueryStatus PrepareForBackup",
                          "Release PrepareForBackup",
                          "DoSnapshotSet",
                          "Wait DoSnapshotSet",
                          "QueryStatus DoSnapshotSet",
                          "Release DoSnapshotSet",
                          "GetSnapshotProperties C:\\",
                          "GetSnapshotProperties D:\\",
                          "BackupComplete",
                          "Wait BackupComplete",
                          "QueryStatus BackupComplete",
                          "Release BackupComplete",
                          "Release",
                          "CoUninitialize"};
  EXPECT_EQ(backend.calls(), expected);
  EXPECT_TRUE(world.messages.shown().empty());
  EXPECT_TRUE(vss.takes_snapshots());
}

TEST_F(ShadowCopyTest, BeginReportsComAndCreationFailures) {
  // COM refused: said, and not uninitialised later; the components are still created.
  backend.results["CoInitialize"] = hresult(0x80010106);
  EXPECT_EQ(vss.begin(), 0);
  EXPECT_EQ(world.messages.shown(), box("Failed to initialize COM!"));
  EXPECT_EQ(vss.end(), 0);
  EXPECT_EQ(backend.calls(), (Calls{"CoInitialize", "CreateVssBackupComponents", "Release"}));

  // Already initialised on this thread: said as well, but balanced by end().
  world.messages.clear();
  backend.clear_calls();
  backend.results["CoInitialize"] = kSFalse;
  backend.results["CreateVssBackupComponents"] = hresult(0x80070005);
  EXPECT_EQ(vss.begin(), kEUnexpected);
  std::vector<ShownMessage> shown = world.messages.shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text,
            "Failed to create Volume Shadow Copy components!\n\n"
            "This usually occurs when Volume Shadow Copy is enabled and\n"
            "Corvio is not run as Administrator.  You can resolve this\n"
            "problem in one of two ways:\n\n"
            "* Run Corvio as Administrator.\n"
            " - - - OR - - -\n"
            "* Disable Volume Shadow Copy in the profile editor.");
  EXPECT_EQ(shown[1].title, kTitle);
  // Without components nothing else reaches the service, and nothing else is shown.
  EXPECT_EQ(vss.prepare(), kEUnexpected);
  EXPECT_EQ(vss.add_volume("C:\\"), kEUnexpected);
  EXPECT_FALSE(vss.volumes()[0].in_use());
  EXPECT_EQ(vss.snapshot(), kEUnexpected);
  EXPECT_EQ(vss.complete(), kEUnexpected);
  EXPECT_EQ(vss.map_path("C:\\a"), "C:\\a");
  EXPECT_EQ(world.messages.shown().size(), 2u);
  EXPECT_EQ(backend.calls(), (Calls{"CoInitialize", "CreateVssBackupComponents"}));
  {
    ShadowCopy scoped(world.ctx, backend);
    backend.results.clear();
    ASSERT_EQ(scoped.begin(), 0);
    backend.clear_calls();
  }  // the destructor ends what begin() started
  EXPECT_EQ(backend.calls(), (Calls{"Release", "CoUninitialize"}));
}

TEST_F(ShadowCopyTest, PrepareFailuresReleaseOnlyBeforeTheMetadataStep) {
  struct Case {
    const char* call;
    HResult code;
    const char* message;
    bool released;  // components released and COM uninitialised
  };
  const Case cases[] = {
      {"InitializeForBackup", kEFail, "Failed to initialize Volume Shadow Copy for backup!", true},
      {"SetBackupState", kSFalse, "Failed to set Volume Shadow Copy backup parameters!", true},
      {"SetContext", kEInvalidArg, "Failed to set Volume Shadow Copy backup context!", true},
      {"GatherWriterMetadata", kEFail, "Unable to gather writer metadata for backup!", false},
  };
  backend.async_on_failure = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    world.messages.clear();
    backend.results = {{c.call, c.code}};
    ASSERT_EQ(vss.begin(), 0);
    EXPECT_EQ(vss.prepare(), kEUnexpected);
    EXPECT_EQ(world.messages.shown(), box(c.message));
    EXPECT_EQ(calls_after(c.call), c.released ? (Calls{"Release", "CoUninitialize"})
                                              : (Calls{"Release GatherWriterMetadata"}));
    backend.clear_calls();
    vss.end();
    EXPECT_EQ(backend.calls(), c.released ? Calls{} : (Calls{"Release", "CoUninitialize"}));
  }
}

TEST_F(ShadowCopyTest, SnapshotSetAllocationFailureNamesTheCode) {
  const std::pair<HResult, const char*> cases[] = {
      {kVssEBadState, "Error: VSS_E_BAD_STATE"},
      {kVssESnapshotSetInProgress, "Error: VSS_E_SNAPSHOT_SET_IN_PROGRESS"},
      {kEOutOfMemory, "Error: E_OUTOFMEMORY"},
      {kEInvalidArg, "Error: E_INVALIDARG"},
      {kEUnexpected, "Error: E_UNEXPECTED"},
      {kEFail, "Error: 80004005"},
      {0x0004230A, "Error: 0004230a"},
  };
  for (const auto& [code, line] : cases) {
    SCOPED_TRACE(line);
    world.messages.clear();
    backend.results = {{"StartSnapshotSet", code}};
    ASSERT_EQ(vss.begin(), 0);
    EXPECT_EQ(vss.prepare(), kEUnexpected);
    EXPECT_EQ(world.messages.shown(),
              box(std::string("Unable to allocate Volume Shadow Copy snapshot set!\n") + line));
    EXPECT_EQ(calls_after("StartSnapshotSet"), (Calls{"Release", "CoUninitialize"}));
  }
}

TEST_F(ShadowCopyTest, FailedOperationsStopTheStepAndReleaseTheirAsync) {
  // Each case fails one asynchronous step, either the call itself or its operation's status.
  struct Case {
    const char* call;
    bool status_fails;
    const char* message;
  };
  const Case cases[] = {
      {"GatherWriterMetadata", true, "Async operation failed, returned: -2147212529"},
      {"PrepareForBackup", false, "Unable to prepare shadow set for backup!"},
      {"PrepareForBackup", true, "Async operation failed, returned: -2147212529"},
      {"DoSnapshotSet", false, "Unable to execute shadow copy snapshot set!"},
      {"DoSnapshotSet", true, "Async operation failed, returned: -2147212529"},
      {"BackupComplete", true, "Async operation failed, returned: -2147212529"},
  };
  backend.async_on_failure = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + (c.status_fails ? " status" : ""));
    world.messages.clear();
    backend.results.clear();
    backend.async_status.clear();
    if (c.status_fails) {
      backend.async_status[c.call] = hresult(0x8004230F);
    } else {
      backend.results[c.call] = kEFail;
    }
    ASSERT_EQ(vss.begin(), 0);
    int rc = vss.prepare();
    if (rc == 0) rc = vss.add_volume("C:\\");
    if (rc == 0) rc = vss.snapshot();
    if (rc == 0) rc = vss.complete();
    EXPECT_EQ(rc, kEUnexpected);
    EXPECT_EQ(world.messages.shown(), box(c.message));
    // Nothing follows the failure but the release of its operation.
    const std::string op = c.call;
    EXPECT_EQ(calls_after(op), c.status_fails
                                   ? (Calls{"Wait " + op, "QueryStatus " + op, "Release " + op})
                                   : (Calls{"Release " + op}));
    vss.end();
  }
}

TEST_F(ShadowCopyTest, VolumeWithoutUsableSnapshotPathIsReadLive) {
  prepared();
  backend.results["GetSnapshotProperties D:\\"] = kEFail;
  backend.devices["E:\\"] = "";                     // no conversion
  backend.devices["F:\\"] = std::string(258, 'f');  // with "\" and terminator: 260 bytes
  backend.devices["G:\\"] = std::string(259, 'g');  // one too many
  for (const char* rule : {"C:\\", "D:\\", "E:\\", "F:\\", "G:\\"})
    ASSERT_EQ(vss.add_volume(rule), 0);
  EXPECT_EQ(vss.snapshot(), 0);
  EXPECT_EQ(world.messages.shown(),
            (std::vector<ShownMessage>{{"Unable to obtain snapshot path!", "D:\\"}}));
  EXPECT_EQ(vss.map_path("C:\\a"), std::string(kShadow) + "1\\a");
  EXPECT_EQ(vss.map_path("F:\\a"), std::string(258, 'f') + "\\a");
  for (const char* live : {"D:\\a", "E:\\a", "G:\\a"}) EXPECT_EQ(vss.map_path(live), live);
  EXPECT_TRUE(vss.volumes()[0].in_use());
  EXPECT_FALSE(vss.volumes()[1].in_use());
}

TEST_F(ShadowCopyTest, TableTakesEveryDriveLetterOnceAndReusesFailedEntries) {
  prepared();
  // A volume the service refuses is dropped quietly; its entry goes to the next volume.
  backend.results["AddToSnapshotSet D:\\"] = kEFail;
  EXPECT_EQ(vss.add_volume("C:\\"), 0);
  EXPECT_EQ(vss.add_volume("d:\\docs"), kEUnexpected);
  EXPECT_FALSE(vss.volumes()[1].in_use());
  EXPECT_EQ(vss.add_volume("E:\\"), 0);
  EXPECT_EQ(vss.volumes()[1].root, "E:\\");
  EXPECT_EQ(vss.add_volume("D:\\again"), kEUnexpected);  // tried again, refused again
  EXPECT_EQ(calls_after("AddToSnapshotSet C:\\"),
            (Calls{"AddToSnapshotSet D:\\", "AddToSnapshotSet E:\\", "AddToSnapshotSet D:\\"}));

  // The 26 letters fit in the table; a letter in either case is added once.
  backend.results.clear();
  backend.clear_calls();
  for (char l = 'a'; l <= 'z'; ++l) EXPECT_EQ(vss.add_volume(std::string{l, ':', '\\'}), 0);
  for (char l = 'A'; l <= 'Z'; ++l) EXPECT_EQ(vss.add_volume(std::string{l, ':', '\\', 'x'}), 0);
  EXPECT_EQ(backend.calls().size(), 24u);  // every letter but C: and E:
  EXPECT_EQ(vss.volumes()[25].root, "Z:\\");
  EXPECT_FALSE(vss.volumes()[26].in_use());
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_F(ShadowCopyTest, CompleteFailureReleasesEverythingOnce) {
  prepared();
  backend.async_on_failure = true;
  backend.results["BackupComplete"] = kVssEBadState;
  EXPECT_EQ(vss.complete(), kEUnexpected);
  EXPECT_EQ(vss.end(), 0);
  EXPECT_EQ(backend.calls(),
            (Calls{"BackupComplete", "Release", "CoUninitialize", "Release BackupComplete"}));
  EXPECT_TRUE(world.messages.shown().empty());
}

}  // namespace
}  // namespace corvio
