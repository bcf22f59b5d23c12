#pragma once

#include <QMetaObject>
#include <functional>
#include <memory>

namespace platform {

// Tells the program, once and on the GUI thread, that the desktop session is
// ending (the session manager asks to save) or that the process was asked to
// stop (SIGTERM, SIGHUP, SIGINT), so that it can leave the way it leaves when
// the user closes it. A second stop request while the first is being served
// stops the process the plain way. Create it after the application object.
class TSessionEnd {
 public:
  explicit TSessionEnd(std::function<void()> onEnd);
  ~TSessionEnd();
  TSessionEnd(const TSessionEnd&) = delete;
  TSessionEnd& operator=(const TSessionEnd&) = delete;

 private:
  void Ending();
  class SignalPipe;
  std::unique_ptr<SignalPipe> signals_;
  std::function<void()> onEnd_;
  QMetaObject::Connection connection_;
  bool ended_ = false;
};

}  // namespace platform
