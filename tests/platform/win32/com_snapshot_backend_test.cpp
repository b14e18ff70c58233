// SPDX-License-Identifier: Apache-2.0
// The snapshot table over the real COM backend. Without a usable shadow-copy service (Wine
// has none; Windows refuses one to a user without administrator rights) the set-up of a run
// must fail the way the run expects: E_UNEXPECTED with one message box of its text, no path
// mapped, and COM left as it was found.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <thread>

#include "base/context.h"
#include "base/display.h"
#include "support/recording_messages.h"
#include "vss/shadow_copy.h"

namespace corvio {
namespace {

constexpr char kCreateFailed[] =
    "Failed to create Volume Shadow Copy components!\n\n"
    "This usually occurs when Volume Shadow Copy is enabled and\n"
    "Corvio is not run as Administrator.  You can resolve this\n"
    "problem in one of two ways:\n\n"
    "* Run Corvio as Administrator.\n"
    " - - - OR - - -\n"
    "* Disable Volume Shadow Copy in the profile editor.";
constexpr char kInitializeFailed[] = "Failed to initialize Volume Shadow Copy for backup!";

TEST(ComSnapshotBackend, WithoutAShadowCopyServiceTheSetUpFailsWithItsMessage) {
  // A thread of its own, so that COM starts uninitialised on it.
  std::thread worker([] {
    test::RecordingMessages messages;
    ui::Display display;
    Context ctx{
        real_file_system(), system_clock(), messages, display, PathStyle::windows(), "", ""};
    std::unique_ptr<SnapshotBackend> backend = make_system_snapshot_backend();
    EXPECT_TRUE(backend->takes_snapshots());
    {
      ShadowCopy vss(ctx, *backend);
      const int begun = vss.begin();
      const int prepared = begun == 0 ? vss.prepare() : begun;
      EXPECT_EQ(prepared, kEUnexpected);
      // Creating the components fails without the rights; with them, a system without the
      // service fails to initialise them for backup.
      const char* expected = begun != 0 ? kCreateFailed : kInitializeFailed;
      EXPECT_EQ(messages.shown(),
                (std::vector<test::ShownMessage>{{expected, "Meridane Online Backup"}}));
      EXPECT_EQ(vss.map_path("C:\\Users\\a.txt"), "C:\\Users\\a.txt");
      EXPECT_EQ(vss.end(), 0);
    }
    // Every CoInitialize had its CoUninitialize: the next one is a first one again.
    EXPECT_EQ(::CoInitialize(nullptr), S_OK);
    ::CoUninitialize();
  });
  worker.join();
}

}  // namespace
}  // namespace corvio
