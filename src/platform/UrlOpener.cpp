#include "platform/UrlOpener.h"

#include <fcntl.h>
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

// Of what the opener writes on its error output, the last this many bytes
// are kept: its final line is what the user is told.
constexpr std::size_t kComplaintBytes = 2048;

void Later(TVerdict done, const std::string& failure) {
  QTimer::singleShot(0, QCoreApplication::instance(), [done = std::move(done), failure] {
    if (done) done(failure);
  });
}

// The last line the opener wrote on its error output, if any.
std::string LastLine(const std::string& text) {
  const std::size_t end = text.find_last_not_of(" \r\n\t");
  if (end == std::string::npos) return "";
  const std::size_t newline = text.find_last_of('\n', end);
  const std::size_t begin = newline == std::string::npos ? 0 : newline + 1;
  return text.substr(begin, end + 1 - begin);
}

// What an opener's exit means: its codes 3 (and a failed start) say that
// nothing on this desktop opens such an address.
std::string ExitFailure(int status, const std::string& complaint, const std::string& missing) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  const std::string said = LastLine(complaint);
  if (WIFEXITED(status) && (WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 127))
    return said.empty() ? missing : missing + " (" + said + ")";
  if (!said.empty()) return said;
  return WIFEXITED(status) ? "the opener ended with code " + std::to_string(WEXITSTATUS(status))
                           : "the opener was stopped";
}

// Runs the opener in a session of its own, so that it outlives this program
// (and its browser is not ended with it), and watches its exit status and
// what it says on its error output.
void RunOpener(const QUrl& url, const std::string& missing, TVerdict done) {
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty()) {
    Later(std::move(done), QDesktopServices::openUrl(url) ? "" : missing);
    return;
  }
  const std::string program = opener.toStdString();
  const std::string argument = url.toString(QUrl::FullyEncoded).toStdString();
  int complaints[2] = {-1, -1};
  if (::pipe2(complaints, O_CLOEXEC | O_NONBLOCK) != 0) complaints[0] = complaints[1] = -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    if (complaints[1] >= 0) ::dup2(complaints[1], STDERR_FILENO);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
    ::execv(program.c_str(), argv);
    ::_exit(127);
  }
  if (complaints[1] >= 0) ::close(complaints[1]);
  if (pid < 0) {
    const std::string reason = std::string("the opener could not be started: ") + std::strerror(errno);
    if (complaints[0] >= 0) ::close(complaints[0]);
    Later(std::move(done), reason);
    return;
  }
  auto* timer = new QTimer(QCoreApplication::instance());
  struct Watch {
    int waited = 0;
    int fd = -1;
    std::string complaint;
    TVerdict pending;
    void Read() {
      char buf[512];
      for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;) {
        complaint.append(buf, static_cast<std::size_t>(n));
        if (complaint.size() > kComplaintBytes) complaint.erase(0, complaint.size() - kComplaintBytes);
      }
    }
    ~Watch() {
      if (fd >= 0) ::close(fd);
    }
  };
  auto watch = std::make_shared<Watch>();
  watch->fd = complaints[0];
  watch->pending = std::move(done);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, pid, watch, missing] {
    int status = 0;
    watch->Read();
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    const bool ended = r == pid || r < 0;
    watch->waited += timer->interval();
    if (watch->pending && (ended || watch->waited >= kVerdictMs)) {
      if (ended) watch->Read();
      const std::string failure = !ended || r != pid ? "" : ExitFailure(status, watch->complaint, missing);
      auto verdict = std::exchange(watch->pending, nullptr);
      verdict(failure);
    }
    if (ended) {
      timer->deleteLater();
    } else if (watch->waited >= kVerdictMs) {
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
  RunOpener(url, "no web browser was found", std::move(verdict));
}

void ShowFolder(const std::string& folder, TShowFolderDone done) {
  if (!DirectoryExists(folder)) {
    Later(std::move(done), "it is not there");
    return;
  }
  const QString path = QString::fromStdString(PathFromName(IncludeTrailingPathDelimiter(folder)).string());
  RunOpener(QUrl::fromLocalFile(path), "no file manager was found", std::move(done));
}

}  // namespace platform
