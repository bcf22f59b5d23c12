#pragma once

#include <QApplication>

#include "platform/EventLoop.h"

namespace platform {

// The program's application object: every event it delivers (widgets,
// timers, sockets) runs inside the exception guard, so an exception from a
// handler reaches the exception hook instead of unwinding through the event
// loop. It runs on the event loop TEventLoopChoice picks, and keeps every
// window it shows on the screen (KeepWindowsOnScreen).
class GuardedApplication : private TEventLoopChoice, public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace platform
