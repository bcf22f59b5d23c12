#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/Component.h"
#include "platform/Timer.h"
#include "transport/NetSocket.h"

class TParloSocket;

// What the listener needs to know when a private-chat request arrives.
struct TPeerAnswerSettings {
  int StatusMode = 0;
  std::string BusyMessage;  // the current profile's busy message, escaped
  std::string AwayText, UnavText;
  bool AutoPChat = false, AutoPChatOnly = false;
};

// Everything the listener asks of the main window. Unset hooks are skipped
// (a missing question counts as "no").
struct TPeerListenerHooks {
  std::function<void(const std::string& addr, const std::string& port, const std::string& message)> LogError;
  // Listener state: wsConnecting, wsListening or wsClosed.
  std::function<void(int state, const std::string& port)> StateChanged;
  std::function<TPeerAnswerSettings()> Settings;
  // Tests the requester's profile record against the blocked list.
  std::function<bool(const std::string& record)> IsUserBlocked;
  std::function<bool(const std::string& userId)> IsFriend;
  std::function<void(int event)> PlayEventSound;
  // Shows the request dialog modally and returns its decision (0 accept,
  // 1 reject, 2 busy). The socket may close meanwhile; the listener keeps it
  // alive until the answer is in.
  std::function<int(const std::string& record)> AskRequest;
  // Hands the connection to a private-chat window; true when a window took it
  // over (it then rebinds the socket's events and the listener lets go).
  std::function<bool(const std::string& record, TParloSocket& socket)> AcceptPrivateChat;
  std::function<void(const std::string& text, const std::string& caption)> ShowInformation;
  // File offers, webcam requests and chat-room invitations: the main window's
  // handlers. A handler that does not adopt the socket closes it.
  std::function<void(int code, const std::string& params, TParloSocket& socket)> PeerRequest;
};

// The peer listener: accepts connections from other users' programs, greets
// each with 1000 and dispatches the commands that come before a window takes
// the connection over. It owns every accepted socket. A connection that has
// been turned away is freed once the event that turned it away is over; one
// that says nothing within the time-out is closed; and no more than
// MaxPending connections wait at once, so a caller cannot use up the
// program's descriptors.
class TPeerListener : public TComponent {
 public:
  static constexpr int kDefaultIdleMs = 30000;
  static constexpr int kDefaultMaxPending = 64;
  static constexpr int kAcceptBurst = 32;

  explicit TPeerListener(TPeerListenerHooks hooks, TComponent* owner = nullptr);
  ~TPeerListener() override;

  // (Re)starts listening on 0.0.0.0:port; raises when the port cannot be taken.
  void Start(const std::string& port);
  void Stop();
  TSocketState State() const;
  TCustomNetSocket& Socket() { return *server_; }

  // Milliseconds a connection may wait before its first command; a request
  // waiting on the user's answer is not timed.
  void SetIdleTimeout(int ms);
  int MaxPending = kDefaultMaxPending;

  // Accepted sockets that still exist (pending, answered but not yet freed,
  // or adopted by a window).
  // A window took the connection over: it is no longer timed or turned away.
  void Adopt(TParloSocket& socket);

  int LiveSockets() const { return static_cast<int>(conns_.size()); }

  // The handlers, public so that tests can drive them without a network.
  void ProcessPeerData(const std::string& line, TParloSocket& socket);
  void ProcessPeerCommand(int code, const std::string& params, TParloSocket& socket, const std::string& text);
  void HandlePrivateChatRequest(const std::string& record, TParloSocket& socket);
  void AnswerChatRequest(const std::string& record, TParloSocket& socket);
  bool IsFriendRecord(const std::string& record) const;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  struct Conn {
    TParloSocket* socket = nullptr;
    std::chrono::steady_clock::time_point deadline;
    bool askingUser = false;  // a request dialog is open for it
    bool adopted = false;
    bool releasing = false;
  };

  void ServerSessionAvailable(int error);
  // Takes one waiting caller; false when none waited.
  bool AcceptOne();
  void ServerChangeState(TSocketState state);
  void SSocketErrorHandler(TCustomNetSocket& socket, int error);
  void SocketDataAvailable(TParloSocket& socket, int error);
  void SocketClosed(TParloSocket& socket);
  void AcceptPrivateChat(const std::string& record, TParloSocket& socket);
  // Closes the connection; its object goes once the current event is over.
  void Drop(TParloSocket& socket);
  void ScheduleRelease(TParloSocket& socket);
  void Sweep();
  int PendingCount() const;
  void CountChanged();
  void Log(TCustomNetSocket* socket, const std::string& message);
  Conn* Find(TParloSocket& socket);

  TPeerListenerHooks hooks_;
  std::unique_ptr<TCustomNetSocket> server_;
  TTimer sweep_;
  int idleMs_ = kDefaultIdleMs;
  bool capLogged_ = false;
  std::unordered_map<const TComponent*, Conn> conns_;
  std::string port_;
  bool accepting_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
