#pragma once

#include <QApplication>
#include <QEvent>

namespace testing_support {

// Counts the paints of the widgets it is installed on.
class PaintCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++count;
    return false;
  }
};

// The widget tests need an application object; the first case that asks makes
// it, and it goes when the tests end (before the process's own teardown, which
// Qt's input and font layers do not survive).
QApplication& WidgetApp();

}  // namespace testing_support
