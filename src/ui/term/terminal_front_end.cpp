// SPDX-License-Identifier: Apache-2.0
#include "ui/term/terminal_front_end.h"

#include "app/application.h"
#include "app/core_services.h"
#include "app/run_controller.h"
#include "app/worker_run.h"
#include "base/display.h"
#include "platform/console.h"
#include "ui/term/terminal_messages.h"
#include "ui/term/terminal_view.h"
#include "util/format_count.h"

namespace corvio {

std::string statistics_line(const BackupSession& s) {
  const BackupStats& st = s.stats;
  const int64_t end = s.end_time.load();
  const int64_t seconds = end > 0 && s.start_time.load() > 0 ? end - s.start_time.load() : 0;
  return "Directories " + format_count(st.directories) + ", files " + format_count(st.files) +
         " (scanned " + format_count(st.files_scanned) + ", skipped " +
         format_count(st.files_skipped) + ", special " + format_count(st.special_files) +
         "), bytes " + format_count(st.bytes_total) + " (skipped " +
         format_count(st.bytes_skipped) + ", stored " + format_count(st.bytes_stored) +
         ", compressed " + format_count(st.bytes_compressed) + "), blocks " +
         format_count(st.segs_total) + " (stored " + format_count(st.segs_stored) + ", duped " +
         format_count(st.segs_duped) + "), warnings " + format_count(st.warnings) + ", errors " +
         format_count(st.errors) + ", " + std::to_string(seconds) + " s";
}

int TerminalFrontEnd::run_main_window(Application&) {
  std::fputs(
      "corvio: no display, so there is no main window.\n"
      "  corvio /run:TAG [/exitwhendone]   back up the profile TAG here, in this terminal\n"
      "  corvioctl --help                  create, edit, list and delete profiles; runs, logs\n",
      out_);
  return kExitFailed;
}

int TerminalFrontEnd::run_progress_window(Application& app) {
  BackupSession& session = app.session();
  const bool interactive = is_terminal(out_);

  ui::TerminalView view(out_, interactive);
  if (messages_) messages_->set_before_print([&view] { view.finish(); });
  RunConsole console;
  RunController run(app.context(), session);
  run.start(view, [&] { return run_backup_worker(services_, app, update_, nullptr, false); });

  if (interactive) std::fputs("Press p to pause or resume, Ctrl-C to cancel.\n", out_);
  bool cancel_sent = false;
  for (uint32_t tick = 1; !run.finished(); ++tick) {
    const int key = console.wait_key(100);
    int toggles = console.take_pause_toggles() + (key == 'p' || key == 'P' ? 1 : 0);
    for (; toggles > 0; --toggles) session.pause_requested = session.pause_requested ? 0 : 1;
    if (console.interrupted() && !cancel_sent) {
      session.cancel_requested = 1;
      cancel_sent = true;
      // Said at once: the worker may be waiting on the network for a while before it notices.
      app.context().display.set_status_text("Cancelling Backup...");
      view.draw(false);
    }
    run.every_100ms();
    if (tick % 5 == 0) {
      run.every_500ms();
      view.draw(session.pause_requested == 1);
    }
    if (tick % 30 == 0) run.every_3000ms();
  }
  run.join();

  run.every_500ms();
  view.draw(false);
  view.finish();
  if (messages_) messages_->set_before_print(nullptr);
  std::fprintf(out_, "%s\n", statistics_line(session).c_str());
  std::fflush(out_);
  return run_exit_code(run.outcome());
}

}  // namespace corvio
