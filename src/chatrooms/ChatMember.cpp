#include "chatrooms/ChatMember.h"

#include <stdexcept>

#include "chatrooms/ChatHost.h"
#include "chatrooms/RoomFrames.h"
#include "transport/CmdParser.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "transport/CommandCodes.h"

namespace {

constexpr int kOutTextSound = 4;
constexpr int kClosedSound = 5;

}  // namespace

TChatMember::TChatMember(TChatMemberView& view, TChatMemberHooks hooks, std::unique_ptr<TParloSocket> socket)
    : view_(view), hooks_(std::move(hooks)), socket_(std::move(socket)) {
  BindSocket();
}

TChatMember::~TChatMember() {
  *alive_ = false;
  // Nothing of the socket may call back into a member that is going.
  socket_->DropHandlers();
  socket_->Close();
}

void TChatMember::BindSocket() {
  TParloSocket& s = *socket_;
  s.OnDataAvailable = [this](TCustomNetSocket*, int error) { SocketDataAvailable(error); };
  s.OnSessionConnected = [this](TCustomNetSocket*, int error) { SocketSessionConnected(error); };
  s.OnSessionClosed = [this](TCustomNetSocket*, int error) { SocketSessionClosed(error); };
  s.OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState state) { SocketChangeState(state); };
  s.OnError = [this](TCustomNetSocket* socket) { SocketErrorHandler(socket->LastError()); };
  s.OnDataSent = [this](TCustomNetSocket*, int error) {
    if (error != 0) SocketErrorHandler(error);
  };
  s.OnBgException = [this](TCustomNetSocket* socket, const std::exception& e, bool& handled) {
    if (hooks_.LogError)
      hooks_.LogError(socket->PeerAddr(), socket->PeerPort(), std::string("ChatClient Socket Exception: ") + e.what());
    handled = true;
  };
  s.LineLimit = kRoomLineLimit;
  s.OnLineLimitExceeded = [this](TCustomNetSocket*, int length, bool& clear) {
    clear = true;
    Log("Room frame of more than " + std::to_string(length) + " bytes dropped");
  };
  s.ComponentOptions = TNetSocketOptions();
  s.SetLineEnd("\r\n");
  s.SetLineMode(true);
}

void TChatMember::ConnectToChat(const std::string& ip, const std::string& port, const std::string& chatName) {
  chatName_ = chatName;
  view_.AddInfoText("Connecting to chat: " + RoomShownName(chatName));
  const std::weak_ptr<bool> alive = alive_;
  try {
    socket_->ConnectTcp(ip, port);
  } catch (const std::exception&) {
    if (alive.expired()) return;
    LogChatError("Error starting chat socket");
    socket_->Close();
  }
}

// ----- what the user does --------------------------------------------------------------------

bool TChatMember::SendText(const std::string& input) {
  if (!Connected()) {
    view_.ShowInformation("The connection is either not established yet, or has been closed.", "Connection Closed");
    return false;
  }
  const std::string frame = RoomFrame(cmd::RoomTextIn, TextRecord(identity_.UserName, input));
  if (frame.size() > kRoomFrameBudget) {
    view_.ShowInformation("The message is too long to send, please send it in parts.", "Message Too Long");
    return false;
  }
  socket_->SendStr(frame);
  view_.ShowOwnText(input + "\r\n");
  PlayEventSound(kOutTextSound);
  return true;
}

void TChatMember::SendSound(int index) {
  if (index < 0 || index >= ChatSoundCount) return;
  try {
    if (Connected()) socket_->SendStr(RoomFrame(cmd::RoomSoundIn, SoundRecord(identity_.UserName, index)));
    if (hooks_.PlayChatSound) hooks_.PlayChatSound(index);
  } catch (const std::exception&) {
    LogChatError("Error Chat client soundout");
  }
}

void TChatMember::Close() { socket_->Close(); }

// ----- receiving -------------------------------------------------------------------------------

void TChatMember::SocketDataAvailable(int error) {
  if (error != 0) {
    SocketErrorHandler(error);
    return;
  }
  const std::string received = socket_->ReceiveStr();
  if (received.empty() || !Connected()) return;
  ProcessChatCommand(received);
}

void TChatMember::ProcessChatCommand(const std::string& received) {
  const std::weak_ptr<bool> alive = alive_;
  TRoomLine frame;
  try {
    frame = ReadRoomLine(received);
  } catch (const std::exception&) {
    LogChatError("ProcessChatClientCommand Error");
    socket_->Close();
    return;
  }
  if (!Connected()) return;
  try {
    DispatchChatCommand(frame.Code, frame.Parameter);
  } catch (const std::exception&) {
    if (alive.expired()) return;
    Log("Error ChatClientForm Command: " + std::to_string(frame.Code) + " Parameters: " + frame.Parameter);
    socket_->Close();
  }
}

void TChatMember::DispatchChatCommand(int code, const std::string& parameter) {
  struct Handler {
    void (TChatMember::*Run)(const std::string&);
    const char* Failure;
  };
  Handler h{};
  switch (code) {
    case cmd::RoomHello:
      h = {&TChatMember::HandleHello, "Error chatclient logon"};
      break;
    case cmd::RoomGreeting:
      h = {&TChatMember::HandleGreeting, "Error initializing chat greeting"};
      break;
    case cmd::RoomMembers:
      h = {&TChatMember::HandleFullList, "Error initializing user list"};
      break;
    case cmd::RoomJoined:
      h = {&TChatMember::HandleJoin, "Error adding single client"};
      break;
    case cmd::RoomLeft:
      h = {&TChatMember::HandleLeave, "Error deleting single client"};
      break;
    case cmd::RoomText:
      h = {&TChatMember::HandleText, "Error chatclient receiving text"};
      break;
    case cmd::RoomSound:
      h = {&TChatMember::HandleSound, "Error Chat client sound play"};
      break;
    default:
      return;
  }
  const std::weak_ptr<bool> alive = alive_;
  try {
    (this->*h.Run)(parameter);
  } catch (const std::exception&) {
    if (alive.expired()) return;
    LogChatError(h.Failure);
    // A sound that cannot be played is no reason to leave the room.
    if (code != cmd::RoomSound) socket_->Close();
  }
}

void TChatMember::HandleHello(const std::string& parameter) {
  if (hooks_.Identity) identity_ = hooks_.Identity();
  ownAddress_ = parameter;
  logonRecord_ = LogonRecord(identity_.UserID, identity_.UserName, identity_.ListenPort, identity_.StatusMode);
  if (Connected()) socket_->SendStr(RoomFrame(cmd::RoomLogon, logonRecord_));
}

void TChatMember::HandleGreeting(const std::string& parameter) {
  const TRoomText greeting = ReadTextRecord(parameter);
  chatName_ = greeting.Name;
  greeting_ = greeting.Text;
  view_.SetPanel(1, "Connected to chat: " + RoomShownName(chatName_));
  view_.SetCaption("Multi-Chat: " + RoomShownName(chatName_));
  view_.AddInfoText("Logged in to chat: " + RoomShownName(chatName_));
  view_.SetPanel(1, "Connected and logged in...");
  if (Connected()) socket_->SendStr(RoomFrame(cmd::RoomMembersRequest, ""));
  view_.ShowPeerText(chatName_, greeting_ + "\r\n");
  LoggedIn();
}

void TChatMember::HandleFullList(const std::string& parameter) {
  members_.Clear();
  const TFields records = TFields::Records(parameter);
  for (const std::string& record : records.Items()) {
    members_.Add(record);
    if (members_.Refused() > 0) break;
  }
  view_.MembersChanged();
  NoteListBound();
}

void TChatMember::HandleJoin(const std::string& parameter) {
  if (const std::optional<int> at = members_.Add(parameter)) view_.MemberAdded(*at);
  else NoteListBound();
}

void TChatMember::NoteListBound() {
  if (members_.Refused() == 0 || listBoundLogged_) return;
  listBoundLogged_ = true;
  Log("Room list of more than " + std::to_string(peerbounds::kRoomRows) + " members or " +
      std::to_string(peerbounds::kRoomListBytes) + " bytes; the rest are not listed");
}

void TChatMember::HandleLeave(const std::string& parameter) {
  try {
    TRoomMembers::Row gone;
    const std::optional<int> at = members_.RemoveRecord(parameter, &gone);
    if (!at) return;
    view_.AddInfoText(RoomShownName(gone.UserName) + " has left the chat");
    view_.MemberRemoved(*at);
  } catch (const std::exception&) {
    LogChatError("Error deleting client from list");
  }
}

void TChatMember::HandleText(const std::string& parameter) {
  const TRoomText text = ReadTextRecord(parameter);
  view_.ShowPeerText(text.Name, text.Text + "\r\n");
  PeerTextShown(text.Name, text.Text);
}

void TChatMember::HandleSound(const std::string& parameter) {
  std::string name;
  int index = 0;
  const bool number = ReadSoundRecord(parameter, name, index);
  view_.AddInfoText(RoomShownName(name) + " sent a sound...");
  if (!number) throw std::invalid_argument("no sound number");
  if (hooks_.PlayChatSound) hooks_.PlayChatSound(index);
  PeerSoundPlayed(name, index);
}

// ----- the socket's events -----------------------------------------------------------------------

void TChatMember::SocketChangeState(TSocketState state) {
  switch (state) {
    case wsConnecting:
      view_.SetPanel(1, "Connecting...");
      break;
    case wsConnected:
      view_.SetPanel(1, "Connected logging on...");
      break;
    case wsClosed:
      view_.SetPanel(1, "Connection Closed...");
      PlayEventSound(kClosedSound);
      break;
    default:
      break;
  }
}

void TChatMember::SocketSessionConnected(int error) {
  if (error != 0) {
    view_.SetCaption("Could not establish connection");
    view_.AddInfoText("Could not establish connection to chat: " + RoomShownName(chatName_));
    SocketErrorHandler(error);
    return;
  }
  view_.SetCaption("Initiating Chat: " + RoomShownName(chatName_));
  view_.AddInfoText("Logging on to chat: " + RoomShownName(chatName_));
}

void TChatMember::SocketSessionClosed(int error) {
  view_.AddInfoText(error != 0 ? "Connection to chat lost..." : "Connection to chat closed...");
}

void TChatMember::SocketErrorHandler(int error) {
  const std::string text = RoomSocketErrorText(error);
  view_.AddInfoText(text);
  if (hooks_.LogError) hooks_.LogError(socket_->PeerAddr(), socket_->PeerPort(), text);
  socket_->CloseDelayed();
  if (hooks_.Beep) hooks_.Beep();
}

// Entries of the room's own operations carry no address.
void TChatMember::Log(const std::string& message) {
  if (hooks_.LogError) hooks_.LogError("", "", message);
}

void TChatMember::PlayEventSound(int event) {
  if (hooks_.PlayEventSound) hooks_.PlayEventSound(event);
}
