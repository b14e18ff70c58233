// SPDX-License-Identifier: Apache-2.0
// The world a test runs in: a temporary data directory on the real file system, a fake clock,
// recorded message boxes and a recorded progress window, tied together in a Context.
// The display starts detached (no progress window); attach_view() attaches the recorder.
#pragma once

#include "base/context.h"
#include "base/display.h"
#include "support/fake_clock.h"
#include "support/recording_messages.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"
#include "support/test_file_system.h"

namespace corvio::test {

struct TestWorld {
  TempDir dir;
  FakeClock clock;
  RecordingMessages messages;
  RecordingView view;
  ui::Display display;
  TestFileSystem fs;  // the real files, with hooks for faults
  Context ctx{fs, clock, messages, display, PathStyle::posix(), dir.path(), ""};

  void attach_view() { display.attach(&view); }

  // The world's context under the Windows or the POSIX path style. Under the Windows style the
  // data directory ends in '/', so backslash-joined paths below it name files inside the
  // temporary directory.
  Context context_in_style(bool windows) {
    return Context{ctx.fs,
                   clock,
                   messages,
                   display,
                   windows ? PathStyle::windows() : PathStyle::posix(),
                   dir.path() + "/",
                   ""};
  }
};

}  // namespace corvio::test
