#include "platform/Application.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>

#include "platform/EventLoop.h"

namespace platform {

namespace {

int signalWriteFd = -1;

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (signalWriteFd >= 0) (void)!::write(signalWriteFd, &byte, 1);
  errno = saved;
}

}  // namespace

// A signal may arrive at any instruction; its handler only writes a byte into a
// pipe, and the event loop reads the pipe like any other notice.
class TApplication::SignalPipe {
 public:
  explicit SignalPipe(std::function<void()> onSignal) {
    if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    signalWriteFd = fds_[1];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, onSignal] {
      char buf[16];
      while (::read(fds_[0], buf, sizeof buf) > 0) {
      }
      Guarded(onSignal);
    });
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &sa, nullptr);
  }
  ~SignalPipe() {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) std::signal(sig, SIG_DFL);
    signalWriteFd = -1;
    notifier_.reset();
    if (fds_[0] >= 0) ::close(fds_[0]);
    if (fds_[1] >= 0) ::close(fds_[1]);
  }

 private:
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  signals_ = std::make_unique<SignalPipe>([this] { SessionEnding(); });
  QObject::connect(this, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SessionEnding(); },
                   Qt::DirectConnection);
}

TApplication::~TApplication() = default;

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

void TApplication::SessionEnding() {
  if (sessionEnded_) return;
  sessionEnded_ = true;
  // A second request to stop, while the first is still being served, stops
  // the process the plain way.
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) std::signal(sig, SIG_DFL);
  if (OnSessionEnd) OnSessionEnd();
  else quit();
}

}  // namespace platform
