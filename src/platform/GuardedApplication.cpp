#include "platform/GuardedApplication.h"

#include "platform/EventLoop.h"
#include "platform/WindowPlacement.h"

namespace platform {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {
  TEventLoopChoice::Done();
  KeepWindowsOnScreen();
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleCurrentException();
    return false;
  }
}

}  // namespace platform
