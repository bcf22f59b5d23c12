#include "conversations/MessageRoutes.h"

#include "conversations/FormMsg.h"
#include "conversations/MessageTestHooks.h"
#include "conversations/TranscriptControl.h"
#include "core/session/ErrorLog.h"
#include "core/session/MessageRecord.h"
#include "core/session/Paths.h"
#include "core/session/RelayedMessages.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"

namespace {

constexpr int kNewMessageSound = 0;  // "Incoming text message"

}  // namespace

TMessageRoutes::TMessageRoutes(TSession& session) : session_(session) {
  session_.Router().SetContactHandler(TContactCommand::Message,
                                      [this](const TContactCall& call) { OpenMessageWindow(call); });
  TMessageWindows windows;
  windows.IsOpen = [this](const std::string& userId) { return FindWindow(userId) != nullptr; };
  windows.Show = [this](const TRelayedMessage& message) { ShowRelayedMessage(message); };
  windows.HasRoom = [this] { return static_cast<int>(Windows().size()) < kMaxWindows; };
  session_.Messages().SetWindows(std::move(windows));
}

TMessageRoutes::~TMessageRoutes() {
  session_.Router().SetContactHandler(TContactCommand::Message, nullptr);
  session_.Messages().SetWindows({});
  // A window the user did not close (the program ends) goes now, while the
  // session it reads is still there.
  for (const QPointer<TFormMsg>& window : windows_) delete window.data();
}

std::vector<TFormMsg*> TMessageRoutes::Windows() const {
  std::vector<TFormMsg*> open;
  for (const QPointer<TFormMsg>& window : windows_)
    if (window) open.push_back(window.data());
  return open;
}

TFormMsg* TMessageRoutes::FindWindow(const std::string& userId) const {
  for (TFormMsg* window : Windows())
    if (window->Conversation().IsFor(userId)) return window;
  return nullptr;
}

TFormMsg* TMessageRoutes::NewWindow(const std::string& userId, const std::string& userName, const std::string& ip,
                                    const std::string& port) {
  std::erase_if(windows_, [](const QPointer<TFormMsg>& w) { return w.isNull(); });
  auto* window = new TFormMsg(session_);
  windows_.emplace_back(window);
  TMessageConversation& c = window->Conversation();
  c.SetPeer(TMessagePeer{userId, userName, ip, port});
  c.OwnUserName = session_.Settings.UserName;
  if (testhooks::Enabled()) AttachTestHooks(*window);
  return window;
}

TFormMsg* TMessageRoutes::OpenMessageWindow(const TContactCall& call) {
  try {
    const TContact& contact = call.Contact;
    TFormMsg* window = NewWindow(contact.UserID, contact.UserName, contact.ListenIP, contact.ListenPort);
    const int status = std::stoi(StatusModeFromText(contact.Status));
    if (call.List) {
      window->SetCaption(window->Conversation().Caption());
      window->Conversation().ShowStatus(contact.Online == "0" ? TMessageConversation::kOffline : status);
    } else {
      window->SetCaption(contact.UserID);
      window->Conversation().ShowStatus(status);
    }
    window->show();
    return window;
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Opening a message window: ") + e.what());
    return nullptr;
  }
}

void TMessageRoutes::ShowRelayedMessage(const TRelayedMessage& message) {
  TFormMsg* window = FindWindow(message.UserID);
  if (window == nullptr) {
    window = NewWindow(message.UserID, message.UserName, message.ListenIP, message.ListenPort);
    window->Conversation().ShowStatus(message.StatusNumber());
    window->show();
    session_.Paths().PlayEventSound(kNewMessageSound);
  }
  window->Conversation().ShowIncomingMessage(message);
}
