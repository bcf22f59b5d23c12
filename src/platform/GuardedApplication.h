#pragma once

#include <QApplication>

namespace platform {

// The program's application object: every event it delivers (widgets,
// timers, sockets) runs inside the exception guard, so an exception from a
// handler reaches the exception hook instead of unwinding through the event
// loop.
class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace platform
