#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "core/session/Contacts.h"
#include "core/session/PeerListener.h"

// Commands given on a contact: from a list's popup menu or double click, or by
// a window that knows a contact otherwise (the random contact, a friend picked
// for a chat).
enum class TContactCommand {
  PrivateChat,   // "Call for Private Chat"
  Message,       // "Send Message"
  History,       // "Show History"
  Profile,       // "View Profile"
  AddFriend,     // "Add to Friend List"
  DeleteFriend,  // "Delete from Friend List"
  Block,         // "Block this User"
  SendFile,      // "Send Files"
  SendImage,     // "Send Image"
  SendSound,     // "Send Sound File"
  CamView,       // "Request to View Cam"
  CamBroadcast,  // "Send Cam Broadcast"
  InviteToChat,  // "Invite to Multi-Chat"
};

// One contact command as its handler gets it.
struct TContactCall {
  TContactCommand Command = TContactCommand::PrivateChat;
  TContact Contact;
  // The list the contact was chosen from; none when a window named it.
  std::optional<TContactListKind> List;
  // PrivateChat: the greeting the user confirmed (CR LF line breaks, unescaped).
  std::string Greeting;
};

// The main window's menu commands that open a window of their own.
enum class TWindowCommand {
  CamBroadcaster,  // "Start Cam Broadcaster"
  HostChat,        // "Host Multi-Chat"
  Preferences,     // "Application Preferences"
  CheckUpdates,    // "Check for Updates"
  FriendChat,      // "Chat with a Friend"
  RandomContact,   // "Find Random Contact"
  CheckMessages,   // "Check Messages"
  ViewMyProfile,   // "View My Profile"
  ProfileManager,  // "Profile Manager"
  PhotoUpload,     // "Upload Profile Photo"
  ManageFriends,   // "Manage Friends List"
  About,           // "About Parlo"
  Web,             // "Parlo on the Web"
  Support,         // "Parlo Support"
};

// Where the session sends what the windows above it handle. The conversation
// and chat-room windows register at start-up: for the first command of an
// accepted peer connection (1001 once the answer policy accepted the chat,
// 1020, 1030, 1037, 2020) a handler that may adopt the connection; for a
// contact command or a menu command a handler that opens its window. A later
// registration for the same code or command takes the place of the earlier
// one; an empty handler removes it.
class TRouter {
 public:
  using TPeerHandler = std::function<void(TPeerRequest& request)>;
  using TContactHandler = std::function<void(const TContactCall& call)>;
  using TWindowHandler = std::function<void()>;

  void SetPeerHandler(int code, TPeerHandler handler);
  void SetContactHandler(TContactCommand command, TContactHandler handler);
  void SetWindowHandler(TWindowCommand command, TWindowHandler handler);

  bool HasPeerHandler(int code) const { return peer_.contains(code); }
  bool HasContactHandler(TContactCommand command) const { return contact_.contains(command); }
  bool HasWindowHandler(TWindowCommand command) const { return window_.contains(command); }

  // Each runs the registered handler and says whether there was one.
  bool RoutePeerRequest(TPeerRequest& request) const;
  bool RunContactCommand(const TContactCall& call) const;
  bool RunWindowCommand(TWindowCommand command) const;

 private:
  std::map<int, TPeerHandler> peer_;
  std::map<TContactCommand, TContactHandler> contact_;
  std::map<TWindowCommand, TWindowHandler> window_;
};
