// The clipboard against another program on a real X display: xclip reads
// what the editor copied (text, and RTF under its MIME name) and offers
// what the editor pastes. The test runs itself again in a child process
// on a private Xvfb display, since this process shows on the headless
// platform; without Xvfb or xclip it is skipped.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <filesystem>
#include <fstream>

#include "QuillEdit_helpers.h"
#include "platform/Clipboard.h"

using namespace edittest;

namespace {

constexpr int kWaitMs = 5000;

// Runs xclip while this program keeps serving its own clipboard.
QByteArray Xclip(const QStringList& args, const QByteArray& input = {}) {
  QProcess xclip;
  xclip.start(QStringLiteral("xclip"), args);
  if (!xclip.waitForStarted(kWaitMs)) return "<not started>";
  if (!input.isNull()) {
    xclip.write(input);
    xclip.closeWriteChannel();
  }
  QElapsedTimer timer;
  timer.start();
  while (xclip.state() != QProcess::NotRunning && timer.elapsed() < kWaitMs) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  if (xclip.state() != QProcess::NotRunning) {
    xclip.kill();
    xclip.waitForFinished();
    return "<timed out>";
  }
  return xclip.readAllStandardOutput();
}

// Offers bytes from xclip (kept in the foreground, so it is ours to end)
// until the clipboard shows them here.
class XclipOffer {
 public:
  XclipOffer(const QString& type, const QByteArray& bytes) {
    process_.start(QStringLiteral("xclip"),
                   {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                    QStringLiteral("-t"), type, QStringLiteral("-i")});
    process_.waitForStarted(kWaitMs);
    process_.write(bytes);
    process_.closeWriteChannel();
  }
  ~XclipOffer() {
    process_.kill();
    process_.waitForFinished();
  }
  bool WaitFor(const std::function<bool()>& seen) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kWaitMs) {
      QCoreApplication::processEvents();
      if (seen()) return true;
      QThread::msleep(20);
    }
    return false;
  }

 private:
  QProcess process_;
};

void ExchangeWithXclip() {
  auto e = MakeEdit();
  SetLines(*e, {"hello", "world"});
  e->SelectAll();
  e->CopyToClipboard();
  const std::string rtf = "{\\rtf1\\ansi hello\\par world}";
  ASSERT_TRUE(TCustomQuillEdit::WriteToClipboard(platform::kRichTextFormat, rtf));
  const QStringList read = {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")};
  EXPECT_EQ(Xclip(read + QStringList{QStringLiteral("-t"), QStringLiteral("UTF8_STRING")}), QByteArray("hello\nworld"));
  EXPECT_EQ(Xclip(read + QStringList{QStringLiteral("-t"), QStringLiteral("text/rtf")}).toStdString(), rtf);
  EXPECT_EQ(Xclip(read + QStringList{QStringLiteral("-t"), QStringLiteral("application/rtf")}).toStdString(), rtf);

  {
    const std::string offered = "{\\rtf1 from \\b xclip\\b0}";
    XclipOffer offer(QStringLiteral("text/rtf"), QByteArray::fromStdString(offered));
    std::string got;
    EXPECT_TRUE(offer.WaitFor([&] {
      return !platform::ClipboardOwned() && TCustomQuillEdit::ReadFromClipboard(platform::kRichTextFormat, got) > 0;
    }));
    EXPECT_EQ(got, offered);
  }
  {
    // Another program's text pastes as a stream, whatever was copied here.
    e->SetSelection({0, 0, 1, 1}, TQuillSelType::slBlock);
    e->CopyToClipboard();
    XclipOffer offer(QStringLiteral("UTF8_STRING"), QByteArray("A\nB"));
    ASSERT_TRUE(offer.WaitFor([] { return platform::ClipboardText() == "A\nB"; }));
    e->GetEditSource().JumpTo(5, 1);
    e->PasteFromClipboard();
    EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"hello", "worldA", "B"}));
  }
}

}  // namespace

TEST(QuillClipboardXvfb, ExchangesTextAndRtfWithAnotherProgram) {
  if (getenv("PARLO_XVFB_CHILD") != nullptr) {
    ExchangeWithXclip();
    return;
  }
  const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
  if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
    GTEST_SKIP() << "Xvfb or xclip is not installed";
  int display = 0;
  for (int n = 90 + getpid() % 200;; ++n) {
    if (!std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock") &&
        !std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
      display = n;
      break;
    }
  }
  QProcess server;
  server.start(xvfb, {QStringLiteral(":%1").arg(display), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                      QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24")});
  ASSERT_TRUE(server.waitForStarted(kWaitMs)) << "Xvfb does not start";
  QElapsedTimer timer;
  timer.start();
  const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
  while (!std::filesystem::exists(socket) && server.state() == QProcess::Running && timer.elapsed() < kWaitMs)
    QThread::msleep(20);
  if (!std::filesystem::exists(socket)) {
    server.kill();
    server.waitForFinished();
    FAIL() << "no X display could be started";
  }
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("PARLO_XVFB_CHILD"), QStringLiteral("1"));
  env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  // On a real display Qt talks to the desktop's message bus, whose library
  // keeps a buffer to the end of the process; the leak checker of the
  // sanitizer build is told so, and nothing else.
  const std::string suppressions =
      (std::filesystem::temp_directory_path() / ("parlo-xvfb-lsan-" + std::to_string(getpid()))).string();
  {
    std::ofstream out(suppressions);
    out << "leak:libdbus-1.so\n";
  }
  const QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
  env.insert(QStringLiteral("LSAN_OPTIONS"),
             (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':')) + QStringLiteral("suppressions=") +
                 QString::fromStdString(suppressions));
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QStringLiteral("/proc/self/exe"),
              {QStringLiteral("--gtest_filter=QuillClipboardXvfb.ExchangesTextAndRtfWithAnotherProgram")});
  const bool ended = child.waitForFinished(60000);
  const QByteArray output = child.readAll();
  std::filesystem::remove(suppressions);
  server.terminate();
  if (!server.waitForFinished(kWaitMs)) {
    server.kill();
    server.waitForFinished();
  }
  ASSERT_TRUE(ended) << output.toStdString();
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
}
