#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "QuillView_helpers.h"
#include "editor/QuillHint.h"
#include "editor/QuillTimer.h"

using namespace quill;

TEST(QuillTimer, RunsOnlyWithAHandlerAnIntervalAndEnabled) {
  viewtest::EnsureApp();
  TQuillTimer timer;
  EXPECT_FALSE(timer.Running());
  timer.SetOnTimer([](TQuillObject*) {});
  EXPECT_TRUE(timer.Running());
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Running());
  timer.SetInterval(10);
  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Running());
  timer.SetEnabled(true);
  timer.SetOnTimer(nullptr);
  EXPECT_FALSE(timer.Running());

  // A thread without an event loop gets no timer, and is told so.
  std::string refused;
  std::thread([&] {
    TQuillTimer other;
    try {
      other.SetOnTimer([](TQuillObject*) {});
    } catch (const EOutOfResources& e) {
      refused = e.what();
    }
  }).join();
  EXPECT_EQ(refused, "Not enough timers available");
}

// The hint's phases, stepped by hand with the mouse where the test says.
TEST(QuillHint, ShowsAfterThePauseAndHidesWhenTheMouseLeaves) {
  viewtest::EnsureApp();
  TQuillHint hint;
  TPoint mouse{100, 100};
  hint.MousePos = [&] { return mouse; };
  int changes = 0;
  hint.OnVisibleChanged = [&](TQuillObject*) { ++changes; };

  // Immediate: visible at once, at the mouse.
  hint.ActivateHint("hello");
  EXPECT_TRUE(hint.Visible());
  EXPECT_EQ(hint.Window().geometry().top(), 100);
  EXPECT_EQ(changes, 1);

  // The mouse leaves the hint's area: the next step hides; the one after
  // stops the timer.
  hint.TestHintArea = true;
  mouse = {0, 0};
  hint.Tick();
  EXPECT_FALSE(hint.Visible());
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(hint.TimerRunning());
  hint.Tick();
  EXPECT_FALSE(hint.TimerRunning());

  // Not immediate: shown once the hint pause has passed, 20 pixels below
  // the mouse.
  hint.Immediate = false;
  mouse = {100, 100};
  hint.ActivateHint("two\r\nlines");
  const int ticks = TQuillHint::kHintPause / hint.Interval();
  for (int i = 1; i < ticks; ++i) {
    hint.Tick();
    // Activating again while waiting keeps the time already waited.
    if (i == ticks / 2) hint.ActivateHint("two\r\nlines");
  }
  EXPECT_FALSE(hint.Visible());
  hint.Tick();
  EXPECT_TRUE(hint.Visible());
  EXPECT_EQ(hint.Window().geometry().top(), 120);
  // Shown too long: hidden after the hide pause.
  for (int i = 0; i <= TQuillHint::kHintHidePause / hint.Interval(); ++i) hint.Tick();
  EXPECT_FALSE(hint.Visible());

  // An empty text cancels.
  hint.ActivateHint("x");
  hint.ActivateHint("");
  EXPECT_FALSE(hint.Visible());
  EXPECT_FALSE(hint.TimerRunning());

  // Two lines are twice one line high.
  const TPoint one = hint.GetSize("one"), two = hint.GetSize("one\r\ntwo");
  EXPECT_EQ(two.Y - 4, 2 * (one.Y - 4));
  EXPECT_EQ(two.X, one.X);
}
