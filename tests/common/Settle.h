#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>

#include <functional>

namespace testing_support {

// Handles events until pred() holds or ms have passed, as the program's own
// loop would: posted messages, socket notices, timers, and also the objects
// let go with deleteLater. A test body pumping with processEvents alone never
// frees those it let go itself (Qt frees them only once an event loop runs),
// so a wait for "nothing more happens" could not see a window that answers
// as it goes. Call it from the test's own body, not from inside a handler:
// there it would free objects whose code is still running.
inline bool Settle(const std::function<bool()>& pred, int ms) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (pred()) return true;
    if (clock.elapsed() >= ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
}

// Lets ms pass with every event handled: what a test then finds not to have
// happened had its chance to.
inline void Settle(int ms) { Settle([] { return false; }, ms); }

}  // namespace testing_support
