#include "conversations/MessageTestHooks.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <memory>
#include <vector>

#include "conversations/FormMsg.h"
#include "conversations/MessageRoutes.h"
#include "core/FormAlert.h"
#include "core/session/DirectoryLink.h"
#include "core/session/RelayedMessages.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "platform/StringList.h"
#include "transport/CmdParser.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

void Send(TMessageRoutes& routes, const std::string& userId, const std::string& text) {
  TFormMsg* window = routes.FindWindow(userId);
  if (window == nullptr) {
    TContactCall call;
    call.Command = TContactCommand::Message;
    call.Contact.UserID = userId;
    window = routes.OpenMessageWindow(call);
  }
  if (window == nullptr) return;
  window->MemoGo->setPlainText(platform::ToQString(text));
  window->SendMessage();
}

void RunAfterLogOn(TSession& session, TMessageRoutes& routes) {
  const std::string open = Env("PARLO_TEST_MSG_OPEN");
  if (!open.empty()) {
    TContactCall call;
    call.Command = TContactCommand::Message;
    call.Contact.UserID = open;
    routes.OpenMessageWindow(call);
  }
  TStringList sends;
  sends.SetText(Env("PARLO_TEST_MSG_SEND"));
  for (int i = 0; i < sends.Count(); ++i) {
    const std::string& item = sends[i];
    const std::size_t colon = item.find(':');
    if (colon != std::string::npos) Send(routes, item.substr(0, colon), item.substr(colon + 1));
  }
  if (Env("PARLO_TEST_MSG_CHECK") == "1") session.RunWindowCommand(TWindowCommand::CheckMessages);
}

}  // namespace

void AttachMessageTestHooks(TSession& session, TMessageRoutes& routes, TFormAlert& alert) {
  if (!testhooks::Enabled()) return;
  // Held for the run: the hooks go with the alert window, which lives as long.
  auto keep = std::make_shared<std::vector<platform::TConnection>>();
  auto done = std::make_shared<bool>(false);
  keep->push_back(session.Link().LoggedOn.Connect([&session, &routes, &alert, done] {
    if (*done) return;
    *done = true;
    QTimer::singleShot(0, &alert, [&session, &routes] { RunAfterLogOn(session, routes); });
  }));
  if (Env("PARLO_TEST_ALERT_CHOOSE") == "1") {
    QPointer<TFormAlert> a(&alert);
    keep->push_back(session.Messages().MessageAnnounced.Connect(
        [a](const std::string& userId, const std::string&, const std::string&) {
          QTimer::singleShot(0, a.data(), [a, userId] {
            if (!a) return;
            for (int i = 0; i < a->List->topLevelItemCount(); ++i)
              if (platform::FromQString(a->List->topLevelItem(i)->text(1)) == userId) {
                a->ListSelectItem(a->List->topLevelItem(i));
                return;
              }
          });
        }));
  }
  QObject::connect(&alert, &QObject::destroyed, [keep] { keep->clear(); });
}

void AttachTestHooks(TFormMsg& window) {
  const std::string id = window.Conversation().Peer().UserID;
  auto keep = std::make_shared<platform::TConnection>(window.Conversation().PeerTextShown.Connect(
      [id](const std::string& text) { testhooks::Trace("msg text " + id + ": " + TCmdParser::RemoveEOL(text)); }));
  QObject::connect(&window, &QObject::destroyed, [keep] { keep->Disconnect(); });
}
