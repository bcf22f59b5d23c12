#pragma once

#include <functional>
#include <memory>
#include <string>

#include "chatrooms/RoomMembers.h"
#include "core/session/PeerBounds.h"
#include "platform/Signal.h"
#include "transport/ParloSocket.h"

// What the member window shows of the room. Tests record it.
class TChatMemberView {
 public:
  virtual ~TChatMemberView() = default;
  virtual void AddInfoText(const std::string& text) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // Panel 1 holds the connection's state.
  virtual void SetPanel(int panel, const std::string& text) = 0;
  // A text of the room under its sender's name; the text ends in CR LF.
  virtual void ShowPeerText(const std::string& name, const std::string& text) = 0;
  virtual void ShowOwnText(const std::string& text) = 0;
  // The member list changed as a whole.
  virtual void MembersChanged() = 0;
  // One row came in at `index`, or went from there; the others stayed.
  virtual void MemberAdded(int /*index*/) { MembersChanged(); }
  virtual void MemberRemoved(int /*index*/) { MembersChanged(); }
  virtual void ShowInformation(const std::string& text, const std::string& caption) = 0;
};

// The own user as the room sees it, read when the host says hello.
struct TRoomIdentity {
  std::string UserID, UserName, ListenPort;
  int StatusMode = 0;
};

struct TChatMemberHooks {
  std::function<void(const std::string& addr, const std::string& port, const std::string& message)> LogError;
  std::function<void(int index)> PlayChatSound;
  std::function<void(int event)> PlayEventSound;
  std::function<void()> Beep;
  std::function<TRoomIdentity()> Identity;
};

// A member's side of a room hosted elsewhere: the connection to the host,
// the logon, the member list as the host reports it, and the room's texts
// and sounds. It never reconnects: once the connection has closed the
// window stays as it is.
class TChatMember {
 public:
  TChatMember(TChatMemberView& view, TChatMemberHooks hooks, std::unique_ptr<TParloSocket> socket);
  ~TChatMember();
  TChatMember(const TChatMember&) = delete;
  TChatMember& operator=(const TChatMember&) = delete;

  void ConnectToChat(const std::string& ip, const std::string& port, const std::string& chatName);
  // The input as typed (CR LF line breaks). False, with the user told, while
  // not connected or when it is too long to travel: the input stays. An empty
  // input is sent too.
  bool SendText(const std::string& input);
  // Sent while connected, played here in any case.
  void SendSound(int index);
  void Close();

  bool Connected() const { return socket_->State() == wsConnected; }
  const TRoomMembers& Members() const { return members_; }
  // Every row of the list, the host's and the own included.
  int ClientCount() const { return members_.Count(); }
  const std::string& ChatName() const { return chatName_; }
  const std::string& UserName() const { return identity_.UserName; }
  TParloSocket& Socket() { return *socket_; }

  // The greeting arrived: the member is in the room.
  platform::TSignal<> LoggedIn;
  // A text of the room has been shown (name, text without its CR LF).
  platform::TSignal<std::string, std::string> PeerTextShown;
  // A sound of the room has been played (name, index).
  platform::TSignal<std::string, int> PeerSoundPlayed;

  // The handlers, public so that tests can drive them without a network.
  void ProcessChatCommand(const std::string& received);
  void DispatchChatCommand(int code, const std::string& parameter);
  void SocketErrorHandler(int error);

 private:
  void BindSocket();
  void SocketDataAvailable(int error);
  void SocketSessionConnected(int error);
  void SocketSessionClosed(int error);
  void SocketChangeState(TSocketState state);
  void HandleHello(const std::string& parameter);
  void HandleGreeting(const std::string& parameter);
  void HandleFullList(const std::string& parameter);
  void HandleJoin(const std::string& parameter);
  void HandleLeave(const std::string& parameter);
  void HandleText(const std::string& parameter);
  void HandleSound(const std::string& parameter);
  // Logs, once for the room, that the list left rows out for its bound.
  void NoteListBound();
  void Log(const std::string& message);
  void LogChatError(const std::string& message) { Log("ChatServer Error: " + message); }
  void PlayEventSound(int event);

  TChatMemberView& view_;
  TChatMemberHooks hooks_;
  std::unique_ptr<TParloSocket> socket_;
  TRoomMembers members_{peerbounds::kRoomRows, peerbounds::kRoomListBytes};
  bool listBoundLogged_ = false;
  TRoomIdentity identity_;
  std::string chatName_, greeting_, ownAddress_, logonRecord_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
