// SPDX-License-Identifier: Apache-2.0
// A report-style list that tells about mouse clicks the way the windows use them: a click
// says whether it hit a row, a double click on a row says so too. Selecting with the keyboard
// tells nothing, so buttons that follow clicks stay as they are.
#pragma once

#include <QMouseEvent>
#include <QTreeWidget>
#include <functional>

namespace corvio::ui::qt {

class ClickList : public QTreeWidget {
 public:
  ClickList(QWidget* parent, const char* id, const QStringList& columns,
            const std::vector<int>& widths)
      : QTreeWidget(parent) {
    setObjectName(id);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAllColumnsShowFocus(true);
    setHeaderLabels(columns);
    for (size_t i = 0; i < widths.size(); ++i) setColumnWidth(static_cast<int>(i), widths[i]);
  }

  std::function<void(bool on_row)> on_click;
  std::function<void()> on_row_double_click;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && on_click)
      on_click(itemAt(event->position().toPoint()) != nullptr);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) &&
        on_row_double_click)
      on_row_double_click();
  }
};

}  // namespace corvio::ui::qt
