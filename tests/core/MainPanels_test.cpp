#include "core/MainPanels.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>

#include "Widgets_helpers.h"

namespace {

using testing_support::PaintCounter;

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(StatusBar, RepaintsForAChangedTextAndForEveryPictureSet) {
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

  // The same text again: no paint, and a paint never asks for another one.
  paints.count = 0;
  for (int i = 0; i < 20; ++i) bar.SetStatusText("Offline...");
  Pump(100);
  EXPECT_EQ(paints.count, 0);

  // The same picture again is still drawn.
  for (const auto set : {&TStatusBar::SetListenStateIcon, &TStatusBar::SetServerStateIcon}) {
    paints.count = 0;
    (bar.*set)(0);
    Pump(50);
    EXPECT_GE(paints.count, 1);
  }
  EXPECT_EQ(bar.StatusText(), "Offline...");
}

// Every text the program puts on the status line shows whole in the main
// window's fixed width; "Online-Listening Port: 296" was all a user saw.
TEST(StatusBar, EveryStatusTextFitsTheMainWindow) {
  testing_support::WidgetApp();
  TStatusBar bar(nullptr);
  bar.resize(200, 20);
  for (const char* text : {"Online-Listening Port: 2961", "Online-Listening Port: 65535", "Connecting... ",
                           "Offline...", "Server connection closed", "Connecting to server...",
                           "Retrieving information...", "Regsitered Sending logon...", "Sending profile data...",
                           "Sending friend list...", "Checking messages...", "Sending logon info..."}) {
    SCOPED_TRACE(text);
    bar.SetStatusText(text);
    EXPECT_LE(QFontMetrics(bar.TextFont()).horizontalAdvance(QString::fromLatin1(text)), bar.TextRect().width());
    EXPECT_GE(QFontInfo(bar.TextFont()).pixelSize(), 9);
    EXPECT_LE(bar.TextRect().right(), bar.width() - TStatusBar::kIconPanel);
  }
}

}  // namespace
