#include "platform/UrlOpener.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "platform/Charset.h"
#include "platform/FileNames.h"

namespace platform {

namespace {

// How long the opener's own failure is waited for; a browser that runs in the
// opener's place keeps it busy for as long as the user browses.
constexpr int kVerdictMs = 8000;
constexpr int kPollMs = 100;

void Later(TOpenDone done, bool opened) {
  QTimer::singleShot(0, QCoreApplication::instance(), [done = std::move(done), opened] {
    if (done) done(opened);
  });
}

// Runs the opener in a session of its own, so that it outlives this program
// (and its browser is not ended with it), and watches its exit status.
void RunOpener(const QUrl& url, TOpenDone done) {
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty()) {
    Later(std::move(done), QDesktopServices::openUrl(url));
    return;
  }
  const std::string program = opener.toStdString();
  const std::string argument = url.toString(QUrl::FullyEncoded).toStdString();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
    ::execv(program.c_str(), argv);
    ::_exit(127);
  }
  if (pid < 0) {
    Later(std::move(done), false);
    return;
  }
  auto* timer = new QTimer(QCoreApplication::instance());
  auto waited = std::make_shared<int>(0);
  auto pending = std::make_shared<TOpenDone>(std::move(done));
  QObject::connect(timer, &QTimer::timeout, timer, [timer, pid, waited, pending] {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    const bool ended = r == pid || r < 0;
    *waited += timer->interval();
    if (*pending && (ended || *waited >= kVerdictMs)) {
      const bool opened = !ended || (r == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0);
      auto done = std::exchange(*pending, nullptr);
      done(opened);
    }
    if (ended) {
      timer->deleteLater();
    } else if (*waited >= kVerdictMs) {
      timer->setInterval(1000);  // only reaped from now on
    }
  });
  timer->start(kPollMs);
}

}  // namespace

void OpenUrl(const std::string& address, TOpenDone done) {
  const QUrl url(ToQString(address), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  // A file or custom address could start a program: never handed on.
  if (!url.isValid() || (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "mailto")) {
    Later(std::move(done), false);
    return;
  }
  RunOpener(url, std::move(done));
}

void ShowFolder(const std::string& folder, TOpenDone done) {
  if (!DirectoryExists(folder)) {
    Later(std::move(done), false);
    return;
  }
  const QString path = QString::fromStdString(PathFromName(IncludeTrailingPathDelimiter(folder)).string());
  RunOpener(QUrl::fromLocalFile(path), std::move(done));
}

}  // namespace platform
