// SPDX-License-Identifier: Apache-2.0
#include "engine/backup_worker.h"

#include "base/display.h"
#include "catalog/catalog.h"
#include "catalog/profile_dir_cleanup.h"
#include "engine/catalog_upload.h"
#include "engine/exclude_match.h"
#include "engine/pause_point.h"
#include "engine/pipeline.h"
#include "engine/run.h"
#include "engine/run_log.h"
#include "engine/tree_walk.h"
#include "md5cache/md5cache.h"
#include "net/requests.h"
#include "net/connection.h"
#include "net/request_window.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/text_file.h"
#include "util/text.h"
#include "vss/shadow_copy.h"

namespace corvio {

namespace {

constexpr char kTitle[] = "Meridane Online Backup";
constexpr char kFailureTitle[] = "Backup Failure";

class Worker {
 public:
  explicit Worker(WorkerSetup& w) : w_(w), ctx_(w.ctx), session_(w.session), p_(*w.session.profile) {}

  RunOutcome run();

 private:
  void status(const char* text) { ctx_.display.set_status_text(text); }
  // Ends the run with its status text and message box; a run that gave up shows why instead.
  RunOutcome fail(const char* status_text, const std::string& message, RunOutcome outcome) {
    status(status_text);
    ctx_.display.show_run_finished();
    ctx_.messages.message_box(session_.stop_reason.empty() ? message : session_.stop_reason, kFailureTitle);
    return outcome;
  }
  RunOutcome cancelled_or_failed() const {
    return session_.cancelled() && session_.stop_reason.empty() ? RunOutcome::kCancelled : RunOutcome::kFailed;
  }
  bool shadow_on() const { return w_.shadow && p_.use_shadow_copy; }
  void walk(Run& run);
  RunOutcome cancel(Connection& net, Catalog& catalog);
  RunOutcome complete(Run& run);
  void log(const std::string& text) { session_.write_log(text); }

  WorkerSetup& w_;
  Context& ctx_;
  BackupSession& session_;
  Profile& p_;
};

RunOutcome Worker::run() {
  status("Preparing...");
  ctx_.clock.sleep_ms(500);

  if (shadow_on()) {
    status("Initializing Shadow Copy...");
    if (w_.shadow->begin() != 0 || w_.shadow->prepare() != 0) {
      status("Shadow Copy Error!");
      return RunOutcome::kFailed;
    }
    for (const std::string& rule : p_.include_rules) w_.shadow->add_volume(rule);
  }

  Connection net(ctx_, ctx_.display, w_.tls, session_, w_.net_settings);
  net.set_pause_point([this, &net] { wait_if_paused(ctx_, session_, net); });
  status("Connecting...");
  if (net.connect_retry() != 0) {
    // Only a cancel ends the connection retries.
    return fail("Connect Failed!", "Unable to connect to backup server!", cancelled_or_failed());
  }
  status("Retrieving Profile ID...");
  if (request_profile_id(net) != 0) {
    return fail("Profile Retrieval Problem!",
                "Unable to retrieve backup profile ID from server.\nNote: The profile must "
                "already be manually set up on the server.",
                cancelled_or_failed());
  }
  status("Allocating Catalog ID...");
  if (request_catalog_id(net) != 0) {
    return fail("Problem Allocating Catalog ID!",
                "Unable to allocate a backup catalog on the server.", cancelled_or_failed());
  }

  session_.start_time = ctx_.clock.now();
  ctx_.display.set_text(ui::Field::StartTime, local_time_text(session_.start_time));

  Catalog catalog(ctx_);
  status("Creating Backup Catalog...");
  // Without a catalog nothing the run sends could be restored: it ends at once, as failed.
  if (catalog.create(session_) != 0 && session_.stop_reason.empty())
    session_.stop_reason = kCatalogUnwritten;

  status("Creating Backup Log...");
  const std::string log_path = run_log_path(ctx_, p_.tag, session_.catalog_id);
  session_.log = open_crlf_text_file(log_path);
  if (!session_.log) {
    session_.end_time = ctx_.clock.now();
    net.quit();
    catalog.close();
    return fail("Problem Creating Backup Log!",
                "Couldn't open backup log file for writing:\n" + log_path, RunOutcome::kFailed);
  }
  write_log_header(session_.log.get(), p_, session_.catalog_id);

  if (shadow_on()) {
    status("Shadow Copy Snapshot...");
    if (w_.shadow->snapshot() != 0) {
      status("Shadow Copy Error!");
      log("\nShadow copy failed; nothing was backed up.\n");
      session_.end_time = ctx_.clock.now();
      net.quit();
      catalog.close();
      w_.shadow->end();
      session_.log.reset();
      ctx_.display.show_run_finished();
      return RunOutcome::kFailed;
    }
    if (!w_.shadow->takes_snapshots()) log(std::string(kShadowCopyUnavailable) + "\n\n");
  }

  status("Kicking Butt!");
  ReadAhead ahead(w_.read_ahead_threads);
  RequestWindow window(net, w_.net_settings.requests_in_flight,
                       w_.net_settings.payload_in_flight);
  Run run{ctx_, session_, catalog, w_.cache, net, shadow_on() ? w_.shadow : nullptr, &ahead};
  Pipeline pipe(run, window);
  run.pipe = &pipe;
  walk(run);
  (void)pipe.drain();  // false only when cancelled, which ends the run below
  run.pipe = nullptr;
  w_.cache.flush();

  return session_.cancelled() ? cancel(net, catalog) : complete(run);
}

void Worker::walk(Run& run) {
  if (p_.include_rules.empty()) {
    log("Warning: The profile has no include rules; nothing was backed up.\n");
    session_.stats.warnings.add(1);
    return;
  }
  // The editor and corvioctl refuse rules that depend on where the run starts; one put in the
  // profile by other means is not followed, and says so. Each line is applied in the run's
  // order, behind what earlier rules still wait for.
  auto warn_unanchored = [&](const char* problem, const std::string& rule) {
    run.then([this, text = std::string("Warning: ") + problem + escape_controls(rule) + "\n"] {
      log(text);
      session_.stats.warnings.add(1);
    });
  };
  for (const std::string& rule : p_.exclude_rules) {
    if (!rule.empty() && !rule_is_anchored(ctx_.style, rule, false))
      warn_unanchored("Exclude rule is not an absolute path and matches nothing: ", rule);
  }
  // The first rule's drive letter is recorded in upper case, as every recorded path is.
  p_.include_rules[0] = upper_drive_letter(ctx_.style, p_.include_rules[0]);
  for (const std::string& rule : p_.include_rules) {
    if (!rule_is_anchored(ctx_.style, rule, true)) {
      warn_unanchored("Include rule is not an absolute path, not backed up: ", rule);
      continue;
    }
    // A rule inside the program's own data directory records not even the folders above it.
    if (within(ctx_.style, rule, ctx_.data_dir)) {
      run.then([this, text = "Excluding: " + escape_controls(rule) + "\n"] { log(text); });
      continue;
    }
    record_ancestors(run, rule);
    if (walk_tree(run, "", rule) == 1) break;
  }
}

// A cancelled run, or one that gave up or whose catalog did not reach the server: the catalog
// is closed and not uploaded (or its complete mark taken back).
RunOutcome Worker::cancel(Connection& net, Catalog& catalog) {
  status(session_.stop_reason.empty() ? "Cancelling Backup..." : "Ending Backup...");
  net.quit();
  catalog.close();  // kept as an incomplete catalog; never uploaded
  if (shadow_on()) {
    w_.shadow->complete();
    w_.shadow->end();
  }
  if (!session_.stop_reason.empty()) {
    write_log_failed(session_.log.get(), session_.stop_reason);
    session_.log.reset();
    session_.end_time = ctx_.clock.now();
    return fail("Backup Failed!", session_.stop_reason, RunOutcome::kFailed);
  }
  write_log_cancelled(session_.log.get());
  session_.log.reset();
  session_.end_time = ctx_.clock.now();
  status("Backup Cancelled!");
  ctx_.display.show_run_finished();
  ctx_.messages.message_box("Backup Cancelled!", kTitle);
  return RunOutcome::kCancelled;
}

RunOutcome Worker::complete(Run& run) {
  Catalog& catalog = run.catalog;
  // Only a catalog that holds every row of the run goes to the server, and it keeps its
  // complete mark only once the server has it: otherwise the run ends as failed, and neither
  // its catalog nor its log may say that it finished.
  const bool marked = catalog.write_stats(session_) == 0;
  catalog.close();
  const bool uploaded = marked && catalog.complete() && catalog_upload(run) == 0;
  if (!uploaded) {
    if (marked) catalog.mark_unfinished(session_);
    // A cancel during the upload is a cancel; anything else ends the run as failed.
    if (!session_.cancelled()) {
      session_.stats.errors.add(1);
      session_.stop_reason =
          "The backup ran, but its catalog could not be uploaded to the server, so this run "
          "cannot be restored.";
    }
    return cancel(run.net, catalog);
  }
  run.net.quit();
  if (shadow_on()) {
    w_.shadow->complete();
    w_.shadow->end();
  }
  session_.end_time = ctx_.clock.now();
  write_log_completed(session_.log.get(), session_.stats,
                      static_cast<double>(session_.end_time - session_.start_time) / 60.0);
  session_.log.reset();

  status("Cleaning Up...");
  profile_dir_cleanup(ctx_, session_);
  w_.cache.cleanup(&session_);
  status("Backup Completed!");

  bool newer = false;
  std::string version;
  if (!ctx_.install_dir.empty() && w_.update_check) {
    ctx_.clock.sleep_ms(400);
    status("Checking For Updates...");
    newer = w_.update_check(&version);
    ctx_.clock.sleep_ms(200);
  }
  status("Backup Completed!");
  ctx_.display.show_run_finished();

  if (w_.exit_when_done) {
    // The progress window shows the result for two seconds before it closes; a run in a
    // terminal has printed it already and ends at once.
    if (w_.close_window) {
      ctx_.clock.sleep_ms(2000);
      w_.close_window();
    }
    return RunOutcome::kCompleted;
  }
  if (newer && !ctx_.install_dir.empty()) {
    const ui::Answer answer = ctx_.messages.message_box(
        "Backup Completed!\n\nA new version of Corvio is available.  To download\n" + version +
            " now, click Yes below.",
        kTitle, ui::Buttons::YesNo);
    if (answer == ui::Answer::Yes) {
      start_process(ctx_.style.join(ctx_.install_dir, "autoupdate.exe"));
      if (w_.close_window) w_.close_window();
    }
    return RunOutcome::kCompleted;
  }
  ctx_.messages.message_box("Backup Completed!", kTitle);
  return RunOutcome::kCompleted;
}

}  // namespace

RunOutcome backup_worker(WorkerSetup& setup) { return Worker(setup).run(); }

}  // namespace corvio
