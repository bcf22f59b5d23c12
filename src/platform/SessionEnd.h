#pragma once

#include <QMetaObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace platform {

// Tells the program, once and on the GUI thread, that the desktop session is
// ending (the session manager asks to save) or that the process was asked to
// stop (SIGTERM, SIGHUP, SIGINT), so that it can leave the way it leaves when
// the user closes it. A second stop request while the first is being served
// stops the process the plain way. Create it after the application object.
//
// Nobody answers the questions a signalled stop raises on the way out (a
// chat's "save?", a file dialog): a modal one still open kQuestionGraceMs
// after the signal is cancelled, and any that comes up later at once. And
// should the process still run kHardStopSeconds after the signal, whatever
// holds it, it is stopped the plain way.
class TSessionEnd {
 public:
  explicit TSessionEnd(std::function<void()> onEnd);
  ~TSessionEnd();
  TSessionEnd(const TSessionEnd&) = delete;
  TSessionEnd& operator=(const TSessionEnd&) = delete;

  static constexpr int kQuestionGraceMs = 2000;
  static constexpr unsigned kHardStopSeconds = 6;

 private:
  void Ending(bool signalled);
  void CancelQuestions();
  class SignalPipe;
  std::unique_ptr<SignalPipe> signals_;
  std::function<void()> onEnd_;
  QMetaObject::Connection connection_;
  std::unique_ptr<QTimer> questions_;
  bool ended_ = false;
};

}  // namespace platform
