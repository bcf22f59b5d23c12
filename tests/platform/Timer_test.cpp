#include "platform/Timer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "common/OwnClock.h"

namespace {

void PumpTimersFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

TEST(Timer, EnablingARunningTimerKeepsItsPeriod) {
  TTimer timer;
  timer.SetEnabled(false);
  timer.SetInterval(400);
  // The thread's own time: kept waiting for a processor, the test would see
  // the tick late without any fault of the timer's.
  const testing_support::TOwnClock clock;
  std::int64_t fired_at = -1;
  timer.OnTimer = [&](TTimer*) {
    if (fired_at < 0) fired_at = clock.ElapsedMs();
  };
  timer.SetEnabled(true);
  PumpTimersFor(250);
  timer.SetEnabled(true);  // a keep-alive that re-enables must not push the tick away
  const std::int64_t reenabled_at = clock.ElapsedMs();
  PumpTimersFor(350);
  ASSERT_GE(fired_at, 0);
  // A restart would fire a whole interval after the re-enabling or later.
  EXPECT_LT(fired_at, reenabled_at + 400);
}

TEST(Timer, DisabledOrZeroIntervalNeverFiresAndAHandlerMayFreeItsTimer) {
  int fired = 0;
  {
    TTimer off;
    off.SetInterval(5);
    off.SetEnabled(false);
    off.OnTimer = [&](TTimer*) { ++fired; };
    TTimer zero;
    zero.SetInterval(0);
    zero.OnTimer = [&](TTimer*) { ++fired; };
    PumpTimersFor(40);
  }
  EXPECT_EQ(fired, 0);

  // Owned like a form's timer, and freed by its own handler.
  TComponent owner;
  auto* self = new TTimer(&owner);
  self->SetInterval(5);
  self->OnTimer = [&](TTimer* t) {
    ++fired;
    delete t;
  };
  PumpTimersFor(60);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(owner.ComponentCount(), 0);
}

}  // namespace
