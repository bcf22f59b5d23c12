#include "conversations/PrivateChatTestHooks.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "conversations/FormPChat.h"
#include "conversations/PrivateChatRoutes.h"
#include "core/session/Router.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "transport/CmdParser.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

// Process CPU time in microseconds, all threads.
double CpuMicros() { return static_cast<double>(std::clock()) * 1e6 / CLOCKS_PER_SEC; }

// CPU time the program spends, measured between two peer messages painted,
// and the part of it that went to typing the texts into the input.
struct TCpuWatch {
  int from = 0, to = 0;  // peer messages painted
  int startedWith = -1;  // messages painted when the measurement began
  double startedAt = 0, typingAtStart = 0;
  double typing = 0;  // all typing so far

  bool Wants(int count) const { return to > from && (startedWith < 0 ? count >= from : count >= to); }

  // One paint may show more than one new message.
  void Painted(int count) {
    if (to <= from) return;
    if (startedWith < 0 && count >= from) {
      startedWith = count;
      startedAt = CpuMicros();
      typingAtStart = typing;
    } else if (startedWith >= 0 && count >= to) {
      const int n = count - startedWith;
      char line[128];
      std::snprintf(line, sizeof line, "pchat cpu %d %.1f typing %.1f", n, (CpuMicros() - startedAt) / n,
                    (typing - typingAtStart) / n);
      testhooks::Trace(line);
      to = from;
    }
  }
};

// Types the text into the input and sends it; `sending` runs as the send is
// pressed.
void TypeAndSend(TFormPChat& window, const std::string& text, TCpuWatch& cpu, const std::function<void()>& sending) {
  const double typingFrom = CpuMicros();
  window.MemoGo->setPlainText(platform::ToQString(text));
  cpu.typing += CpuMicros() - typingFrom;
  if (sending) sending();
  window.SendText();
}

// The same, once the current event is over.
void SendLater(TFormPChat& window, const std::string& text, const std::shared_ptr<TCpuWatch>& cpu,
               const std::function<void()>& sending = {}) {
  QPointer<TFormPChat> w(&window);
  QTimer::singleShot(0, &window, [w, text, cpu, sending] {
    if (w) TypeAndSend(*w, text, *cpu, sending);
  });
}

// Calls `painted` with the number of peer messages shown so far once the
// transcript has painted them: after its first paint since the last was
// shown, and the window's flush with it, are over. Only counts `wanted` asks
// for are reported. A paint that comes with the window's update request is
// reported as that request ends, in the same turn; any other is reported in
// a turn of its own, which is one more pass of the loop.
class TPaintWatch : public QObject {
 public:
  TPaintWatch(QWidget* transcript, std::function<bool(int)> wanted, std::function<void(int)> painted)
      : QObject(transcript), window_(transcript->window()), wanted_(std::move(wanted)), painted_(std::move(painted)) {
    auto* area = qobject_cast<QAbstractScrollArea*>(transcript);
    (area != nullptr ? area->viewport() : transcript)->installEventFilter(this);
    window_->installEventFilter(this);
  }
  void Shown() {
    ++shown_;
    waiting_ = true;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == window_ && e->type() == QEvent::UpdateRequest && waiting_ && !updating_ && wanted_(shown_)) {
      const QPointer<TPaintWatch> self(this);
      updating_ = true;
      QCoreApplication::sendEvent(window_, e);
      if (!self) return true;
      updating_ = false;
      if (paintedInUpdate_ >= 0) {
        const int shown = std::exchange(paintedInUpdate_, -1);
        painted_(shown);
      }
      return true;
    }
    if (watched != window_ && waiting_ && e->type() == QEvent::Paint) {
      waiting_ = false;
      if (!wanted_(shown_)) return false;
      if (updating_) paintedInUpdate_ = shown_;
      else QMetaObject::invokeMethod(this, [this, shown = shown_] { painted_(shown); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  QWidget* window_;
  std::function<bool(int)> wanted_;
  std::function<void(int)> painted_;
  bool waiting_ = false;
  bool updating_ = false;
  int paintedInUpdate_ = -1;
  int shown_ = 0;
};

struct TPings {
  int shown = 0;  // peer messages shown so far
  // The peer's banner is shown as a message before the first ping: a round
  // trip ends only with a message shown after its ping went out.
  int awaited = 0;
  int wanted = 0;
  std::vector<double> micros;
  std::chrono::steady_clock::time_point sent;

  // A round trip runs from the send to the echo painted: the typing before it
  // is the user's, not the message's.
  // `later` while an event of the link is running, which must be over before
  // the input is typed into and sent.
  void Next(TFormPChat& window, const std::shared_ptr<TCpuWatch>& cpu, bool later) {
    const std::string text = "ping " + std::to_string(micros.size() + 1) + " :-) http://example.com/";
    const auto sending = [this] {
      awaited = shown + 1;
      sent = std::chrono::steady_clock::now();
    };
    if (later) SendLater(window, text, cpu, sending);
    else TypeAndSend(window, text, *cpu, sending);
  }
  double Percentile(double p) const {
    std::vector<double> sorted = micros;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t i = std::min(sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())));
    return sorted[i];
  }
};

}  // namespace

void ScheduleTestCall(TPrivateChatRoutes& routes) {
  const std::string call = Env("PARLO_TEST_PCHAT_CALL");
  const std::size_t colon = call.find(':');
  if (colon == std::string::npos) return;
  TContactCall c;
  c.Command = TContactCommand::PrivateChat;
  c.Contact.UserName = call.substr(0, colon);
  c.Contact.ListenPort = call.substr(colon + 1);
  c.Contact.ListenIP = "127.0.0.1";
  c.Contact.Online = "1";
  // The settings and the profile (the own record's listen port among them)
  // are loaded by the time the main window shows.
  auto* wait = new QTimer(QCoreApplication::instance());
  QObject::connect(wait, &QTimer::timeout, [wait, &routes, c] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "FormMain" && w->isVisible()) {
        wait->deleteLater();
        wait->stop();
        routes.OpenPrivateChat(c);
        return;
      }
  });
  wait->start(20);
}

void AttachTestHooks(TFormPChat& window) {
  TPrivateChat& chat = window.Chat();
  const std::string say = Env("PARLO_TEST_PCHAT_SAY");
  const bool echo = Env("PARLO_TEST_PCHAT_ECHO") == "1";
  const bool quiet = Env("PARLO_TEST_PCHAT_QUIET") == "1";
  const bool sendCam = Env("PARLO_TEST_PCHAT_SENDCAM") == "1";
  const std::string grab = Env("PARLO_TEST_PCHAT_GRAB");
  const std::string save = Env("PARLO_TEST_PCHAT_SAVE");
  if (!save.empty()) {
    window.AskSaveChat = [] { return true; };
    window.AskSaveName = [save](std::string& fileName) {
      fileName = platform::NameFromPath(save);
      return true;
    };
  }
  auto pings = std::make_shared<TPings>();
  pings->wanted = std::atoi(Env("PARLO_TEST_PCHAT_PINGS").c_str());
  auto cpu = std::make_shared<TCpuWatch>();
  if (std::sscanf(Env("PARLO_TEST_PCHAT_CPU").c_str(), "%d:%d", &cpu->from, &cpu->to) != 2) cpu->from = cpu->to = 0;
  // The connections live as long as the window's chat: they are kept in
  // closures the chat's own signals hold.
  auto keep = std::make_shared<std::vector<platform::TConnection>>();
  QPointer<TFormPChat> w(&window);

  // Peer messages painted: a round trip ends here, and the next begins.
  QPointer<TPaintWatch> paints;
  const auto wanted = [pings, cpu](int shown) { return pings->wanted > 0 || cpu->Wants(shown); };
  if (pings->wanted > 0 || cpu->to > 0) paints = new TPaintWatch(window.Memo, wanted, [w, pings, cpu](int painted) {
    cpu->Painted(painted);
    if (!w || pings->wanted <= 0 || !w->Chat().Authorized() || painted < pings->awaited) return;
    pings->micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - pings->sent).count());
    if (static_cast<int>(pings->micros.size()) < pings->wanted) {
      pings->Next(*w, cpu, false);
    } else {
      char line[128];
      std::snprintf(line, sizeof line, "pchat round trips %d median %.1f p99 %.1f", pings->wanted,
                    pings->Percentile(0.5), pings->Percentile(0.99));
      testhooks::Trace(line);
      pings->wanted = 0;
    }
  });

  keep->push_back(chat.ChatAuthorized.Connect([w, say, pings, sendCam, cpu] {
    testhooks::Trace("pchat authorized");
    if (!w) return;
    if (!say.empty()) SendLater(*w, say, cpu);
    // Pressed as the user would, so the offer takes the window's own path.
    if (sendCam)
      QTimer::singleShot(0, w.data(), [w] {
        if (w && w->ButtonSendCam->isEnabled()) w->ButtonSendCam->click();
      });
    if (pings->wanted > 0) pings->Next(*w, cpu, true);
  }));
  keep->push_back(chat.PeerTextShown.Connect([w, echo, quiet, grab, pings, cpu, paints](const std::string& shown) {
    if (!w) return;
    const std::string text = TCmdParser::RemoveEOL(shown);
    if (!quiet) testhooks::Trace("pchat text: " + text);
    if (echo) SendLater(*w, text, cpu);
    const int shownSoFar = ++pings->shown;
    if (!grab.empty()) {
      QTimer::singleShot(300, w.data(), [w, grab, shownSoFar] {
        if (w && w->grab().save(QString::fromStdString(grab)))
          testhooks::Trace("pchat grabbed " + std::to_string(shownSoFar));
      });
    }
    if (paints) paints->Shown();
  }));
  // Held by the window: the connections end with it.
  QObject::connect(&window, &QObject::destroyed, [keep] { keep->clear(); });
}
