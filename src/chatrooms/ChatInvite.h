#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

class TParloSocket;
class TSession;
class TTimer;

// A room invitation (the parameter of 2020): host user name, chat IP, chat
// port and chat name joined by "{$}", none of them escaped.
struct TChatInvite {
  std::string HostUser, ChatIP, ChatPort, ChatName;

  std::string Parameter() const;
  // From the parameters as the peer listener hands them over (a comma turned
  // into a line break, which is turned back here). False for fewer than
  // four fields; fields past the fourth are not read.
  static bool Read(const std::string& parameters, TChatInvite& out);
};

// Whether an invitation from `hostUser` may be put to the user: not while
// "Make me available for multi-user chat requests" is off, not from a
// blocked user, and only from a friend while "Apply only to users in my
// friends list" is on. The invitation names its host only by user name, so
// that name is looked up in the blocked list and among the contacts.
bool InvitationWelcome(const TSession& session, const std::string& hostUser);

// The invitations on their way: one connection each to the invited
// contact's listener, which sends 2020 once the listener has greeted it.
// Each is freed once its connection has closed, and closed when it has not
// done so within the time-out, so that no invitation outlives its purpose.
class TChatInvitations {
 public:
  static constexpr int kTimeoutMs = 30000;

  TChatInvitations();
  ~TChatInvitations();
  TChatInvitations(const TChatInvitations&) = delete;
  TChatInvitations& operator=(const TChatInvitations&) = delete;

  // Opens the connection to the contact's listener at ip:port.
  void CreateInviteSocket(const std::string& ip, const std::string& port, const TChatInvite& invite);
  void SetTimeout(int ms) { timeoutMs_ = ms; }
  int Pending() const { return static_cast<int>(open_.size()); }

 private:
  struct Invitation;
  void DataAvailable(Invitation& invitation, int error);
  void Closed(Invitation& invitation);
  void Free(unsigned id);
  static void Unbind(Invitation& invitation);

  std::vector<std::unique_ptr<Invitation>> open_;
  platform::MessageTarget target_;
  unsigned nextId_ = 1;
  int timeoutMs_ = kTimeoutMs;
};
