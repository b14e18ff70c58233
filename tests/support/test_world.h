// The world a test runs in: a temporary data directory on the real file system, a fake clock,
// recorded message boxes and a recorded progress window, tied together in a Context.
// The display starts detached (no progress window); attach_view() attaches the recorder.
#pragma once

#include "app/context.h"
#include "support/fake_clock.h"
#include "support/recording_messages.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"

namespace corvio::test {

struct TestWorld {
  TempDir dir;
  FakeClock clock;
  RecordingMessages messages;
  RecordingView view;
  ui::Display display;
  Context ctx{real_file_system(), clock, messages, display, PathStyle::posix(), dir.path(), ""};

  void attach_view() { display.attach(&view); }
};

}  // namespace corvio::test
