#include "platform/UrlOpener.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

// The opener's verdict: "" when it took the address, else why not.
using TVerdict = std::function<void(const std::string& failure)>;

void Later(TVerdict done, const std::string& failure) {
  QTimer::singleShot(0, QCoreApplication::instance(), [done = std::move(done), failure] {
    if (done) done(failure);
  });
}

// What the opener's exit says. Its error output stays the program's own: a
// browser it starts may write there for as long as it runs.
// `shower` names the kind of program that shows such an address.
std::string ExitFailure(int status, const std::string& shower) {
  if (!WIFEXITED(status)) return "the opener was stopped";
  switch (WEXITSTATUS(status)) {
    case 0: return "";
    case 2: return "it was not found";
    case 3: return "no " + shower + " was found";
    case 4: return "the " + shower + " reported an error";
    case 127: return "xdg-open could not be run";
    default: return "the opener ended with code " + std::to_string(WEXITSTATUS(status));
  }
}

// Runs the opener in a session of its own, so that it outlives this program
// (and its browser is not ended with it), and watches its exit status.
void RunOpener(const QUrl& url, const std::string& shower, TVerdict done) {
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty()) {
    Later(std::move(done), QDesktopServices::openUrl(url) ? "" : "no " + shower + " was found");
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
    Later(std::move(done), std::string("the opener could not be started: ") + std::strerror(errno));
    return;
  }
  auto* timer = new QTimer(QCoreApplication::instance());
  auto waited = std::make_shared<int>(0);
  auto pending = std::make_shared<TVerdict>(std::move(done));
  QObject::connect(timer, &QTimer::timeout, timer, [timer, pid, waited, pending, shower] {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    const bool ended = r == pid || r < 0;
    *waited += timer->interval();
    if (*pending && (ended || *waited >= kVerdictMs)) {
      const std::string failure = ended && r == pid ? ExitFailure(status, shower) : "";
      auto verdict = std::exchange(*pending, nullptr);
      verdict(failure);
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
  TVerdict verdict = [done = std::move(done)](const std::string& failure) {
    if (done) done(failure.empty());
  };
  // A file or custom address could start a program: never handed on.
  if (!url.isValid() || (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "mailto")) {
    Later(std::move(verdict), "refused");
    return;
  }
  RunOpener(url, "web browser", std::move(verdict));
}

void ShowFolder(const std::string& folder, TShowFolderDone done) {
  if (!DirectoryExists(folder)) {
    Later(std::move(done), "it is not there");
    return;
  }
  const QString path = QString::fromStdString(PathFromName(IncludeTrailingPathDelimiter(folder)).string());
  RunOpener(QUrl::fromLocalFile(path), "file manager", std::move(done));
}

}  // namespace platform
