#include "platform/SessionEnd.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "platform/EventLoop.h"

namespace platform {

namespace {

int signalWriteFd = -1;
volatile std::sig_atomic_t stopSignalled = 0;
constexpr int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (signalWriteFd >= 0) (void)!::write(signalWriteFd, &byte, 1);
  // Counted from here: the GUI thread may be too busy to see the pipe.
  if (stopSignalled == 0) {
    stopSignalled = 1;
    ::alarm(TSessionEnd::kHardStopSeconds);
  }
  errno = saved;
}

// As the stop signal's own default would have ended the process.
extern "C" void OnHardStop(int) {
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  ::sigaction(SIGTERM, &plain, nullptr);
  ::raise(SIGTERM);
}

}  // namespace

// A signal may arrive at any instruction; its handler only writes a byte into a
// pipe (and sets the alarm of the hard stop), and the event loop reads the
// pipe like any other notice.
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
    // Left in place once set: the hard stop must hold until the very end.
    struct sigaction hard {};
    hard.sa_handler = OnHardStop;
    sigemptyset(&hard.sa_mask);
    ::sigaction(SIGALRM, &hard, nullptr);
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
  signals_ = std::make_unique<SignalPipe>([this] { Ending(true); });
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connection_ = QObject::connect(app, &QGuiApplication::commitDataRequest, app,
                                   [this](QSessionManager&) { Ending(false); }, Qt::DirectConnection);
}

TSessionEnd::~TSessionEnd() {
  QObject::disconnect(connection_);
}

void TSessionEnd::Ending(bool signalled) {
  if (ended_) return;
  ended_ = true;
  SignalPipe::Restore();
  if (signalled) {
    // Started before the end runs: its questions wait in loops of their own,
    // which run this timer too.
    questions_ = std::make_unique<QTimer>();
    questions_->setInterval(kQuestionGraceMs);
    QObject::connect(questions_.get(), &QTimer::timeout, [this] { CancelQuestions(); });
    questions_->start();
  }
  if (onEnd_) onEnd_();
}

void TSessionEnd::CancelQuestions() {
  questions_->setInterval(50);
  // Boxes may stand on boxes: each answered goes, and the one under it is next.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (dialog == nullptr) break;
    dialog->done(QDialog::Rejected);
    if (QApplication::activeModalWidget() == modal) break;
  }
}

}  // namespace platform
