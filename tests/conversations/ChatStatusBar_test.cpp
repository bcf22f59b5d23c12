#include "conversations/ChatStatusBar.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <string>
#include <vector>

#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

namespace {

using testing_support::PaintCounter;

struct Change {
  int Panel;  // -1: the picture
  std::string Text;
  int Image = 0;
};

// Turns of panel changes as the windows make them; after each, what the
// screen shows is the bar drawn afresh, and a turn whose changes come back
// to what is shown paints nothing (a sent text typed in and cleared).
TEST(ChatStatusBar, ScreenAfterEachTurnIsTheBarDrawnAfresh) {
  testing_support::WidgetApp();
  QWidget window;
  auto* bar = new TChatStatusBar(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addStretch(1);
  layout->addWidget(bar);
  window.resize(700, 60);
  window.show();
  ASSERT_TRUE(platform::ProcessMessagesUntil(
      [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); }, 5000));
  PaintCounter counter;
  bar->installEventFilter(&counter);
  const struct Turn {
    std::vector<Change> Changes;
    bool Paints;
  } turns[] = {
      {{{0, "Character Count: 0"}, {2, "Connecting..."}, {-1, "", 2}}, true},
      {{{0, "Character Count: 37"}, {0, "Character Count: 0"}}, false},
      {{{1, "Ann is typing a message"}}, true},
      {{{2, "Connected..."}, {-1, "", 1}}, true},
      {{{-1, "", 2}, {-1, "", 1}}, false},
      {{{0, "Character Count: 5"}}, true},
      {{{1, ""}, {0, "Character Count: 0"}, {2, "Closed..."}, {-1, "", 0}}, true},
  };
  for (std::size_t t = 0; t < std::size(turns); ++t) {
    platform::ProcessMessages();
    counter.count = 0;
    for (const Change& c : turns[t].Changes) {
      if (c.Panel < 0) bar->SetStateImage(c.Image);
      else bar->SetPanel(c.Panel, c.Text);
    }
    platform::ProcessMessages();
    platform::ProcessMessages();
    EXPECT_EQ(counter.count > 0, turns[t].Paints) << "turn " << t;
    const QImage shown = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), fresh.size());
    ASSERT_TRUE(shown == fresh) << "turn " << t;
  }
}

}  // namespace
