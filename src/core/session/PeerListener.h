#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/session/PeerAnswer.h"
#include "core/session/PeerBounds.h"
#include "core/session/Prompts.h"
#include "platform/Component.h"
#include "platform/Timer.h"
#include "transport/NetSocket.h"
#include "transport/ParloSocket.h"

class TPeerListener;

// A connection the listener lets through, with the command that asked for it:
// an accepted private chat (1001, after the answer policy; the parameters are
// the caller's profile record), a file offer (1020), a webcam view request
// (1030), a webcam broadcast offer (1037) or a chat-room invitation (2020).
// The listener owns the connection until a handler adopts it; one that is not
// adopted is closed and freed once the handler has returned.
class TPeerRequest {
 public:
  TPeerRequest(int code, std::string params, std::string text, TParloSocket& socket, TPeerListener& listener)
      : code_(code), params_(std::move(params)), text_(std::move(text)), socket_(&socket), listener_(&listener) {}
  TPeerRequest(const TPeerRequest&) = delete;
  TPeerRequest& operator=(const TPeerRequest&) = delete;

  int Code() const { return code_; }
  const std::string& Params() const { return params_; }
  const std::string& Text() const { return text_; }
  // Valid while the handler runs; after Adopt it is the adopter's.
  TParloSocket& Socket() const { return *socket_; }
  // Takes the connection over: the caller owns the socket from now on and
  // binds its events (until it does, lines that arrive are dropped). The
  // listener neither times nor closes it any more. Null when it was taken already.
  std::unique_ptr<TParloSocket> Adopt();
  bool Adopted() const { return adopted_; }

 private:
  int code_;
  std::string params_, text_;
  TParloSocket* socket_;
  TPeerListener* listener_;
  bool adopted_ = false;
};

// Everything the listener asks of the session. Unset hooks are skipped
// (a missing question counts as "no").
struct TPeerListenerHooks {
  std::function<void(const std::string& addr, const std::string& port, const std::string& message)> LogError;
  // Listener state: wsConnecting, wsListening or wsClosed.
  std::function<void(int state, const std::string& port)> StateChanged;
  std::function<TPeerAnswerSettings()> Settings;
  // Tests the requester's profile record against the blocked list.
  std::function<bool(const std::string& record)> IsUserBlocked;
  // A friend is known by its id and the address it calls from (see
  // TDBStuff::IsFriendAt): another caller claiming the id is a stranger.
  std::function<bool(const std::string& userId, const std::string& address)> IsFriend;
  std::function<void(int event)> PlayEventSound;
  // Puts the request to the user without waiting (TPrompts::AskChatRequest):
  // `answered` hears the TChatDecision. The listener keeps the connection
  // until then; when the caller hangs up first, it drops the question.
  std::function<TQuestion(const std::string& record, std::function<void(int decision)> answered)> AskRequest;
  std::function<void(const std::string& text, const std::string& caption)> ShowInformation;
  // Where the requests the listener lets through go (see TPeerRequest). The
  // handler may run a modal loop: the socket stays alive until it returns.
  std::function<void(TPeerRequest& request)> Route;
};

// The peer listener: accepts connections from other users' programs, greets
// each with 1000 and dispatches the commands that come before a window takes
// the connection over. It owns every accepted socket until a handler adopts
// it. A connection that has been turned away is freed once the event that
// turned it away is over; one that says nothing within the time-out is
// closed; no more than MaxPending connections wait at once, so a caller
// cannot use up the program's descriptors, and no more than
// MaxPendingPerAddress of them from one address. A newcomer is greeted all
// the same: past either bound, the caller that has waited longest at the
// address holding the most places (at its own address, when that one is
// full) is let go for it. Only callers that have not yet said what they want
// are let go; bytes without a line end say nothing. A chat request put to
// the user leaves those places: it waits in one of the few places for
// questions (PeerBounds.h; a friend's in places of its own), and past them
// it is answered busy at once.
//
// Callers the listener turns away itself (over a cap, silent too long,
// refused while Invisible or blocked, speaking no request) are reset rather
// than closed: a graceful close would keep a descriptor waiting for a peer
// who may never hang up. Only a refusal with a reason (1004, 1005) is closed
// gracefully, so that the reason reaches the caller.
class TPeerListener : public TComponent {
 public:
  static constexpr int kDefaultIdleMs = peerbounds::kSilentCallerMs;
  static constexpr int kDefaultMaxPending = peerbounds::kWaitingCallers;
  static constexpr int kDefaultMaxPendingPerAddress = peerbounds::kWaitingCallersPerAddress;
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
  int MaxPendingPerAddress = kDefaultMaxPendingPerAddress;

  // Gives up a connection to whoever adopts it (see TPeerRequest::Adopt).
  std::unique_ptr<TParloSocket> TakeOver(TParloSocket& socket);

  // Accepted sockets the listener still owns (pending, asking, or answered
  // but not yet freed).
  int LiveSockets() const { return static_cast<int>(conns_.size()); }
  // Chat requests put to the user and not yet answered.
  int OpenQuestions() const { return questions_.Taken() + friendQuestions_.Taken(); }

  // The handlers, public so that tests can drive them without a network.
  void ProcessPeerData(const std::string& line, TParloSocket& socket);
  void ProcessPeerCommand(int code, const std::string& params, TParloSocket& socket, const std::string& text);
  void HandlePrivateChatRequest(const std::string& record, TParloSocket& socket);
  void AnswerChatRequest(const std::string& record, TParloSocket& socket);
  // The requester's user id (the record's first field) is a friend's, and
  // the caller is at that friend's address.
  bool IsFriendRecord(const std::string& record, const std::string& address) const;
  // Logs the listener's error ("Server Error " code " : " description) and
  // closes the listener.
  void SSocketErrorHandler(TCustomNetSocket& socket, int error);

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  struct Conn {
    TParloSocket* socket = nullptr;
    std::string address;  // the caller's, read once at the accept
    std::uint64_t arrival = 0;  // orders the callers by how long they have waited
    std::chrono::steady_clock::time_point deadline;
    // A question or a handler runs on it (perhaps a modal loop inside its own
    // data event): the object must outlive that.
    bool held = false;
    bool releasing = false;
    // A chat request waits on the user's answer: the connection holds a
    // place for questions instead of one of the waiting callers'.
    bool asking = false;
    TWaitingPlaces::TPlace place;
    TQuestion question;
  };

  void ServerSessionAvailable(int error);
  // Takes one waiting caller; false when none waited.
  bool AcceptOne();
  void ServerChangeState(TSocketState state);
  void rSocketDataAvailable(TParloSocket& socket, int error);
  // A socket error on an accepted connection closes it once the event is over.
  void rSocketError(TParloSocket& socket);
  void SocketClosed(TParloSocket& socket);
  void AcceptPrivateChat(const std::string& record, TParloSocket& socket);
  void RequestAnswered(const TComponent* key, const std::string& record, int decision);
  // The question of a caller who has gone gives its place to a newcomer, as
  // if the user had not answered before the link closed.
  void WithdrawQuestion(const TComponent* key);
  // Hands a request on to the Route hook; what it does not adopt is closed.
  void RouteRequest(int code, const std::string& params, const std::string& text, TParloSocket& socket);
  // Closes the connection (gracefully, so that a last reply still reaches
  // the caller); its object goes once the current event is over.
  void Drop(TParloSocket& socket);
  // Resets the connection of a caller turned away; the object goes as above.
  void TurnAway(TParloSocket& socket);
  void ScheduleRelease(TParloSocket& socket);
  void Sweep();
  int PendingCount() const;
  int PendingFrom(const std::string& address) const;
  // The caller to let go so that `newcomer` gets a place: the longest waiting
  // at `address` when given, else at the address holding the most places.
  // Null when every place is held by a caller that has spoken.
  TParloSocket* CallerToLetGo(const TComponent* newcomer, const std::string* address) const;
  void CountChanged();
  void Log(TCustomNetSocket* socket, const std::string& message);
  // At most once a minute for each address and message: a caller who keeps
  // coming back must not fill the log.
  void LogForAddress(TCustomNetSocket& socket, const std::string& address, const std::string& message);
  // Keyed by the component: a socket that a handler adopted and freed is
  // never touched again, only looked up.
  Conn* Find(const TComponent* socket);

  TPeerListenerHooks hooks_;
  std::unique_ptr<TCustomNetSocket> server_;
  TTimer sweep_;
  TWaitingPlaces questions_{peerbounds::kChatRequestQuestions, peerbounds::kChatRequestQuestionsPerAddress};
  TWaitingPlaces friendQuestions_{peerbounds::kFriendChatRequestQuestions,
                                  peerbounds::kFriendChatRequestQuestionsPerAddress};
  std::uint64_t arrivals_ = 0;
  int idleMs_ = kDefaultIdleMs;
  bool capLogged_ = false;
  // When an address's callers were last logged as turned away, by message.
  std::unordered_map<std::string, std::chrono::steady_clock::time_point> addressCapLogged_;
  std::unordered_map<const TComponent*, Conn> conns_;
  std::string port_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
