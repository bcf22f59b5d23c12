#include "chatrooms/ChatRoomTestHooks.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <vector>

#include "chatrooms/ChatRoomRoutes.h"
#include "chatrooms/FormChat.h"
#include "chatrooms/FormChatCli.h"
#include "chatrooms/FormChatRequest.h"
#include "core/session/DirectoryLink.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "platform/Strings.h"
#include "transport/CmdParser.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

// Says the text (and plays the sound) once the current event is over.
void SayLater(TRoomWindow& window) {
  const std::string say = Env("PARLO_TEST_ROOM_SAY");
  int sound = -1;
  if (!platform::TryStrToInt(Env("PARLO_TEST_ROOM_SOUND"), sound)) sound = -1;
  if (say.empty() && sound < 0) return;
  QPointer<TRoomWindow> w(&window);
  QTimer::singleShot(0, &window, [w, say, sound] {
    if (!w) return;
    if (!say.empty()) {
      w->MemoGo->setPlainText(platform::ToQString(say));
      w->SendText();
    }
    if (w && sound >= 0) w->SendSound(sound);
  });
}

// Traces each text the window shows and takes its picture after it.
void WatchTexts(TRoomWindow& window, platform::TSignal<std::string, std::string>& shown,
                std::vector<platform::TConnection>& keep) {
  const std::string grab = Env("PARLO_TEST_ROOM_GRAB");
  auto count = std::make_shared<int>(0);
  QPointer<TRoomWindow> w(&window);
  keep.push_back(shown.Connect([w, grab, count](const std::string& name, const std::string& text) {
    testhooks::Trace("room text: " + name + ": " + text);
    if (!w || grab.empty()) return;
    const int n = ++*count;
    QTimer::singleShot(300, w.data(), [w, grab, n] {
      if (w && w->grab().save(QString::fromStdString(grab))) testhooks::Trace("room grabbed " + std::to_string(n));
    });
  }));
}

void WatchSounds(platform::TSignal<std::string, int>& played, std::vector<platform::TConnection>& keep) {
  keep.push_back(played.Connect([](const std::string& name, int index) {
    testhooks::Trace("room sound: " + name + " " + std::to_string(index));
  }));
}

// Traces the count as it changes and says the text once it reaches `wait`.
void SayWhenFull(TRoomWindow& window, std::function<int()> count, int wait, const std::string& trace) {
  auto last = std::make_shared<int>(-1);
  auto* poll = new QTimer(&window);
  poll->setInterval(50);
  QPointer<TRoomWindow> w(&window);
  QObject::connect(poll, &QTimer::timeout, &window, [w, count, wait, trace, last, poll] {
    const int now = count();
    if (!w || now == *last) return;
    testhooks::Trace(trace + std::to_string(*last = now));
    if (now < wait) return;
    poll->stop();
    SayLater(*w);
  });
  poll->start();
}

void Hold(QObject& window, std::shared_ptr<std::vector<platform::TConnection>> keep) {
  QObject::connect(&window, &QObject::destroyed, [keep] { keep->clear(); });
}

}  // namespace

void AttachRoomTestHooks(TChatRoomRoutes& routes, TSession& session) {
  static std::vector<platform::TConnection> routeLinks;
  const int wait = std::max(1, std::atoi(Env("PARLO_TEST_ROOM_WAIT").c_str()));

  routeLinks.push_back(routes.HostOpened.Connect([&routes, wait](TFormChat& window) {
    auto keep = std::make_shared<std::vector<platform::TConnection>>();
    WatchTexts(window, window.Host().PeerTextShown, *keep);
    WatchSounds(window.Host().PeerSoundPlayed, *keep);
    QPointer<TFormChat> w(&window);
    SayWhenFull(window, [w] { return w ? w->Host().ClientCount() : 0; }, wait, "room members ");
    Hold(window, keep);
    const std::string invite = Env("PARLO_TEST_ROOM_INVITE");
    QTimer::singleShot(0, &window, [&routes, invite] {
      const TFields entries(invite, ",");
      for (const std::string& entry : entries.Items()) {
        const std::size_t colon = entry.find(':');
        if (colon == std::string::npos) continue;
        TContactCall call;
        call.Command = TContactCommand::InviteToChat;
        call.Contact.UserName = entry.substr(0, colon);
        call.Contact.ListenIP = "127.0.0.1";
        call.Contact.ListenPort = entry.substr(colon + 1);
        routes.SendChatInvitation(call);
      }
    });
  }));

  routeLinks.push_back(routes.MemberOpened.Connect([wait](TFormChatCli& window) {
    auto keep = std::make_shared<std::vector<platform::TConnection>>();
    WatchTexts(window, window.Member().PeerTextShown, *keep);
    WatchSounds(window.Member().PeerSoundPlayed, *keep);
    QPointer<TFormChatCli> w(&window);
    keep->push_back(window.Member().LoggedIn.Connect([w] {
      if (w) testhooks::Trace("room joined " + w->Member().ChatName());
    }));
    SayWhenFull(window, [w] { return w ? w->Member().Members().Count() : 0; }, wait, "room rows ");
    Hold(window, keep);
  }));

  if (Env("PARLO_TEST_ROOM_ACCEPT") == "1")
    routes.RequestShown = [](TFormChatRequest& dialog) {
      QPointer<TFormChatRequest> d(&dialog);
      QTimer::singleShot(0, [d] {
        if (d) d->AcceptClick();
      });
    };

  // The room opens once the log-on is through: the own identity is known then.
  const std::string host = Env("PARLO_TEST_ROOM_HOST");
  if (!host.empty())
    routeLinks.push_back(session.Link().LoggedOn.Connect([&routes, host] {
      if (routes.HostWindow() == nullptr) routes.StartHostedChat("127.0.0.1", "Welcome to " + host, host);
    }));
}
