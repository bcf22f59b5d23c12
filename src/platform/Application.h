#pragma once

#include <QApplication>
#include <functional>
#include <memory>

namespace platform {

// The application object. Every event it delivers to a widget runs inside the
// event loop's guard, so an exception from a window's handler reaches the
// application's exception hook like one from a socket or a timer.
//
// OnSessionEnd runs (once, on the GUI thread) when the desktop session ends or
// the process is asked to stop (SIGTERM, SIGHUP, SIGINT), so that the program
// can leave the way it leaves when the user closes it.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

  std::function<void()> OnSessionEnd;

 private:
  void SessionEnding();
  class SignalPipe;
  std::unique_ptr<SignalPipe> signals_;
  bool sessionEnded_ = false;
};

}  // namespace platform
