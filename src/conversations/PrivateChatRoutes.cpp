#include "conversations/PrivateChatRoutes.h"

#include <algorithm>

#include "conversations/FormPChat.h"
#include "conversations/PrivateChatTestHooks.h"
#include "conversations/TranscriptControl.h"
#include "conversations/UnansweredRequests.h"
#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/PeerListener.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "transport/CommandCodes.h"
#include "transport/ParloSocket.h"

namespace {

constexpr const char* kDefaultPeerPort = "2960";

}  // namespace

TPrivateChatRoutes::TPrivateChatRoutes(TSession& session) : session_(session) {
  TRouter& router = session_.Router();
  router.SetPeerHandler(cmd::ChatRequest, [this](TPeerRequest& request) { AcceptPrivateChat(request); });
  router.SetContactHandler(TContactCommand::PrivateChat, [this](const TContactCall& call) { OpenPrivateChat(call); });
  if (testhooks::Enabled()) ScheduleTestCall(*this);
}

TPrivateChatRoutes::~TPrivateChatRoutes() {
  session_.Router().SetPeerHandler(cmd::ChatRequest, nullptr);
  session_.Router().SetContactHandler(TContactCommand::PrivateChat, nullptr);
  // A window the user did not close (the program ends) goes now, while the
  // session it reads is still there.
  for (const QPointer<TFormPChat>& window : windows_) delete window.data();
}

std::vector<TFormPChat*> TPrivateChatRoutes::Windows() const {
  std::vector<TFormPChat*> open;
  for (const QPointer<TFormPChat>& window : windows_)
    if (window) open.push_back(window.data());
  return open;
}

TFormPChat* TPrivateChatRoutes::NewWindow(std::unique_ptr<TParloSocket> socket) {
  std::erase_if(windows_, [](const QPointer<TFormPChat>& w) { return w.isNull(); });
  std::erase_if(friendChats_, [](const QPointer<TFormPChat>& w) { return w.isNull(); });
  auto* window = new TFormPChat(session_, std::move(socket));
  windows_.emplace_back(window);
  if (cams_ != nullptr) window->AttachCam(*cams_);
  if (testhooks::Enabled()) AttachTestHooks(*window);
  return window;
}

std::string TPrivateChatRoutes::OwnRecord(const std::string& greeting) {
  const TSettings& s = session_.Settings;
  return session_.DB().BuildProfileRecord(s.CurrentProfile, s.UserID, s.CurrentGroup, s.StatusMode, s.ListenPort,
                                          greeting);
}

void TPrivateChatRoutes::AcceptPrivateChat(TPeerRequest& request) {
  const std::string addr = request.Socket().PeerAddr(), port = request.Socket().PeerPort();
  testhooks::Trace("private chat hand-over");
  // Accepted without a question, chats would open as fast as one caller asks.
  // Strangers' chats must not take a friend's place: each kind has its own.
  const bool fromFriend = session_.Listener().IsFriendRecord(request.Params(), addr);
  const auto sameKind = [this, fromFriend](TFormPChat& window) {
    const bool friendChat = std::find(friendChats_.begin(), friendChats_.end(), &window) != friendChats_.end();
    if (!window.Chat().Unanswered() || friendChat != fromFriend) return TUnanswered::No;
    return window.Chat().Connected() ? TUnanswered::Held : TUnanswered::MayGiveWay;
  };
  const char* full = MakeRoomForUnanswered(windows_, addr, sameKind,
                                           [](TFormPChat& window) { return window.Chat().PeerAddr(); },
                                           "Private chat closed: its caller has gone and a new chat takes its place");
  if (full != nullptr) {
    LogError(addr, port, std::string("Incoming private chat refused: ") + full);
    testhooks::Trace("private chat refused");
    request.Socket().SendCommand(cmd::ChatRejected, "", "");
    return;
  }
  try {
    const std::string own = OwnRecord("");
    std::unique_ptr<TParloSocket> socket = request.Adopt();
    if (!socket) return;
    TFormPChat* window = NewWindow(std::move(socket));
    if (fromFriend) friendChats_.emplace_back(window);
    window->SetOwnProfile(own);
    window->AcceptIncomingChat(request.Params());
  } catch (const std::exception& e) {
    LogError(addr, port, std::string("Accepting a private chat: ") + e.what());
  }
}

void TPrivateChatRoutes::OpenPrivateChat(const TContactCall& call) {
  try {
    const std::string own = OwnRecord(call.Greeting);
    TFormPChat* window = NewWindow(std::make_unique<TParloSocket>());
    window->SetOwnProfile(own);
    const std::string& port = call.Contact.ListenPort;
    window->ConnectToPeer(call.Contact.UserName, call.Contact.ListenIP, port.empty() ? kDefaultPeerPort : port);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Opening a private chat: ") + e.what());
  }
}
