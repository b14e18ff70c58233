// SPDX-License-Identifier: Apache-2.0
#include "ui/qt/progress_window.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLineEdit>

#include "base/version.h"
#include "ui/qt/button.h"
#include "ui/qt/prompts.h"
#include "ui/qt/throttling_dialog.h"

namespace corvio::ui::qt {

namespace {

struct FieldSpec {
  Field field;
  const char* label;
  Qt::Alignment align;
};

constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignCenter;

// The counter fields, two to a row.
const FieldSpec kCounters[] = {
    {Field::Sent, "Sent:", kRight},
    {Field::Directories, "Directories:", kRight},
    {Field::Files, "Files:", kRight},
    {Field::FilesSkipped, "Files Skipped:", kRight},
    {Field::BytesTotal, "Bytes Total:", kRight},
    {Field::BytesSkipped, "Bytes Skipped:", kRight},
    {Field::BytesStored, "Bytes Stored:", kRight},
    {Field::BytesCompressed, "Bytes Compressed:", kRight},
    {Field::BlocksTotal, "Blocks Total:", kRight},
    {Field::BlocksStored, "Blocks Stored:", kRight},
    {Field::BlocksDuped, "Blocks Duped:", kRight},
    {Field::NetTx, "Net TX:", kRight},
    {Field::TxRate, "TX Rate:", kRight},
    {Field::NetRx, "Net RX:", kRight},
    {Field::RxRate, "RX Rate:", kRight},
    {Field::StartTime, "Start Time:", kCentre},
    {Field::Elapsed, "Elapsed:", kCentre},
};

QString id_of(Field f) { return QString::number(static_cast<int>(f)); }

}  // namespace

ProgressWindow::ProgressWindow(Context& ctx, BackupSession& session, GuiThreadAdapter& adapter,
                               RunWorker run_worker)
    : session_(session), adapter_(adapter), run_worker_(std::move(run_worker)), run_(ctx, session) {
  setWindowTitle("Meridane Online Backup");
  auto* grid = new QGridLayout(this);
  auto read_only = [this](Field f, Qt::Alignment align) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(id_of(f));
    edit->setReadOnly(true);
    edit->setAlignment(align);
    fields_[f] = edit;
    return edit;
  };
  auto label = [this](const char* text) { return new QLabel(text, this); };

  int row = 0;
  grid->addWidget(label("Profile Name:"), row, 0);
  grid->addWidget(read_only(Field::ProfileName, Qt::AlignLeft), row, 1, 1, 3);
  grid->addWidget(label("Tag Name:"), ++row, 0);
  grid->addWidget(read_only(Field::TagName, Qt::AlignLeft), row, 1, 1, 3);

  status_ = new QLabel(this);
  status_->setObjectName("1034");
  status_->setAlignment(Qt::AlignCenter);
  QFont font("Arial");
  font.setPixelSize(22);
  status_->setFont(font);
  status_->setMinimumHeight(34);
  grid->addWidget(status_, ++row, 0, 1, 4);

  grid->addWidget(label("Directory:"), ++row, 0);
  grid->addWidget(read_only(Field::Directory, Qt::AlignLeft), row, 1, 1, 3);
  grid->addWidget(label("Filename:"), ++row, 0);
  grid->addWidget(read_only(Field::Filename, Qt::AlignLeft), row, 1, 1, 3);
  grid->addWidget(label("Size:"), ++row, 0);
  grid->addWidget(read_only(Field::Size, kRight), row, 1);

  file_progress_ = new QProgressBar(this);
  file_progress_->setObjectName("1015");
  file_progress_->setRange(0, 1);
  file_progress_->setValue(0);
  file_progress_->setTextVisible(false);
  grid->addWidget(file_progress_, ++row, 0, 1, 3);
  auto* block_text = new QLabel("Block 0 of 0  (0%)", this);
  block_text->setObjectName(id_of(Field::BlockText));
  fields_[Field::BlockText] = block_text;
  grid->addWidget(block_text, row, 3);

  ++row;
  for (size_t i = 0; i < std::size(kCounters); ++i) {
    const int r = row + static_cast<int>(i / 2);
    const int c = static_cast<int>(i % 2) * 2;
    grid->addWidget(label(kCounters[i].label), r, c);
    grid->addWidget(read_only(kCounters[i].field, kCounters[i].align), r, c + 1);
  }
  row += static_cast<int>((std::size(kCounters) + 1) / 2);
  // The start time is a 24-character date; keep it whole.
  fields_[Field::StartTime]->setMinimumWidth(
      fontMetrics().horizontalAdvance("Wed Dec 29 00:00:00 2026") + 20);

  pause_ = button(this, "Pause", "1008");
  pause_->setEnabled(false);
  cancel_ = button(this, "Cancel", "2");
  QPushButton* logs = button(this, "Logs", "1009");
  logs->setEnabled(false);
  throttling_ = button(this, "Throttling", "1010");
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {pause_, cancel_, logs, throttling_}) buttons->addWidget(b);
  grid->addLayout(buttons, row, 0, 1, 4);

  auto* version = new QLabel(this);
  version->setObjectName(id_of(Field::Version));
  fields_[Field::Version] = version;
  grid->addWidget(version, ++row, 0, 1, 4);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  setMinimumWidth(600);

  connect(pause_, &QPushButton::clicked, this, [this] { pause_pressed(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(throttling_, &QPushButton::clicked, this, [this] {
    ThrottlingDialog dialog(
        *session_.profile, [this](uint32_t p) { run_.set_worker_priority(p); }, this);
    dialog.exec();
  });
  connect(&timer_100ms_, &QTimer::timeout, this, [this] { run_.every_100ms(); });
  connect(&timer_500ms_, &QTimer::timeout, this, [this] { run_.every_500ms(); });
  connect(&timer_3000ms_, &QTimer::timeout, this, [this] { run_.every_3000ms(); });
}

ProgressWindow::~ProgressWindow() {
  if (run_.running()) {
    // Only when the window goes away with the run still on (the program is being torn down):
    // the worker may be waiting for this thread, so keep serving it until it has ended.
    session_.cancel_requested = 1;
    while (!run_.finished()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    run_.join();
  }
  adapter_.set_window(nullptr, nullptr);
}

void ProgressWindow::start() {
  adapter_.set_window(this, this);
  auto body = [this] {
    return run_worker_([this] {
      QMetaObject::invokeMethod(
          this, [this] { close_when_done_ = true; }, Qt::QueuedConnection);
    });
  };
  // The worker's last act: the join and a pending close happen on this thread.
  auto ended = [this] {
    QMetaObject::invokeMethod(
        this, [this] { worker_ended(); }, Qt::QueuedConnection);
  };
  run_.start(adapter_, body, ended);
  set_field(Field::Version, version_text() + " for Windows Vista");
  timer_100ms_.start(100);
  timer_500ms_.start(500);
  timer_3000ms_.start(3000);
}

void ProgressWindow::worker_ended() {
  run_.join();
  if (close_when_done_) done(1);
}

void ProgressWindow::reject() {
  if (run_.running()) {
    session_.cancel_requested = 1;  // the worker reacts at its next check
    return;
  }
  done(2);
}

void ProgressWindow::pause_pressed() {
  if (session_.pause_requested.load()) {
    session_.pause_requested = 0;
    pause_->setText("Pause");
  } else {
    session_.pause_requested = 1;
    pause_->setText("Resume");
  }
}

void ProgressWindow::set_field(Field field, std::string_view text) {
  auto it = fields_.find(field);
  if (it == fields_.end()) return;
  if (auto* edit = qobject_cast<QLineEdit*>(it->second))
    edit->setText(qtext(text));
  else if (auto* label = qobject_cast<QLabel*>(it->second))
    label->setText(qtext(text));
}

void ProgressWindow::set_status(std::string_view text) { status_->setText(qtext(text)); }

std::string ProgressWindow::status() { return text8(status_->text().left(1023)); }

void ProgressWindow::set_file_progress(uint32_t position, uint32_t range) {
  // The bar's scale is a signed int; keep the proportion for larger ranges.
  while (range > 1'000'000'000u) {
    range /= 2;
    position /= 2;
  }
  file_progress_->setRange(0, static_cast<int>(range));
  file_progress_->setValue(static_cast<int>(std::min(position, range)));
}

void ProgressWindow::set_pause_enabled(bool enabled) { pause_->setEnabled(enabled); }

void ProgressWindow::show_run_finished() {
  cancel_->setEnabled(true);
  cancel_->setText("Close");
  throttling_->setEnabled(false);
  pause_->setEnabled(false);
}

}  // namespace corvio::ui::qt
