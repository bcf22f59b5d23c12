#include "platform/SessionEnd.h"

#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "platform/EventLoop.h"

namespace platform {

namespace {

int signalWriteFd = -1;
constexpr int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (signalWriteFd >= 0) (void)!::write(signalWriteFd, &byte, 1);
  errno = saved;
}

}  // namespace

// A signal may arrive at any instruction; its handler only writes a byte into a
// pipe, and the event loop reads the pipe like any other notice.
class TSessionEnd::SignalPipe {
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
    for (int sig : kStopSignals) ::sigaction(sig, &sa, nullptr);
  }
  ~SignalPipe() {
    Restore();
    signalWriteFd = -1;
    notifier_.reset();
    if (fds_[0] >= 0) ::close(fds_[0]);
    if (fds_[1] >= 0) ::close(fds_[1]);
  }
  static void Restore() {
    for (int sig : kStopSignals) std::signal(sig, SIG_DFL);
  }

 private:
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

TSessionEnd::TSessionEnd(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {
  signals_ = std::make_unique<SignalPipe>([this] { Ending(); });
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connection_ = QObject::connect(app, &QGuiApplication::commitDataRequest, app,
                                   [this](QSessionManager&) { Ending(); }, Qt::DirectConnection);
}

TSessionEnd::~TSessionEnd() {
  QObject::disconnect(connection_);
}

void TSessionEnd::Ending() {
  if (ended_) return;
  ended_ = true;
  SignalPipe::Restore();
  if (onEnd_) onEnd_();
}

}  // namespace platform
