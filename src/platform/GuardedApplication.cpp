#include "platform/GuardedApplication.h"

#include "platform/EventLoop.h"

namespace platform {

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleCurrentException();
    return false;
  }
}

}  // namespace platform
