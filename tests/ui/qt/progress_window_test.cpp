// SPDX-License-Identifier: Apache-2.0
// The progress window and the throttling dialog over whole runs against the reference
// server: completion with counters that match the log, pause and resume, cancelling through
// the close box, and throttling changed while the run goes on.
#include "ui/qt/progress_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <thread>

#include "base/display.h"
#include "engine_fixture.h"
#include "qt_test_support.h"
#include "support/recording_view.h"
#include "ui/qt/prompts.h"
#include "util/format_count.h"

namespace corvio::ui::qt {
namespace {

using namespace test;
using corvio::test::pattern;
using corvio::test::write_file;

// Notes the thread of every field write.
struct ThreadNotingView : corvio::test::RecordingView {
  void set_field(Field field, std::string_view text) override {
    thread = QThread::currentThread();
    RecordingView::set_field(field, text);
  }
  QThread* thread = nullptr;
};

TEST(GuiThreadAdapterTest, WorkerCallsRunOnTheWindowThreadAndAreDoneWhenTheyReturn) {
  GuiThreadAdapter adapter;
  ThreadNotingView view;
  adapter.set_window(&view, nullptr);
  Prompts::set_scripted(true);
  Prompts::set_next_answer(Answer::Yes);
  std::atomic<bool> done{false};
  std::string seen_on_return;
  Answer answer = Answer::No;
  std::thread worker([&] {
    adapter.set_field(Field::Files, "7 ");
    seen_on_return = view.field(Field::Files);
    answer = adapter.message_box("Update now?", "Meridane Online Backup", Buttons::YesNo);
    done = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
  worker.join();
  EXPECT_EQ(seen_on_return, "7 ");
  EXPECT_EQ(view.thread, QThread::currentThread());
  EXPECT_EQ(answer, Answer::Yes);
  EXPECT_EQ(Prompts::take_shown(),
            (std::vector<ShownBox>{{"Update now?", "Meridane Online Backup"}}));
  // On the window's own thread the calls run at once instead of waiting for themselves.
  adapter.set_status("here");
  EXPECT_EQ(adapter.status(), "here");
  adapter.set_window(nullptr, nullptr);
  adapter.set_status("nobody");
  EXPECT_EQ(adapter.status(), "");
  Prompts::set_scripted(false);
}

class ProgressWindowTest : public corvio::test::EngineFixture {
 protected:
  ProgressWindowTest() {
    // The worker's waits take real time here, so the window's timers meter and show them.
    clock.on_sleep = [](uint32_t ms) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
    Prompts::set_scripted(true);
    // Throttling as a new profile has it; the worker at normal priority.
    profile.thread_priority = 2;
    profile.tx_limit_unit = 1;
    profile.rx_limit_unit = 1;
    profile.rx_limit_rate = 50;
  }
  ~ProgressWindowTest() override {
    window.reset();
    Prompts::set_scripted(false);
  }

  // Opens the progress window on the fixture's profile, which starts the run.
  void open() {
    session.reset();
    session.profile = std::make_unique<Profile>(profile);
    window = std::make_unique<ProgressWindow>(
        gui_ctx, session, adapter, [this](std::function<void()> close_window) {
          WorkerSetup setup{gui_ctx,  session, *cache,
                            tls,      nullptr, false,
                            settings, nullptr, std::move(close_window)};
          return backup_worker(setup);
        });
    window->show();
    window->start();
  }

  QString field(Field f) {
    const QString id = QString::number(static_cast<int>(f));
    if (auto* edit = window->findChild<QLineEdit*>(id)) return edit->text();
    return control<QLabel>(window.get(), id.toLatin1())->text();
  }
  QString status() { return control<QLabel>(window.get(), "1034")->text(); }
  QPushButton* button(const char* id) { return control<QPushButton>(window.get(), id); }
  bool wait_until_ended(int ms = 60000) {
    return QTest::qWaitFor([this] { return !window->worker_running(); }, ms);
  }
  // The last line of the log that starts with name, such as "Files:".
  uint64_t logged(const std::string& log, const std::string& name) {
    const size_t at = log.rfind("\n" + name);
    return at == std::string::npos ? UINT64_MAX : std::stoull(log.substr(at + 1 + name.size()));
  }

  GuiThreadAdapter adapter;
  ui::Display gui_display;
  Context gui_ctx{fs, clock, adapter, gui_display, ctx.style, ctx.data_dir, ""};
  std::unique_ptr<ProgressWindow> window;
};

TEST_F(ProgressWindowTest, ARunReachesBackupCompletedWithTheCountersOfItsLog) {
  std::filesystem::create_directories(source("sub"));
  write_file(source("small.txt"), "hello");
  write_file(source("sub/two_blocks.bin"), pattern(1048577, 7));
  ASSERT_TRUE(serve());
  open();
  EXPECT_EQ(window->windowTitle(), "Meridane Online Backup");
  EXPECT_EQ(field(Field::Version), "v0.13.0004 for Windows Vista");
  EXPECT_EQ(field(Field::TagName), "home");
  EXPECT_EQ(field(Field::ProfileName), "Home files");
  EXPECT_EQ(field(Field::BlockText), "Block 0 of 0  (0%)");
  EXPECT_FALSE(button("1009")->isEnabled());
  const QFont font = control<QLabel>(window.get(), "1034")->font();
  EXPECT_EQ(font.pixelSize(), 22);
  EXPECT_EQ(font.family(), "Arial");

  ASSERT_TRUE(wait_until_ended());
  // The worker's message box was handed to this thread and answered before the run ended.
  EXPECT_EQ(Prompts::take_shown(),
            (std::vector<ShownBox>{{"Backup Completed!", "Meridane Online Backup"}}));
  EXPECT_EQ(window->outcome(), RunOutcome::kCompleted);
  EXPECT_EQ(status(), "Backup Completed!");
  EXPECT_EQ(button("2")->text(), "Close");
  EXPECT_TRUE(button("2")->isEnabled());
  EXPECT_FALSE(button("1008")->isEnabled());
  EXPECT_FALSE(button("1010")->isEnabled());

  const std::string log = log_text(session.catalog_id);
  auto shown = [](uint64_t v) { return QString::fromStdString(format_count(v) + " "); };
  EXPECT_EQ(field(Field::Files), shown(logged(log, "Files:")));
  EXPECT_EQ(field(Field::Files), "2 ");
  EXPECT_EQ(field(Field::Directories), shown(logged(log, "Directories:")));
  EXPECT_EQ(field(Field::BytesTotal), shown(logged(log, "Bytes:")));
  EXPECT_GT(logged(log, "Bytes:"), 1048582u);  // the files, then the catalog itself
  EXPECT_EQ(field(Field::BytesStored), shown(logged(log, "Bytes Stored:")));
  EXPECT_EQ(field(Field::BlocksTotal), shown(logged(log, "Segs:")));
  EXPECT_EQ(field(Field::BlocksStored), shown(logged(log, "Segs Stored:")));
  EXPECT_FALSE(field(Field::StartTime).isEmpty());
  // The totals come from the 500 ms timer, which goes on after the run.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return field(Field::NetTx) == shown(session.net_tx_bytes.load()); }, 2000));
  EXPECT_TRUE(field(Field::Elapsed).endsWith(" sec"));
  screenshot(window.get(), "progress-after");

  click(window.get(), "2");
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), 2);
}

TEST_F(ProgressWindowTest, PauseResumeAndTheCloseBoxCancelsTheRunCleanly) {
  write_file(source("big.bin"), pattern(1048576, 3));
  profile.tx_limit_enabled = 1;  // 1 KB/s: the run is still going when the test acts
  profile.tx_limit_unit = 1;
  profile.tx_limit_rate = 1;
  ASSERT_TRUE(serve());
  open();
  // Pause is enabled once logged in.
  ASSERT_TRUE(QTest::qWaitFor([&] { return button("1008")->isEnabled(); }, 30000));
  click(window.get(), "1008");
  EXPECT_EQ(button("1008")->text(), "Resume");
  EXPECT_EQ(session.pause_requested.load(), 1u);
  EXPECT_TRUE(QTest::qWaitFor([&] { return status() == "Paused..."; }, 10000));
  click(window.get(), "1008");
  EXPECT_EQ(button("1008")->text(), "Pause");
  EXPECT_EQ(session.pause_requested.load(), 0u);
  EXPECT_TRUE(QTest::qWaitFor([&] { return status() != "Paused..."; }, 10000));

  // The close box while the run goes on only asks for a cancel.
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(session.cancel_requested.load(), 1u);
  click(window.get(), "2");  // a second request changes nothing
  ASSERT_TRUE(wait_until_ended());
  EXPECT_EQ(window->outcome(), RunOutcome::kCancelled);
  EXPECT_EQ(status(), "Backup Cancelled!");
  EXPECT_EQ(Prompts::take_shown(),
            (std::vector<ShownBox>{{"Backup Cancelled!", "Meridane Online Backup"}}));
  const std::string log = log_text(session.catalog_id);
  EXPECT_NE(log.find("\n\nBackup cancelled!\n"), std::string::npos) << log;
  EXPECT_FALSE(session.log);
  // Ended, the close box closes.
  window->close();
  EXPECT_FALSE(window->isVisible());
}

TEST_F(ProgressWindowTest, ThrottlingChangesTheRunningTransfer) {
  write_file(source("big.bin"), pattern(3 * 1048576, 5));
  ASSERT_TRUE(serve());
  open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return button("1008")->isEnabled(); }, 30000));

  // A TX limit of 1 KB/s, set while the run goes on: the transfer nearly stops.
  on_next_modal([&](QDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Backup Throttling");
    EXPECT_EQ(control<QComboBox>(dialog, "1035")->currentText(), "Normal");
    EXPECT_EQ(control<QComboBox>(dialog, "1038")->currentText(), "KB/s (kilobytes/sec)");
    // A failed Apply changes nothing, not even the priority.
    control<QComboBox>(dialog, "1035")->setCurrentIndex(0);
    control<QCheckBox>(dialog, "1041")->setChecked(true);
    type(dialog, "1037", "");
    click(dialog, "1044");
    EXPECT_EQ(Prompts::take_shown(), (std::vector<ShownBox>{{"RX throttle rate value must be "
                                                             "at least 1",
                                                             "RX Rate Error"}}));
    EXPECT_EQ(session.profile->thread_priority.load(), 2u);
    control<QCheckBox>(dialog, "1041")->setChecked(false);
    type(dialog, "1037", "50");
    control<QComboBox>(dialog, "1035")->setCurrentIndex(2);
    control<QCheckBox>(dialog, "1040")->setChecked(true);
    type(dialog, "1036", "1");
    screenshot(dialog, "throttling-dialog");
    click(dialog, "1");
    EXPECT_FALSE(dialog->isVisible());
  });
  click(window.get(), "1010");
  EXPECT_EQ(session.profile->tx_limit_enabled.load(), 1u);
  EXPECT_EQ(session.profile->tx_limit_rate.load(), 1u);
  QTest::qWait(500);  // what was banked before the limit is spent
  const uint64_t before = session.net_tx_bytes.load();
  QTest::qWait(1500);
  const uint64_t limited = session.net_tx_bytes.load() - before;
  EXPECT_TRUE(window->worker_running());
  // About 1.5 KB at the limit, plus at most one chunk sent on credit; unlimited, the whole
  // 3 MB would go in far less time.
  EXPECT_LT(limited, 16u * 1024) << "bytes sent in 1.5 s under the limit";
  screenshot(window.get(), "progress-during");

  // Turning the limit off releases the waiting send at the worker's next check (every 50 ms).
  on_next_modal([&](QDialog* dialog) {
    EXPECT_TRUE(control<QCheckBox>(dialog, "1040")->isChecked());
    EXPECT_EQ(control<QLineEdit>(dialog, "1036")->text(), "1");
    control<QCheckBox>(dialog, "1040")->setChecked(false);
    const uint64_t waiting = session.net_tx_bytes.load();
    QElapsedTimer timer;
    timer.start();
    click(dialog, "1044");  // Apply: the dialog stays open
    const bool released =
        QTest::qWaitFor([&] { return session.net_tx_bytes.load() > waiting; }, 5000);
    const qint64 ms = timer.elapsed();
    EXPECT_TRUE(released);
    EXPECT_LT(ms, 1000) << "a generous bound on a loaded machine; the wait itself is 50 ms";
    std::printf("waiting send released after %lld ms\n", static_cast<long long>(ms));
    EXPECT_TRUE(dialog->isVisible());
    click(dialog, "2");
  });
  click(window.get(), "1010");
  ASSERT_TRUE(wait_until_ended());
  EXPECT_EQ(window->outcome(), RunOutcome::kCompleted);
  EXPECT_EQ(field(Field::Files), "1 ");
  EXPECT_EQ(field(Field::BytesTotal).toStdString(),
            format_count(logged(log_text(session.catalog_id), "Bytes:")) + " ");
  EXPECT_EQ(session.profile->tx_limit_enabled.load(), 0u);
  EXPECT_EQ(Prompts::take_shown(),
            (std::vector<ShownBox>{{"Backup Completed!", "Meridane Online Backup"}}));
}

}  // namespace
}  // namespace corvio::ui::qt
