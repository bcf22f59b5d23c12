#include "core/MainPanels.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>

#include "Widgets_helpers.h"

namespace {

class PaintCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++count;
    return false;
  }
};

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(StatusBar, RepaintsOnlyWhenItsTextOrAPictureChanges) {
  testing_support::WidgetApp();
  TStatusBar bar(nullptr);
  bar.resize(190, 20);
  bar.show();
  PaintCounter paints;
  bar.installEventFilter(&paints);
  Pump(50);

  bar.SetStatusText("Offline...");
  Pump(50);
  EXPECT_GE(paints.count, 1);

  // Nothing new to show: no paint, and a paint never asks for another one.
  paints.count = 0;
  for (int i = 0; i < 20; ++i) {
    bar.SetStatusText("Offline...");
    bar.SetListenStateIcon(bar.ListenStateIcon());
    bar.SetServerStateIcon(bar.ServerStateIcon());
  }
  Pump(100);
  EXPECT_EQ(paints.count, 0);

  bar.SetListenStateIcon(1);
  Pump(50);
  EXPECT_GE(paints.count, 1);
  EXPECT_EQ(bar.StatusText(), "Offline...");
}

}  // namespace
