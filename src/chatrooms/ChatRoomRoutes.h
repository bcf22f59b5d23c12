#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chatrooms/ChatInvite.h"
#include "platform/Signal.h"

class TFormChat;
class TFormChatCli;
class TFormChatInfo;
class TFormChatRequest;
class TPeerRequest;
class TSession;
struct TContactCall;

// Where the chat rooms meet the rest of the program: "Host Multi-Chat" from
// the main window's menu, "Invite to Multi-Chat" on a contact, and the
// invitations other programs send (2020). Made once, after the session, by
// the code that wires the program together; the room windows still open when
// it goes are closed with it.
//
// Without a transcript control nothing is registered: the room windows cannot
// show a room without one.
class TChatRoomRoutes {
 public:
  explicit TChatRoomRoutes(TSession& session);
  ~TChatRoomRoutes();
  TChatRoomRoutes(const TChatRoomRoutes&) = delete;
  TChatRoomRoutes& operator=(const TChatRoomRoutes&) = delete;

  // The one room hosted here, or null.
  TFormChat* HostWindow() const;
  std::vector<TFormChatCli*> MemberWindows() const;
  TChatInvitations& Invitations() { return invitations_; }

  // "Host Multi-Chat": the set-up dialog, unless a room is open already.
  void ActionHostChatExecute();
  // The set-up dialog's OK: opens the room and starts listening.
  TFormChat* StartHostedChat(const std::string& ip, const std::string& greeting, const std::string& chatName);
  // "Invite to Multi-Chat" on a contact: nothing while no room is hosted, and
  // nothing sent while the user is not available for rooms.
  void SendChatInvitation(const TContactCall& call);
  // 2020 on a connection the peer listener accepted; not shown while many
  // invitations from the same address wait for an answer.
  void HandleChatInvitation(TPeerRequest& request);
  // The invitation dialog's Accept.
  TFormChatCli* JoinHostedChat(const std::string& ip, const std::string& port, const std::string& chatName);

  // Each invitation dialog as it is shown (the test hooks answer it).
  std::function<void(TFormChatRequest& dialog)> RequestShown;
  platform::TSignal<TFormChat&> HostOpened;
  platform::TSignal<TFormChatCli&> MemberOpened;

 private:
  TSession& session_;
  QPointer<TFormChat> host_;
  QPointer<TFormChatInfo> info_;
  std::vector<QPointer<TFormChatCli>> members_;
  std::vector<QPointer<TFormChatRequest>> requests_;
  TChatInvitations invitations_;
};
