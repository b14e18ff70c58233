// SPDX-License-Identifier: Apache-2.0
// Driving the windows as a user would, headless: finding controls by their ids, clicking,
// typing, and acting inside a modal dialog's own event loop.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

// So that failed expectations show texts, not their bytes.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace corvio::ui::qt::test {

// The control with object name id below parent; fails the test when there is none.
template <typename T>
T* control(QWidget* parent, const char* id) {
  T* w = parent->findChild<T*>(id);
  EXPECT_NE(w, nullptr) << "no control " << id;
  return w;
}

inline void click(QWidget* parent, const char* id) {
  QPushButton* b = control<QPushButton>(parent, id);
  ASSERT_TRUE(b->isEnabled()) << "button " << id << " is disabled";
  QTest::mouseClick(b, Qt::LeftButton);
}

inline void type(QWidget* parent, const char* id, const QString& text) {
  QLineEdit* e = control<QLineEdit>(parent, id);
  e->clear();
  QTest::keyClicks(e, text);
}

// Clicks the list at row (-1: below the last row, on the empty area).
inline void click_row(QTreeWidget* list, int row, bool twice = false) {
  QPoint at;
  if (row >= 0) {
    at = list->visualItemRect(list->topLevelItem(row)).center();
  } else {
    at = QPoint(10, list->viewport()->height() - 5);
  }
  if (twice)
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  else
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
}

// Runs action on the next modal dialog once it is open, from within its event loop, and
// returns at once: the caller then does what opens the dialog.
inline void on_next_modal(std::function<void(QDialog*)> action) {
  QWidget* before = QApplication::activeModalWidget();
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, before, action] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || dialog == before || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(dialog);
  });
  timer->start(10);
}

// Where the screenshot driver wants pictures; empty in ordinary test runs.
inline std::string screenshot_dir() {
  const char* d = std::getenv("CORVIO_SCREENSHOTS");
  return d ? d : "";
}

// Saves a picture of the window as NAME.png when pictures are wanted.
inline void screenshot(QWidget* window, const char* name) {
  if (screenshot_dir().empty()) return;
  QApplication::processEvents();
  EXPECT_TRUE(window->grab().save(QString::fromStdString(screenshot_dir()) + "/" + name + ".png"));
}

}  // namespace corvio::ui::qt::test
