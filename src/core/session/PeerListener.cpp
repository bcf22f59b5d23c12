#include "core/session/PeerListener.h"

#include <algorithm>
#include <vector>

#include "core/session/TestHooks.h"
#include "platform/ErrorSink.h"
#include "platform/SocketApi.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"
#include "transport/NetSocketFunctions.h"
#include "transport/SocketException.h"

namespace {

constexpr const char* kClosedBeforeAccept =
    "The connection for this request was closed before you accepted the request.";

// Accepted connections run in line mode; a caller that sends more than this
// without a line end is not speaking the protocol.
constexpr int kPeerLineLimit = 65536;

// One entry a minute for an address whose callers are turned away: a caller
// who keeps coming back must not fill the log.
constexpr auto kCapLogPeriod = std::chrono::minutes(1);

}  // namespace

std::unique_ptr<TParloSocket> TPeerRequest::Adopt() {
  if (adopted_) return nullptr;
  adopted_ = true;
  return listener_->TakeOver(*socket_);
}

TPeerListener::TPeerListener(TPeerListenerHooks hooks, TComponent* owner)
    : TComponent(owner), hooks_(std::move(hooks)), server_(std::make_unique<TNetSocket>()) {
  server_->SetName("Server");
  server_->OnSessionAvailable = [this](TCustomNetSocket*, int error) { ServerSessionAvailable(error); };
  server_->OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState s) { ServerChangeState(s); };
  // No OnError: a failed listen or accept raises, so that the caller logs it
  // with its own text ("Starting Server Listen", "Incoming Session Exception").
  sweep_.SetEnabled(false);
  sweep_.OnTimer = [this](TTimer*) { Sweep(); };
  SetIdleTimeout(kDefaultIdleMs);
}

TPeerListener::~TPeerListener() {
  *alive_ = false;
  alive_.reset();
  sweep_.SetEnabled(false);
  server_->DropHandlers();
  server_->Abort();
  auto conns = std::move(conns_);
  conns_.clear();
  for (auto& [key, conn] : conns) {
    TParloSocket* s = conn.socket;
    RemoveFreeNotification(s);
    s->OnDataAvailable = nullptr;
    s->OnSessionClosed = nullptr;
    s->OnError = nullptr;
    s->OnLineLimitExceeded = nullptr;
    s->Abort();
    // A question still runs inside this socket's data event: the socket
    // must outlive that event, so it goes once the event is over.
    if (conn.held) s->Release();
    else delete s;
  }
}

void TPeerListener::SetIdleTimeout(int ms) {
  idleMs_ = std::max(10, ms);
  sweep_.SetInterval(std::clamp(idleMs_ / 4, 10, 1000));
}

void TPeerListener::Start(const std::string& port) {
  if (server_->State() == wsListening) return;
  server_->Close();
  server_->SetAddr("0.0.0.0");
  server_->SetPort(port);
  server_->SetProto("tcp");
  port_ = port;
  server_->Listen();
  sweep_.SetEnabled(true);
}

void TPeerListener::Stop() { server_->Close(); }

TSocketState TPeerListener::State() const { return server_->State(); }

std::unique_ptr<TParloSocket> TPeerListener::TakeOver(TParloSocket& socket) {
  const auto it = conns_.find(&socket);
  if (it == conns_.end()) return nullptr;
  conns_.erase(it);
  RemoveFreeNotification(&socket);
  socket.OnDataAvailable = nullptr;
  socket.OnSessionClosed = nullptr;
  socket.OnError = nullptr;
  socket.OnLineLimitExceeded = nullptr;
  CountChanged();
  return std::unique_ptr<TParloSocket>(&socket);
}

// ----- listener ---------------------------------------------------------------

void TPeerListener::ServerChangeState(TSocketState state) {
  if (hooks_.StateChanged) hooks_.StateChanged(state, port_);
}

void TPeerListener::SSocketErrorHandler(TCustomNetSocket& socket, int error) {
  const std::string desc = error == 0 ? "Undetermined Winsock Error" : NetSocketErrorDesc(error);
  Log(nullptr, "Server Error " + std::to_string(error) + " : " + desc);
  socket.Close();
}

void TPeerListener::ServerSessionAvailable(int error) {
  if (error != 0) {
    Log(nullptr, "Incoming Session Error");
    SSocketErrorHandler(*server_, server_->LastError());
    return;
  }
  // The system keeps only a few unanswered callers waiting: take all that
  // wait now, so that a burst does not leave callers to retry their connect.
  for (int i = 0; i < kAcceptBurst; ++i)
    if (!AcceptOne()) break;
}

bool TPeerListener::AcceptOne() {
  TParloSocket* s = nullptr;
  try {
    TSocket handle = INVALID_SOCKET;
    try {
      handle = server_->Accept();
    } catch (const ESocketException&) {
      // Nobody waiting is how taking the waiting callers ends. A caller turned
      // away because descriptors run short is the socket layer's to log (it
      // sums them up once a minute): an entry each would let callers flood the log.
      const int error = server_->LastError();
      if (error == platform::net::WSAEWOULDBLOCK || error == platform::net::WSAEMFILE) return false;
      throw;
    }
    if (handle == INVALID_SOCKET) return false;
    s = new TParloSocket();
    FreeNotification(s);
    Conn conn;
    conn.socket = s;
    conn.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(idleMs_);
    conn.arrival = ++arrivals_;
    conns_.emplace(s, std::move(conn));
    s->OnError = [this, s](TCustomNetSocket*) { rSocketError(*s); };
    s->OnDataAvailable = [this, s](TCustomNetSocket*, int e) { rSocketDataAvailable(*s, e); };
    s->OnSessionClosed = [this, s](TCustomNetSocket*, int) { SocketClosed(*s); };
    // A longer line is dropped by the socket and the link kept: the next
    // bytes begin a new line.
    s->LineLimit = kPeerLineLimit;
    s->SetTag(0);
    s->SetLineEnd("\r\n");
    s->SetLineMode(true);
    s->Dup(handle);
    const std::string address = s->PeerAddr();
    Find(s)->address = address;
    CountChanged();
    const bool addressFull = PendingFrom(address) > MaxPendingPerAddress;
    const bool full = PendingCount() > MaxPending;
    if (!full) capLogged_ = false;
    if (addressFull || full) {
      // Turning the newcomer away would let callers who never speak keep
      // every place for as long as they like.
      TParloSocket* let = CallerToLetGo(s, addressFull ? &address : nullptr);
      if (let == nullptr) {
        if (!capLogged_) Log(s, "Too many waiting connections; new callers are turned away");
        capLogged_ = true;
        TurnAway(*s);
        return true;
      }
      if (addressFull) {
        LogForAddress(*let, address,
                      "Too many waiting connections from one address; its longest waiting caller is let go");
      } else if (!capLogged_) {
        Log(let, "Too many waiting connections; the longest waiting callers of the busiest address are let go");
        capLogged_ = true;
      }
      TurnAway(*let);
    }
    s->SendCommand(cmd::PeerHello, "", "");
    return server_->State() == wsListening;
  } catch (const std::exception&) {
    // A failed accept (a caller who left at once) says nothing about the
    // listening socket itself: it keeps listening.
    Log(nullptr, "Incoming Session Exception");
    if (s != nullptr && Find(s) != nullptr) TurnAway(*s);
    return false;
  }
}

// ----- accepted connections ------------------------------------------------------

void TPeerListener::rSocketError(TParloSocket& socket) {
  try {
    socket.CloseDelayed();
  } catch (const std::exception&) {
    Log(&socket, "rSocker Error Handler Exception");
  }
}

void TPeerListener::rSocketDataAvailable(TParloSocket& socket, int error) {
  if (error != 0) {
    Log(&socket, "Incoming Receiver Error");
    socket.CloseDelayed();
    return;
  }
  const std::string received = socket.ReceiveStr();
  if (received.empty()) return;
  const TComponent* key = &socket;
  const Conn* conn = Find(key);
  if (conn == nullptr || conn->releasing) return;
  // A request that is being (or has been) put to the user: later lines are
  // not commands to us.
  if (socket.Tag() != 0) return;
  const std::weak_ptr<bool> alive = alive_;
  try {
    ProcessPeerData(TCmdParser::CleanLine(received), socket);
  } catch (const std::exception&) {
    if (alive.expired()) return;
    // Only a socket the listener still owns is touched: an adopted one may be gone.
    if (Conn* c = Find(key)) {
      Log(&socket, "Incoming ProcessData");
      c->held = false;
      Drop(socket);
    }
  }
}

void TPeerListener::SocketClosed(TParloSocket& socket) {
  Conn* conn = Find(&socket);
  if (conn == nullptr) return;
  // A question put to the user stays when its caller hangs up: the answer
  // tells the user the caller has gone, and the socket waits for it. Unless
  // a newcomer needs its place first.
  if (conn->asking) {
    const TComponent* key = &socket;
    conn->place.LinkClosed([this, key] { WithdrawQuestion(key); });
  }
  if (conn->held || conn->asking) return;
  ScheduleRelease(socket);
}

void TPeerListener::WithdrawQuestion(const TComponent* key) {
  Conn* conn = Find(key);
  if (conn == nullptr || !conn->asking) return;
  LogForAddress(*conn->socket, conn->address,
                "Incoming private chat withdrawn: its caller has gone and a new request takes its place");
  // Dropped last: the dialog closes without an answer.
  const TQuestion question = std::move(conn->question);
  conn->asking = false;
  conn->place = {};
  Drop(*conn->socket);
}

void TPeerListener::ProcessPeerData(const std::string& line, TParloSocket& socket) {
  int code = 0;
  std::string params, text;
  code = TCmdParser::ExtractCommand(line);
  params = TCmdParser::ExtractParameters(line);
  text = TCmdParser::ExtractCommandText(line);
  if (socket.State() == wsConnected) ProcessPeerCommand(code, params, socket, text);
}

void TPeerListener::ProcessPeerCommand(int code, const std::string& params, TParloSocket& socket,
                                       const std::string& text) {
  if (socket.State() != wsConnected) {
    Drop(socket);
    return;
  }
  switch (code) {
    case cmd::ChatRequest:
      HandlePrivateChatRequest(params, socket);
      break;
    case cmd::FileOffer:
    case cmd::CamViewRequest:
    case cmd::CamInvite:
    case cmd::RoomInvite:
      RouteRequest(code, params, text, socket);
      break;
    default:
      Drop(socket);
      break;
  }
}

void TPeerListener::RouteRequest(int code, const std::string& params, const std::string& text,
                                 TParloSocket& socket) {
  const TComponent* key = &socket;
  TPeerRequest request(code, params, text, socket, *this);
  if (hooks_.Route) {
    if (Conn* c = Find(key)) c->held = true;
    const std::weak_ptr<bool> alive = alive_;
    hooks_.Route(request);
    if (alive.expired() || request.Adopted()) return;
    // The handler may have run a modal loop: the caller can have hung up.
    if (Conn* c = Find(key)) c->held = false;
  }
  if (Find(key) != nullptr) Drop(socket);
}

void TPeerListener::HandlePrivateChatRequest(const std::string& record, TParloSocket& socket) {
  const TPeerAnswerSettings settings = hooks_.Settings ? hooks_.Settings() : TPeerAnswerSettings();
  switch (settings.StatusMode) {
    case 0:
      AnswerChatRequest(record, socket);
      return;
    case 1:
      socket.SendCommand(cmd::ChatRefused, settings.BusyMessage, "");
      break;
    case 3:
      socket.SendCommand(cmd::ChatRefused, settings.AwayText, "");
      break;
    case 4:
      socket.SendCommand(cmd::ChatRefused, settings.UnavText, "");
      break;
    default:  // Invisible: no answer
      break;
  }
  Drop(socket);
}

bool TPeerListener::IsFriendRecord(const std::string& record, const std::string& address) const {
  if (!hooks_.IsFriend) return false;
  return hooks_.IsFriend(record.substr(0, record.find("||")), address);
}

void TPeerListener::AnswerChatRequest(const std::string& record, TParloSocket& socket) {
  if (socket.State() != wsConnected || socket.Tag() != 0 ||
      (hooks_.IsUserBlocked && hooks_.IsUserBlocked(record))) {
    Drop(socket);
    return;
  }
  Conn* conn = Find(&socket);
  if (conn == nullptr) return;  // not a caller of this listener
  const bool fromFriend = IsFriendRecord(record, conn->address);
  const TPeerAnswerSettings settings = hooks_.Settings ? hooks_.Settings() : TPeerAnswerSettings();
  if (settings.AutoPChat && (!settings.AutoPChatOnly || fromFriend)) {
    if (hooks_.PlayEventSound) hooks_.PlayEventSound(2);
    AcceptPrivateChat(record, socket);
    return;
  }

  // Strangers who keep asking must not shut a friend out.
  TWaitingPlaces& places = fromFriend ? friendQuestions_ : questions_;
  TWaitingPlaces::TPlace place = places.Take(conn->address);
  if (!place) {
    // As many questions wait as the user can see to: the caller hears what
    // a busy user's program says, and nothing is held for it.
    LogForAddress(socket, conn->address, "Incoming private chat answered busy: too many requests wait for an answer");
    socket.SendCommand(cmd::ChatRefused, settings.BusyMessage, "");
    Drop(socket);
    return;
  }
  socket.SetTag(1);
  conn->asking = true;
  conn->place = std::move(place);
  conn->held = true;
  const TComponent* key = &socket;
  const std::weak_ptr<bool> alive = alive_;
  auto answered = [this, alive, key, record](int decision) {
    if (!alive.expired()) RequestAnswered(key, record, decision);
  };
  TQuestion question = hooks_.AskRequest ? hooks_.AskRequest(record, answered) : nullptr;
  if (alive.expired()) return;
  conn = Find(key);
  if (conn == nullptr) return;
  conn->held = false;
  if (!hooks_.AskRequest) {
    RequestAnswered(key, record, DecisionReject);
    return;
  }
  if (conn->asking) {
    conn->question = std::move(question);
    return;
  }
  // Answered before the question came back: what the answer closed goes now.
  if (socket.State() == wsClosed) ScheduleRelease(socket);
}

void TPeerListener::RequestAnswered(const TComponent* key, const std::string& record, int decision) {
  Conn* conn = Find(key);
  if (conn == nullptr || !conn->asking || conn->releasing) return;
  // The answer runs inside the question's own callback: its handle is
  // dropped only once this is over.
  const TQuestion question = std::move(conn->question);
  conn->asking = false;
  conn->place = {};
  TParloSocket& socket = *conn->socket;
  const bool connected = socket.State() == wsConnected;
  const TChatRequestAnswer answer = TChatRequestAnswer::ForDecision(decision, connected);
  if (answer.Accept) {
    AcceptPrivateChat(record, socket);
    return;
  }
  if (answer.ReplyCode != 0) {
    const std::string params =
        answer.SendBusyMessage && hooks_.Settings ? hooks_.Settings().BusyMessage : std::string();
    socket.SendCommand(answer.ReplyCode, params, "");
  }
  if (answer.CloseAndRelease || !connected) {
    Drop(socket);
    return;
  }
  // Left open without an answer: it gets the usual time to be answered by a
  // window and is closed after that.
  conn->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(idleMs_);
}

void TPeerListener::AcceptPrivateChat(const std::string& record, TParloSocket& socket) {
  if (socket.State() != wsConnected) {
    const TComponent* key = &socket;
    if (hooks_.ShowInformation) {
      const std::weak_ptr<bool> alive = alive_;
      if (Conn* c = Find(key)) c->held = true;
      hooks_.ShowInformation(kClosedBeforeAccept, "Connection Closed");
      if (alive.expired()) return;
      if (Conn* c = Find(key)) c->held = false;
    }
    if (Find(key) != nullptr) Drop(socket);
    return;
  }
  RouteRequest(cmd::ChatRequest, record, "", socket);
}

// ----- lifetimes --------------------------------------------------------------------

void TPeerListener::Drop(TParloSocket& socket) {
  socket.Close();
  const Conn* conn = Find(&socket);
  if (conn != nullptr && !conn->held) ScheduleRelease(socket);
}

void TPeerListener::TurnAway(TParloSocket& socket) {
  socket.AbortWithReset();
  const Conn* conn = Find(&socket);
  if (conn != nullptr && !conn->held) ScheduleRelease(socket);
}

void TPeerListener::ScheduleRelease(TParloSocket& socket) {
  Conn* conn = Find(&socket);
  if (conn == nullptr || conn->releasing) return;
  conn->releasing = true;
  socket.Release();
}

void TPeerListener::Sweep() {
  const auto now = std::chrono::steady_clock::now();
  std::vector<TParloSocket*> late;
  for (const auto& [key, conn] : conns_)
    if (!conn.held && !conn.releasing && !conn.asking && now >= conn.deadline) late.push_back(conn.socket);
  for (TParloSocket* s : late) {
    // Not worth a log entry: a caller could fill the log by idling.
    if (Find(s) != nullptr) TurnAway(*s);
  }
  std::erase_if(addressCapLogged_, [now](const auto& entry) { return now - entry.second >= kCapLogPeriod; });
}

int TPeerListener::PendingCount() const {
  return static_cast<int>(
      std::count_if(conns_.begin(), conns_.end(), [](const auto& entry) {
        return !entry.second.releasing && !entry.second.asking;
      }));
}

int TPeerListener::PendingFrom(const std::string& address) const {
  return static_cast<int>(std::count_if(conns_.begin(), conns_.end(), [&](const auto& entry) {
    return !entry.second.releasing && !entry.second.asking && entry.second.address == address;
  }));
}

TParloSocket* TPeerListener::CallerToLetGo(const TComponent* newcomer, const std::string* address) const {
  std::unordered_map<std::string, int> places;
  for (const auto& [key, conn] : conns_)
    if (key != newcomer && !conn.releasing && !conn.asking) ++places[conn.address];
  const Conn* chosen = nullptr;
  int most = 0;
  for (const auto& [key, conn] : conns_) {
    // A caller whose request is being handled, or was answered and left
    // open, has said what it wants; so has one whose bytes came and wait to
    // be read in this same turn.
    if (key == newcomer || conn.releasing || conn.asking || conn.held || conn.socket->Tag() != 0 ||
        conn.socket->InputWaiting())
      continue;
    if (address != nullptr && conn.address != *address) continue;
    const int held = places[conn.address];
    if (chosen == nullptr || held > most || (held == most && conn.arrival < chosen->arrival)) {
      chosen = &conn;
      most = held;
    }
  }
  return chosen == nullptr ? nullptr : chosen->socket;
}

void TPeerListener::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove) return;
  if (conns_.erase(component) > 0) CountChanged();
}

void TPeerListener::CountChanged() {
  if (testhooks::Enabled()) testhooks::Trace("peer sockets " + std::to_string(conns_.size()));
}

TPeerListener::Conn* TPeerListener::Find(const TComponent* socket) {
  const auto it = conns_.find(socket);
  return it == conns_.end() ? nullptr : &it->second;
}

void TPeerListener::LogForAddress(TCustomNetSocket& socket, const std::string& address, const std::string& message) {
  const auto now = std::chrono::steady_clock::now();
  const auto [it, first] = addressCapLogged_.try_emplace(address + " " + message, now);
  if (!first && now - it->second < kCapLogPeriod) return;
  it->second = now;
  Log(&socket, message);
}

void TPeerListener::Log(TCustomNetSocket* socket, const std::string& message) {
  if (!hooks_.LogError) return;
  if (socket == nullptr) hooks_.LogError("", "", message);
  else hooks_.LogError(socket->PeerAddr(), socket->PeerPort(), message);
}
