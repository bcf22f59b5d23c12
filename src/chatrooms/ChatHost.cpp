#include "chatrooms/ChatHost.h"

#include <stdexcept>
#include <vector>

#include "chatrooms/ChatClient.h"
#include "chatrooms/RoomFrames.h"
#include "core/session/FlagGuard.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "transport/CommandCodes.h"

namespace {

constexpr int kOutTextSound = 4;

}  // namespace

std::string RoomShownName(const std::string& name) { return CutPeerText(name, peerbounds::kShownName); }

std::string RoomSocketErrorText(int error) {
  return "Winsock Error " + std::to_string(error) + " : " +
         (error != 0 ? NetSocketErrorDesc(error) : std::string("Undetermined Winsock Error"));
}

TChatHost::TChatHost(TChatHostView& view, TChatHostHooks hooks, TChatRoomSetup setup)
    : view_(view), hooks_(std::move(hooks)), setup_(std::move(setup)), idleMs_(TChatClient::kIdleMs) {
  server_ = std::make_unique<TNetSocketServer>();
  server_->SetName("ChatServer");
  server_->SetClientFactory([this](TComponent* owner) { return new TChatClient(*this, owner); });
  server_->OnClientCreate = [this](TCustomNetSocketServer*, TNetSocketClient* client) { ServerClientCreate(client); };
  server_->OnClientConnect = [this](TCustomNetSocketServer*, TNetSocketClient* client, int error) {
    ServerClientConnect(client, error);
  };
  server_->OnError = [this](TCustomNetSocket*) { ServerError(); };
  server_->OnBgException = [this](TCustomNetSocket*, const std::exception&, bool& handled) {
    ServerBgException(handled);
  };
}

// The connections go with the server, announcing nothing.
TChatHost::~TChatHost() {
  closing_ = true;
  server_->OnClientCreate = nullptr;
  server_->OnClientConnect = nullptr;
  server_->OnError = nullptr;
  server_->OnBgException = nullptr;
  server_.reset();
}

bool TChatHost::StartListening() {
  try {
    server_->Close();
    server_->Banner.clear();
    server_->BannerToBusy.clear();
    server_->SetAddr("0.0.0.0");
    server_->SetPort(setup_.ChatPort);
    server_->SetProto("tcp");
    server_->Listen();
    return true;
  } catch (const std::exception&) {
    LogChatError("Error starting chat listener");
    return false;
  }
}

void TChatHost::AddOwnRow() {
  const std::string own =
      RoomUserRecord(setup_.UserID, setup_.UserName, setup_.StatusMode, setup_.ChatIP, setup_.ListenPort);
  if (const std::optional<int> at = members_.Add(own)) {
    listFrame_.clear();
    view_.MemberAdded(*at);
  }
}

// ----- the server's events -------------------------------------------------------------

void TChatHost::ServerClientCreate(TNetSocketClient* client) {
  auto* member = static_cast<TChatClient*>(client);
  try {
    member->Bind(idleMs_, logonMs_);
  } catch (const std::exception&) {
    member->LogClientError("ChatClientCreate Error");
    member->CloseDelayed();
  }
}

void TChatHost::ServerClientConnect(TNetSocketClient* client, int error) {
  auto* member = static_cast<TChatClient*>(client);
  if (error != 0) {
    member->LogClientError("Chat Client Connect");
    member->ClientError(error);
    return;
  }
  member->IP = member->GetPeerAddr();
  if (Admit(*member)) member->SendCommand(cmd::RoomHello, member->IP);
}

bool TChatHost::Admit(TChatClient& newcomer) {
  int inAll = 0, fromAddress = 0;
  for (int i = 0; i < server_->ClientCount(); ++i) {
    const auto* c = static_cast<const TChatClient*>(server_->Client(i));
    if (c == &newcomer || c->TurnedAway || c->State() != wsConnected) continue;
    ++inAll;
    fromAddress += c->IP == newcomer.IP;
  }
  const bool addressFull = fromAddress >= peerbounds::kRoomMembersPerAddress;
  const char* full = addressFull                                               ? "too many members from that address"
                     : setup_.MemberLimit > 0 && inAll >= setup_.MemberLimit ? "the chat is full"
                     : inAll >= MaxConnections                                ? "the room holds all it can"
                                                                              : nullptr;
  if (full == nullptr) return true;
  // Turning the newcomer away would let connections that never log on keep
  // every place for as long as they like.
  if (TChatClient* let = CallerToLetGo(newcomer, addressFull ? &newcomer.IP : nullptr)) {
    LetGo(*let, std::string(full) + "; it had not logged on");
    return true;
  }
  LetGo(newcomer, full);
  return false;
}

TChatClient* TChatHost::CallerToLetGo(const TChatClient& newcomer, const std::string* address) const {
  std::map<std::string, int> places;
  for (int i = 0; i < server_->ClientCount(); ++i) {
    const auto* c = static_cast<const TChatClient*>(server_->Client(i));
    if (c != &newcomer && !c->TurnedAway && c->State() == wsConnected) ++places[c->IP];
  }
  // The server lists its connections in the order they came: the first one
  // found at an address has waited longest there.
  TChatClient* chosen = nullptr;
  int most = 0;
  for (int i = 0; i < server_->ClientCount(); ++i) {
    auto* c = static_cast<TChatClient*>(server_->Client(i));
    // One whose logon has come and waits to be read has logged on.
    if (c == &newcomer || c->TurnedAway || c->LoggedIn || c->State() != wsConnected || c->InputWaiting()) continue;
    if (address != nullptr && c->IP != *address) continue;
    const int held = places[c->IP];
    if (chosen == nullptr || held > most) {
      chosen = c;
      most = held;
    }
  }
  return chosen;
}

void TChatHost::LetGo(TChatClient& client, const std::string& why) {
  client.TurnedAway = true;
  const auto now = std::chrono::steady_clock::now();
  const auto [it, first] = letGoShown_.try_emplace(why, now);
  if (first || now - it->second >= std::chrono::minutes(1)) {
    it->second = now;
    view_.AddInfoText("A member was turned away from " + client.IP + ": " + why);
  }
  client.AbortWithReset();
}

void TChatHost::ServerBgException(bool& handled) {
  Log("", "", "Chat Server BgException");
  handled = true;
}

void TChatHost::ServerError() {
  const int error = server_->LastError();
  const std::string text = RoomSocketErrorText(error);
  view_.AddInfoText(text);
  // A listener has no peer: the entry carries what the socket says of it.
  Log(server_->PeerAddr(), server_->PeerPort(), text);
  server_->CloseDelayed();
  if (hooks_.Beep) hooks_.Beep();
}

// ----- the member list ------------------------------------------------------------------

void TChatHost::AddClientToList(const std::string& record, TChatClient& client) {
  if (const std::optional<int> at = members_.Add(record, &client)) {
    listFrame_.clear();
    view_.MemberAdded(*at);
  }
  Broadcast(cmd::RoomJoined, record);
}

void TChatHost::RemoveClientFromList(TChatClient& client) {
  if (closing_ || client.TurnedAway) return;
  try {
    if (const TRoomMembers::Row* row = members_.Owned(&client)) {
      const std::string name = RoomShownName(row->UserName);
      const std::optional<int> at = members_.RemoveOwned(&client);
      listFrame_.clear();
      view_.AddInfoText(name + " has left the chat");
      view_.MemberRemoved(*at);
    }
    Broadcast(cmd::RoomLeft, client.UserRecord);
  } catch (const std::exception&) {
    LogChatError("Error deleting client from list");
  }
}

// The row names its connection; a close takes the row out of the list.
void TChatHost::RemoveFromChat(const TRoomMembers::Row& row) {
  for (int i = 0; i < server_->ClientCount(); ++i) {
    auto* c = static_cast<TChatClient*>(server_->Client(i));
    if (row.Owner == c && c->LoggedIn) {
      c->Close();
      return;
    }
  }
}

std::string TChatHost::NameInRoom(const std::string& name, const std::string& userId) const {
  std::vector<std::pair<std::string, std::string>> present{{setup_.UserName, setup_.UserID}};
  for (const TRoomMembers::Row& row : members_.Rows()) present.emplace_back(row.UserName, row.UserID);
  return DistinctRoomName(name, userId, present);
}

void TChatHost::Close() {
  closing_ = true;
  server_->Close();
  // The members' connections end with the room; nothing is sent to them.
  for (int i = 0; i < server_->ClientCount(); ++i) server_->Client(i)->Close();
}

// ----- texts and sounds -------------------------------------------------------------------

void TChatHost::Broadcast(int code, const std::string& parameter, const TChatClient* except) {
  const std::string frame = RoomFrame(code, parameter);
  for (int i = 0; i < server_->ClientCount(); ++i) {
    auto* c = static_cast<TChatClient*>(server_->Client(i));
    if (c != except && !c->TurnedAway) c->SendFrame(frame);
  }
  KeepRelaysBounded();
}

const std::string& TChatHost::MemberListFrame() {
  // Never empty once built: a frame has its code and line end.
  if (listFrame_.empty()) listFrame_ = RoomFrame(cmd::RoomMembers, RoomUserList(members_.Records()));
  return listFrame_;
}

// Members who do not read hold what is queued for them; together they may
// hold no more than the room's bound. The one furthest behind goes first: it
// is the one least likely ever to catch up.
void TChatHost::KeepRelaysBounded() {
  if (bounding_) return;
  const TFlagGuard guard(bounding_);
  for (;;) {
    std::int64_t queued = 0, most = 0;
    TChatClient* furthest = nullptr;
    for (int i = 0; i < server_->ClientCount(); ++i) {
      auto* c = static_cast<TChatClient*>(server_->Client(i));
      if (c->State() != wsConnected) continue;
      const std::int64_t held = c->QueuedBytes();
      queued += held;
      if (held > most) {
        most = held;
        furthest = c;
      }
    }
    if (queued <= peerbounds::kRoomQueuedBytes || furthest == nullptr) return;
    furthest->LogClientError("Room relays queued for its members passed " +
                             std::to_string(peerbounds::kRoomQueuedBytes) +
                             " bytes; the member furthest behind was dropped");
    furthest->AbortWithReset();
  }
}

void TChatHost::ShowPeerText(const std::string& name, const std::string& text) {
  view_.ShowPeerText(name, text);
  PeerTextShown(name, text.substr(0, text.size() - 2));
}

void TChatHost::ShowPeerSound(const std::string& name, std::optional<int> index) {
  try {
    view_.AddInfoText(RoomShownName(name) + " sent a sound...");
    if (!index) throw std::invalid_argument("no sound number");
    PlayChatSound(*index);
  } catch (const std::exception&) {
    LogChatError("Error Host sound play");
    return;
  }
  PeerSoundPlayed(name, *index);
}

bool TChatHost::SendText(const std::string& input) {
  const std::string parameter = TextRecord(setup_.UserName, input);
  if (RoomFrame(cmd::RoomText, parameter).size() > kRoomFrameBudget) {
    view_.ShowInformation("The message is too long to send, please send it in parts.", "Message Too Long");
    return false;
  }
  try {
    view_.ShowOwnText(input + "\r\n");
    if (hooks_.PlayEventSound) hooks_.PlayEventSound(kOutTextSound);
    Broadcast(cmd::RoomText, parameter);
  } catch (const std::exception&) {
    LogChatError("Error sending out text to chat client");
  }
  return true;
}

void TChatHost::SendSound(int index) {
  if (index < 0 || index >= ChatSoundCount) return;
  try {
    Broadcast(cmd::RoomSound, SoundRecord(setup_.UserName, index));
    PlayChatSound(index);
  } catch (const std::exception&) {
    LogChatError("Error Host soundout");
  }
}

void TChatHost::PlayChatSound(int index) {
  if (hooks_.PlayChatSound) hooks_.PlayChatSound(index);
}

// Entries of the room's own operations carry no address.
void TChatHost::LogChatError(const std::string& message) { Log("", "", "ChatServer Error: " + message); }

void TChatHost::Log(const std::string& addr, const std::string& port, const std::string& message) {
  if (hooks_.LogError) hooks_.LogError(addr, port, message);
}
