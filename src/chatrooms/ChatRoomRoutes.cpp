#include "chatrooms/ChatRoomRoutes.h"

#include <QComboBox>

#include "chatrooms/ChatRoomTestHooks.h"
#include "chatrooms/FormChat.h"
#include "chatrooms/FormChatCli.h"
#include "chatrooms/FormChatInfo.h"
#include "chatrooms/FormChatRequest.h"
#include "conversations/TranscriptControl.h"
#include "conversations/UnansweredRequests.h"
#include "core/session/ErrorLog.h"
#include "core/session/PeerListener.h"
#include "core/session/Prompts.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "transport/CommandCodes.h"
#include "transport/NetSocketFunctions.h"
#include "transport/ParloSocket.h"

namespace {

template <class T>
void Prune(std::vector<QPointer<T>>& windows) {
  std::erase_if(windows, [](const QPointer<T>& w) { return w.isNull(); });
}

}  // namespace

TChatRoomRoutes::TChatRoomRoutes(TSession& session) : session_(session) {
  TRouter& router = session_.Router();
  router.SetWindowHandler(TWindowCommand::HostChat, [this] { ActionHostChatExecute(); });
  router.SetContactHandler(TContactCommand::InviteToChat,
                           [this](const TContactCall& call) { SendChatInvitation(call); });
  router.SetPeerHandler(cmd::RoomInvite, [this](TPeerRequest& request) { HandleChatInvitation(request); });
  if (testhooks::Enabled()) AttachRoomTestHooks(*this, session_);
}

TChatRoomRoutes::~TChatRoomRoutes() {
  TRouter& router = session_.Router();
  router.SetWindowHandler(TWindowCommand::HostChat, nullptr);
  router.SetContactHandler(TContactCommand::InviteToChat, nullptr);
  router.SetPeerHandler(cmd::RoomInvite, nullptr);
  // Windows the user did not close (the program ends) go now, while the
  // session they read is still there.
  delete host_.data();
  delete info_.data();
  for (const auto& w : members_) delete w.data();
  for (const auto& w : requests_) delete w.data();
}

TFormChat* TChatRoomRoutes::HostWindow() const { return host_.data(); }

std::vector<TFormChatCli*> TChatRoomRoutes::MemberWindows() const {
  std::vector<TFormChatCli*> open;
  for (const auto& w : members_)
    if (w) open.push_back(w.data());
  return open;
}

void TChatRoomRoutes::ActionHostChatExecute() {
  try {
    if (host_) {
      session_.Prompts().ShowInformation(
          "You can only host a single multi-chat at a time, you already have one open.", "Already Hosting");
      return;
    }
    if (info_) {
      info_->raise();
      info_->activateWindow();
      return;
    }
    auto* info = new TFormChatInfo;
    info_ = info;
    for (int i = 0; i < LocalIPList().Count(); ++i) info->ComboIP->addItem(platform::ToQString(LocalIPList()[i]));
    info->ShowInformation = [this](const std::string& text, const std::string& caption) {
      session_.Prompts().ShowInformation(text, caption);
    };
    info->OnStart = [this](const std::string& ip, const std::string& greeting, const std::string& name) {
      StartHostedChat(ip, greeting, name);
    };
    // The room listens on the chat port, so that is the port the host sees.
    const TSettings& s = session_.Settings;
    info->ShowInfo(s.ListenIP, s.ChatPort, s.UserName);
  } catch (const std::exception&) {
    LogError("", "", "Chat Host Action");
  }
}

TFormChat* TChatRoomRoutes::StartHostedChat(const std::string& ip, const std::string& greeting,
                                            const std::string& chatName) {
  try {
    const TSettings& s = session_.Settings;
    TChatRoomSetup setup;
    setup.UserID = s.UserID;
    setup.UserName = s.UserName;
    setup.StatusMode = s.StatusMode;
    setup.ListenPort = s.ListenPort;
    setup.ChatIP = ip;
    setup.ChatPort = s.ChatPort;
    setup.ChatName = chatName;
    setup.Greeting = greeting;
    setup.MemberLimit = s.ChatLimit ? s.ChatLimitCount : 0;
    auto* window = new TFormChat(session_, std::move(setup));
    host_ = window;
    HostOpened(*window);
    if (!window->StartListening()) return nullptr;
    testhooks::Trace("room hosting");
    return window;
  } catch (const std::exception&) {
    LogError("", "", "Starting Hosted Chat");
    return nullptr;
  }
}

void TChatRoomRoutes::SendChatInvitation(const TContactCall& call) {
  if (!host_) return;
  try {
    const TChatRoomSetup& room = host_->Host().Setup();
    // Who is not available for rooms invites no one to them either.
    if (session_.Settings.ChatYes)
      invitations_.CreateInviteSocket(call.Contact.ListenIP, call.Contact.ListenPort,
                                      TChatInvite{room.UserName, room.ChatIP, room.ChatPort, room.ChatName});
    host_->AddInfoText(RoomShownName(call.Contact.UserName) + " invited to chat...");
  } catch (const std::exception&) {
    LogError("", "", "Creating chat request");
  }
}

// The listener closes the connection once this returns: it carries nothing more.
void TChatRoomRoutes::HandleChatInvitation(TPeerRequest& request) {
  const std::string addr = request.Socket().PeerAddr(), port = request.Socket().PeerPort();
  TChatInvite invite;
  if (!TChatInvite::Read(request.Params(), invite)) {
    LogError(addr, port, "Incoming multi chat request");
    return;
  }
  if (!InvitationWelcome(session_, invite.HostUser)) {
    testhooks::Trace("room invitation declined");
    return;
  }
  // Nothing goes back to the host either way: past a cap the invitation
  // just ends with its connection.
  // An invitation never had a link to lose: it keeps its place until answered.
  const char* full = MakeRoomForUnanswered(
      requests_, addr, [](TFormChatRequest&) { return TUnanswered::Held; },
      [](TFormChatRequest& d) { return d.SenderAddr; }, "");
  if (full != nullptr) {
    LogError(addr, port, std::string("Incoming multi chat request refused: ") + full);
    testhooks::Trace("room invitation refused");
    return;
  }
  try {
    Prune(requests_);
    auto* dialog = new TFormChatRequest;
    requests_.emplace_back(dialog);
    dialog->SenderAddr = addr;
    dialog->OnAccept = [this](const std::string& ip, const std::string& port, const std::string& name) {
      JoinHostedChat(ip, port, name);
    };
    dialog->ShowRequest(invite.HostUser, invite.ChatIP, invite.ChatPort, invite.ChatName);
    testhooks::Trace("room invitation from " + invite.HostUser);
    if (RequestShown) RequestShown(*dialog);
  } catch (const std::exception&) {
    LogError(addr, port, "Incoming multi chat request");
  }
}

TFormChatCli* TChatRoomRoutes::JoinHostedChat(const std::string& ip, const std::string& port,
                                              const std::string& chatName) {
  try {
    Prune(members_);
    auto* window = new TFormChatCli(session_, std::make_unique<TParloSocket>());
    members_.emplace_back(window);
    MemberOpened(*window);
    window->ConnectToChat(ip, port, chatName);
    return window;
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Joining Hosted Chat: ") + e.what());
    return nullptr;
  }
}
