#include "transport/CustomNetSocket.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/FreeMemory.h"

namespace net = platform::net;

namespace {

std::string Trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Calls a copy of the handler, so a handler that frees its socket (and with
// it the handler itself) still returns into valid code.
template <class F, class... A>
void RaiseEvent(const F& handler, A... args) {
  F copy = handler;
  copy(args...);
}

bool IsClosingSendError(int e) {
  return e == net::WSAECONNRESET || e == net::WSAENOTSOCK || e == net::WSAENOTCONN || e == net::WSAEINVAL ||
         e == net::WSAECONNABORTED;
}

// At most this many queued chunks go out in one send call.
constexpr int kMaxGather = 256;

}  // namespace

// ---------------------------------------------------------------------------
// TCustomNetSocket

TCustomNetSocket::TCustomNetSocket(TComponent* owner) : TComponent(owner), target_(MakeTarget()) {
  AssignDefaultValue();
}

std::unique_ptr<platform::MessageTarget> TCustomNetSocket::MakeTarget() {
  return std::make_unique<platform::MessageTarget>([this](platform::TMessage& m) { WndProc(m); });
}

TCustomNetSocket::~TCustomNetSocket() {
  destroying_ = true;
  *alive_ = false;
  CancelLookupQuietly();
  if (state_ != wsClosed || handle_ != INVALID_SOCKET) {
    try {
      TCustomNetSocket::InternalClose(true, 0);
    } catch (...) {
      // A destructor reports nothing.
    }
  }
}

void TCustomNetSocket::AssignDefaultValue() {
  remote_ = net::SockAddr{};
  addr_assigned_ = false;
  port_assigned_ = false;
  proto_assigned_ = true;
  addr_resolved_ = false;
  port_resolved_ = false;
  proto_resolved_ = false;
  local_port_resolved_ = false;
  // The texts stay as set: only their marks say that the next Connect or
  // Listen needs them assigned again.
  protocol_ = net::IPPROTO_TCP_NUMBER;
  proto_ = "tcp";
  sock_type_ = net::SOCK_STREAM_TYPE;
  local_port_ = "0";
  local_addr_ = "0.0.0.0";
  LingerOnOff = wsLingerOn;
  LingerTimeout = 0;
  handle_ = INVALID_SOCKET;
  select_mask_ = 0;
  state_ = wsClosed;
  all_sent_ = true;
  read_count_ = 0;
  paused_ = false;
  close_reported_ = false;
  FlushTimeout = 60;
}

void TCustomNetSocket::SetAddr(const std::string& value) {
  const std::string v = Trimmed(value);
  if (addr_assigned_ && v == addr_) return;
  if (state_ != wsClosed) {
    RaiseException("Cannot change Addr if not closed");
    return;
  }
  addr_ = v;
  addr_assigned_ = !v.empty();
  addr_resolved_ = false;
}

void TCustomNetSocket::SetRemotePort(const std::string& value) {
  const std::string v = Trimmed(value);
  if (port_assigned_ && v == port_) return;
  if (state_ != wsClosed) {
    RaiseException("Cannot change Port if not closed");
    return;
  }
  port_ = v;
  port_assigned_ = !v.empty();
  port_resolved_ = false;
}

void TCustomNetSocket::SetProto(const std::string& value) {
  const std::string v = Trimmed(value);
  if (proto_assigned_ && v == proto_) return;
  if (state_ != wsClosed) {
    RaiseException("Cannot change Proto if not closed");
    return;
  }
  proto_ = v;
  proto_assigned_ = !v.empty();
  proto_resolved_ = false;
  port_resolved_ = false;
}

// The protocol and the port as numbers, looked up once after each change.
void TCustomNetSocket::ResolveProtoAndPort() {
  if (!proto_resolved_) {
    protocol_ = NetSocketResolveProto(proto_);
    sock_type_ = protocol_ == net::IPPROTO_UDP_NUMBER ? net::SOCK_DGRAM_TYPE : net::SOCK_STREAM_TYPE;
    proto_resolved_ = true;
  }
  if (!port_resolved_) {
    remote_.port = NetSocketResolvePort(port_, proto_);
    port_resolved_ = true;
  }
}

void TCustomNetSocket::SetLocalAddr(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseException("Cannot change LocalAddr if not closed");
    return;
  }
  local_addr_ = value.empty() ? "0.0.0.0" : value;
}

void TCustomNetSocket::SetLocalPort(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseException("Cannot change LocalPort if not closed");
    return;
  }
  local_port_ = value;
  local_port_resolved_ = false;
}

void TCustomNetSocket::SetSendFlags(int value) {
  if (value != wsSendNormal && value != wsSendUrgent) {
    RaiseException("Invalid SendFlags");
    return;
  }
  send_flags_ = static_cast<TSocketSendFlags>(value);
}

void TCustomNetSocket::ChangeState(TSocketState new_state) {
  const TSocketState old_state = state_;
  state_ = new_state;
  // No events from a socket being destroyed: its owner may be going too.
  if (old_state != new_state && !destroying_) TriggerChangeState(old_state, new_state);
}

void TCustomNetSocket::SocketError(const std::string& function) {
  const int e = net::LastError();
  const std::string msg =
      "Error " + std::to_string(e) + " in function " + function + "\r\n" + NetSocketErrorDesc(e);
  if (e == net::WSAECONNRESET || e == net::WSAENOTCONN) {
    if (handle_ != INVALID_SOCKET) {
      net::AbortSocket(handle_);
      handle_ = INVALID_SOCKET;
    }
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      if (!close_reported_) {
        close_reported_ = true;
        TriggerSessionClosed(e);
      }
    }
  }
  last_error_ = e;
  RaiseException(msg);
}

void TCustomNetSocket::RaiseException(const std::string& msg) {
  if (OnError) {
    TriggerError();
    return;
  }
  throw ESocketException(msg);
}

void TCustomNetSocket::TriggerError() {
  if (OnError) RaiseEvent(OnError, this);
}

void TCustomNetSocket::TriggerDisplay(const std::string& msg) {
  if (OnDisplay) RaiseEvent(OnDisplay, this, msg);
}

void TCustomNetSocket::HandleBackGroundException(const std::exception& e) {
  bool can_close = true;
  StillAlive alive(*this);
  if (OnBgException) {
    auto handler = OnBgException;
    try {
      handler(this, e, can_close);
    } catch (...) {
      // The handler's own failure must not leave the socket half-handled.
    }
  }
  if (can_close && !alive.expired()) Abort();
}

// --- message handling -------------------------------------------------------

void TCustomNetSocket::WndProc(platform::TMessage& msg) {
  try {
    switch (msg.Msg) {
      case WM_ASYNCSELECT:
        WMASyncSelect(msg);
        break;
      case WM_ASYNCGETHOSTBYNAME:
        if (static_cast<net::RequestId>(msg.WParam) != dns_request_) break;
        dns_request_ = 0;
        if (msg.LParam == 0) {
          for (std::uint32_t a : dns_addrs_pending_) dns_result_list_.Add(net::InetNtoa(a));
          if (dns_result_list_.Count() > 0) dns_result_ = dns_result_list_.Get(0);
        }
        dns_addrs_pending_.clear();
        TriggerDNSLookupDone(static_cast<int>(msg.LParam));
        break;
      case WM_ASYNCGETHOSTBYADDR:
        if (static_cast<net::RequestId>(msg.WParam) != dns_request_) break;
        dns_request_ = 0;
        if (msg.LParam == 0) {
          dns_result_ = dns_name_pending_;
          dns_result_list_.Add(dns_name_pending_);
        }
        dns_name_pending_.clear();
        TriggerDNSLookupDone(static_cast<int>(msg.LParam));
        break;
      case WM_CLOSE_DELAYED:
        Close();
        break;
      case WM_NETSOCKET_RELEASE:
        delete this;
        return;
      case WM_TRIGGER_EXCEPTION:
        throw ESocketException("Test exception in NetSocket");
      case WM_RECEIVE_MORE:
        ReceiveMore();
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    HandleBackGroundException(e);
  }
}

void TCustomNetSocket::WMASyncSelect(platform::TMessage& msg) {
  const TSocket h = static_cast<TSocket>(msg.WParam);
  if (h != handle_ || paused_) return;  // stale notice of an earlier connection
  const int ev = net::SelectEvent(msg.LParam);
  const int err = net::SelectError(msg.LParam);
  StillAlive alive(*this);
  // Stops when a handler freed the object or moved it to another connection.
  auto gone = [&] { return alive.expired() || handle_ != h; };

  if (ev & net::FD_CONNECT) {
    if (state_ != wsConnected) {
      if (err == 0) {
        ChangeState(wsConnected);
        if (gone()) return;
        TriggerSessionConnected(0);
      } else {
        // A failed connect reports its error and closes; the socket never
        // reads as connected in between: a connection that was never made
        // has no peer, so an owner asking for the peer's address while it
        // reports the error would raise a second error and lose the address.
        last_error_ = err;
        TriggerSessionConnected(err);
        if (gone()) return;
        if (state_ != wsClosed) Close();
        return;
      }
      if (gone()) return;
    }
  }
  if (ev & net::FD_READ) {
    if (state_ != wsConnected) {
      ChangeState(wsConnected);
      if (gone()) return;
      TriggerSessionConnected(err);
      if (gone()) return;
    }
    ReceiveLoop(err, ComponentOptions.Contains(wsoNoReceiveLoop));
    if (gone()) return;
  }
  if (ev & net::FD_WRITE) {
    sent_notice_posted_ = false;
    waiting_for_room_ = false;
    TryToSend();
    if (gone()) return;
    if (send_queue_.empty()) TriggerDataSent(err);
    if (gone()) return;
  }
  if (ev & net::FD_ACCEPT) {
    TriggerSessionAvailable(err);
    if (gone()) return;
  }
  if (ev & net::FD_CLOSE) {
    if (state_ == wsConnecting) return;
    ReceiveLoop(err, false);
    if (gone()) return;
    if (!close_reported_) {
      close_reported_ = true;
      TriggerSessionClosed(err);
      if (gone()) return;
    }
    if (state_ != wsClosed) Close();
  }
}

namespace {

std::int64_t SteadyMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TCustomNetSocket::TurnScope::TurnScope(TCustomNetSocket& socket)
    : socket_(socket),
      alive_(socket),
      bytes_(socket.turn_bytes_),
      calls_(socket.turn_calls_),
      started_(socket.turn_started_) {
  socket.turn_bytes_ = socket.network_bytes_;
  socket.turn_calls_ = socket.handler_calls_;
  // The clock is read when the first handler call of the turn starts: most
  // turns hand out one line, which then needs no clock read after it, so a
  // line costs one read instead of two.
  socket.turn_started_ = 0;
  ++socket.turn_depth_;
}

TCustomNetSocket::TurnScope::~TurnScope() {
  if (alive_.expired()) return;
  socket_.turn_bytes_ = bytes_;
  socket_.turn_calls_ = calls_;
  // An outer turn that had called no handler yet goes on from the inner
  // turn's start: the calls the inner one made count for it.
  if (started_ != 0) socket_.turn_started_ = started_;
  --socket_.turn_depth_;
}

bool TCustomNetSocket::TurnSpent() const {
  return (turn_depth_ > 0 && network_bytes_ - turn_bytes_ >= kTurnBytes) || TurnCallsSpent();
}

bool TCustomNetSocket::TurnCallsSpent() const {
  if (turn_depth_ == 0) return false;
  return handler_calls_ - turn_calls_ >= kTurnCalls ||
         (handler_calls_ != turn_calls_ && SteadyMicroseconds() - turn_started_ >= kTurnMicroseconds);
}

void TCustomNetSocket::PostReceiveMore() {
  if (more_posted_ || handle_ == INVALID_SOCKET) return;
  more_posted_ = true;
  PostMessage(WM_RECEIVE_MORE);
}

void TCustomNetSocket::ReceiveMore() {
  more_posted_ = false;
  if (handle_ == INVALID_SOCKET || state_ != wsConnected || paused_) return;
  unsigned long waiting = 0;
  if (HeldInput() || (net::BytesAvailable(handle_, &waiting) == 0 && waiting > 0)) {
    ReceiveLoop(0, ComponentOptions.Contains(wsoNoReceiveLoop));
    return;
  }
  // The turn that asked for this one may have handed out only held bytes;
  // a receive is what re-arms the network's notice. (A datagram would be
  // consumed by it.)
  if (sock_type_ == net::SOCK_STREAM_TYPE) {
    char probe;
    net::Recv(handle_, &probe, 0, 0);
  }
}

void TCustomNetSocket::ReceiveLoop(int error, bool no_loop) {
  const TSocket h = handle_;
  StillAlive alive(*this);
  TurnScope turn(*this);
  for (;;) {
    last_error_ = 0;
    const std::uint64_t before = network_bytes_;
    const std::int64_t read_before = read_count_;
    const bool taken = TriggerDataAvailable(error);
    if (alive.expired() || handle_ != h || h == INVALID_SOCKET) return;
    if (!taken) {
      char sink[1024];
      const int n = DoRecv(sink, sizeof(sink), 0);
      if (n <= 0) break;
    }
    // A receive that did not fill its buffer took everything there was; one
    // that did is followed by another rather than by a question for the size.
    // With nothing held either, the turn ends without asking the clock.
    if (network_bytes_ != before && !last_recv_filled_ && !HeldInput()) break;
    if (TurnSpent()) {
      PostReceiveMore();
      break;
    }
    if (no_loop || last_error_ != 0) break;
    if (network_bytes_ != before && !last_recv_filled_) break;
    // A handler that takes nothing would otherwise be called forever; the next
    // receive re-arms the notice.
    if (network_bytes_ == before && read_count_ == read_before) break;
  }
}

// --- connecting, listening, accepting ----------------------------------------

void TCustomNetSocket::SetOptionOrFail(net::Option option, int value, const char* function) {
  if (net::SetOption(handle_, option, value) != 0) SocketError(function);
}

void TCustomNetSocket::ConnectTcp(const std::string& addr, const std::string& port) {
  SetAddr(addr);
  SetPort(port);
  SetProto("tcp");
  Connect();
}

void TCustomNetSocket::DropHandlers() {
  OnDataAvailable = nullptr;
  OnDataSent = nullptr;
  OnSendData = nullptr;
  OnSessionClosed = nullptr;
  OnSessionAvailable = nullptr;
  OnSessionConnected = nullptr;
  OnChangeState = nullptr;
  OnDnsLookupDone = nullptr;
  OnError = nullptr;
  OnBgException = nullptr;
  OnDisplay = nullptr;
}

void TCustomNetSocket::Connect() {
  if (handle_ != INVALID_SOCKET && state_ != wsClosed) {
    RaiseException("Connect: Socket already in use");
    return;
  }
  if (!port_assigned_) {
    RaiseException("Connect: No Port Specified");
    return;
  }
  if (!addr_assigned_) {
    RaiseException("Connect: No IP Address Specified");
    return;
  }
  if (!proto_assigned_) {
    RaiseException("Connect: No Protocol Specified");
    return;
  }
  ResolveProtoAndPort();
  if (!local_port_resolved_) {
    local_port_number_ = NetSocketResolveLocalPort(local_port_, proto_);
    local_port_resolved_ = true;
  }
  if (!addr_resolved_) {
    remote_.addr = NetSocketResolveHost(addr_);
    addr_resolved_ = true;
  }

  DropQueue();
  handle_ = net::Socket(sock_type_, protocol_);
  if (handle_ == INVALID_SOCKET) {
    SocketError("Connect (socket)");
    return;
  }
  StartFresh();
  ChangeState(wsOpened);
  if (sock_type_ == net::SOCK_STREAM_TYPE) {
    if (net::SetOption(handle_, net::Option::ReuseAddr, 1) != 0) return SocketError("setsockopt(SO_REUSEADDR)");
    if (ComponentOptions.Contains(wsoTcpNoDelay) && net::SetOption(handle_, net::Option::TcpNoDelay, 1) != 0)
      return SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
    // No linger option here: with the default (on, 0 s) every close would
    // reset the connection and could drop the last bytes sent.
    if (net::SetOption(handle_, net::Option::KeepAlive, 1) != 0) return SocketError("setsockopt(SO_KEEPALIVE)");
    if (local_port_number_ != 0 || local_addr_ != "0.0.0.0") BindSocket();
  } else {
    BindSocket();
    if (MultiCast && MultiCastIpTTL != 1)
      SetOptionOrFail(net::Option::MulticastTtl, MultiCastIpTTL, "setsockopt(IP_MULTICAST_TTL)");
    if (remote_.addr == net::INADDR_NONE_VALUE) SetOptionOrFail(net::Option::Broadcast, 1, "setsockopt(SO_BROADCAST)");
  }
  if (handle_ == INVALID_SOCKET) return;
  select_mask_ = net::FD_READ | net::FD_WRITE | net::FD_ACCEPT | net::FD_CONNECT | net::FD_CLOSE;
  if (net::AsyncSelect(handle_, target_.get(), WM_ASYNCSELECT, select_mask_) != 0) {
    SocketError("WSAAsyncSelect");
    return;
  }
  if (sock_type_ == net::SOCK_STREAM_TYPE) {
    if (net::Connect(handle_, remote_) == 0 || net::LastError() == net::WSAEWOULDBLOCK) {
      ChangeState(wsConnecting);
    } else {
      last_error_ = net::LastError();
      SocketError("Connect");
    }
  } else {
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
  }
}

void TCustomNetSocket::StartFresh() {
  // A connection started from the close handler of the previous one must not
  // inherit its end-of-connection marks.
  close_reported_ = false;
  all_sent_ = true;
  read_count_ = 0;
  paused_ = false;
  sent_notice_posted_ = false;
  waiting_for_room_ = false;
  DropQueue();
  if (SystemSendBuffer > 0 && handle_ != INVALID_SOCKET)
    SetOptionOrFail(net::Option::SendBuffer, SystemSendBuffer, "setsockopt(SO_SNDBUF)");
}

void TCustomNetSocket::BindSocket() {
  net::SockAddr local;
  local.addr = NetSocketResolveHost(local_addr_);
  local.port = NetSocketResolveLocalPort(local_port_, proto_);
  if (net::Bind(handle_, local) != 0) {
    RaiseException("winsock.bind failed, error #" + std::to_string(net::LastError()));
    return;
  }
  net::SockAddr bound;
  if (net::GetSockName(handle_, &bound) != 0) {
    RaiseException("winsock.getsockname failed, error #" + std::to_string(net::LastError()));
    return;
  }
  local_port_ = std::to_string(bound.port);
  local_port_number_ = bound.port;
}

void TCustomNetSocket::Listen() {
  if (!port_assigned_) {
    net::SetLastError(net::WSAEINVAL);
    return SocketError("listen: port not assigned");
  }
  if (!proto_assigned_) {
    net::SetLastError(net::WSAEINVAL);
    return SocketError("listen: protocol not assigned");
  }
  if (!addr_assigned_) {
    net::SetLastError(net::WSAEINVAL);
    return SocketError("listen: address not assigned");
  }
  ResolveProtoAndPort();
  if (!addr_resolved_) {
    remote_.addr = NetSocketResolveHost(addr_);
    addr_resolved_ = true;
  }
  DropQueue();
  handle_ = net::Socket(sock_type_, protocol_);
  if (handle_ == INVALID_SOCKET) return SocketError("socket");
  StartFresh();
  if (sock_type_ == net::SOCK_DGRAM_TYPE && ReuseAddr &&
      net::SetOption(handle_, net::Option::ReuseAddr, 1) != 0)
    return SocketError("setsockopt(SO_REUSEADDR)");
  if (net::Bind(handle_, remote_) != 0) {
    // Closed before the report, so a failed Listen leaves nothing open.
    const int err = net::LastError();
    net::CloseSocket(handle_);
    handle_ = INVALID_SOCKET;
    if (state_ != wsClosed) ChangeState(wsClosed);
    net::SetLastError(err);
    return SocketError("Bind");
  }
  ChangeState(wsBound);
  if (sock_type_ == net::SOCK_DGRAM_TYPE) {
    if (MultiCast && net::JoinMulticastGroup(handle_, net::InetAddr(MultiCastAddrStr)) != 0)
      return SocketError("setsockopt(IP MULTICAST)");
    ChangeState(wsListening);
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
  } else {
    if (net::Listen(handle_, kListenBacklog) != 0) return SocketError("Listen");
    ChangeState(wsListening);
  }
  if (handle_ == INVALID_SOCKET) return;
  select_mask_ = net::FD_READ | net::FD_WRITE | net::FD_ACCEPT | net::FD_CLOSE;
  if (net::AsyncSelect(handle_, target_.get(), WM_ASYNCSELECT, select_mask_) != 0) SocketError("WSAASyncSelect");
}

TSocket TCustomNetSocket::Accept() {
  if (state_ != wsListening) {
    net::SetLastError(net::WSAEINVAL);
    SocketError("not a listening socket");
    return INVALID_SOCKET;
  }
  net::SockAddr peer;
  const TSocket h = net::Accept(handle_, &peer);
  if (h == INVALID_SOCKET) {
    SocketError("Accept");
    return INVALID_SOCKET;
  }
  return h;
}

void TCustomNetSocket::Dup(TSocket handle) {
  if (handle == 0 || handle == INVALID_SOCKET) {
    net::SetLastError(net::WSAEINVAL);
    return SocketError("Dup");
  }
  if (state_ != wsClosed) {
    if (handle_ != INVALID_SOCKET && net::CloseSocket(handle_) != 0) {
      handle_ = INVALID_SOCKET;
      return SocketError("Dup (closesocket)");
    }
    handle_ = INVALID_SOCKET;
    ChangeState(wsClosed);
  }
  handle_ = handle;
  StartFresh();
  select_mask_ = net::FD_READ | net::FD_WRITE | net::FD_CONNECT | net::FD_CLOSE;
  if (net::AsyncSelect(handle_, target_.get(), WM_ASYNCSELECT, select_mask_) != 0) return SocketError("WSAAsyncSelect");
  ChangeState(wsConnected);
}

// --- receiving --------------------------------------------------------------

int TCustomNetSocket::DoRecv(void* buffer, int size, int flags) {
  const int n = net::Recv(handle_, buffer, size, flags);
  if (n > 0 && (flags & net::MSG_PEEK_FLAG) == 0) network_bytes_ += static_cast<std::uint64_t>(n);
  last_recv_filled_ = n == size;
  return n;
}

int TCustomNetSocket::Receive(void* buffer, int size) {
  const int n = DoRecv(buffer, size, 0);
  if (n < 0) {
    last_error_ = net::LastError();
    return n;
  }
  read_count_ += n;
  return n;
}

std::string TCustomNetSocket::ReceiveStr() {
  int size = GetRcvdCount();
  if (size <= 0) size = 255;
  std::string s(static_cast<std::size_t>(size), '\0');
  const int n = Receive(s.data(), size);
  s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return s;
}

int TCustomNetSocket::DoRecvFrom(void* buffer, int size, int flags, net::SockAddr* from) {
  return net::RecvFrom(handle_, buffer, size, flags, from);
}

int TCustomNetSocket::ReceiveFrom(void* buffer, int size, std::string* from_addr, int* from_port) {
  net::SockAddr from;
  const int n = DoRecvFrom(buffer, size, 0, &from);
  if (n < 0) {
    last_error_ = net::LastError();
    return n;
  }
  read_count_ += n;
  if (from_addr != nullptr) *from_addr = net::InetNtoa(from.addr);
  if (from_port != nullptr) *from_port = from.port;
  return n;
}

int TCustomNetSocket::PeekData(void* buffer, int size) { return net::Recv(handle_, buffer, size, net::MSG_PEEK_FLAG); }

bool TCustomNetSocket::InputWaiting() const {
  unsigned long waiting = 0;
  return HeldInput() || (handle_ != INVALID_SOCKET && net::BytesAvailable(handle_, &waiting) == 0 && waiting > 0);
}

int TCustomNetSocket::GetRcvdCount() {
  unsigned long waiting = 0;
  if (net::BytesAvailable(handle_, &waiting) != 0) {
    SocketError("ioctlSocket");
    return -1;
  }
  return static_cast<int>(std::min<unsigned long>(waiting, 0x7FFFFFFF));
}

// --- sending ----------------------------------------------------------------

// A queue's chunks lie among everything else allocated meanwhile: the
// allocator keeps the room they leave unless told.
void TCustomNetSocket::DropQueue() {
  std::size_t bytes = 0;
  for (const TBuffer& chunk : send_queue_) bytes += static_cast<std::size_t>(chunk.Size());
  platform::NoteFreedMemory(bytes);
  send_queue_.clear();
  queued_ = 0;
}

void TCustomNetSocket::AppendToQueue(const char* data, int length) {
  queued_ += length;
  while (length > 0) {
    if (send_queue_.empty() || send_queue_.back().Room() == 0) send_queue_.emplace_back(kChunkSize);
    const int n = send_queue_.back().Write(data, length);
    data += n;
    length -= n;
  }
}

std::string TCustomNetSocket::TakeQueue() {
  std::string rest;
  for (auto& chunk : send_queue_) {
    int len = 0;
    const char* p = chunk.Peek(&len);
    if (len > 0) rest.append(p, static_cast<std::size_t>(len));
  }
  DropQueue();
  return rest;
}

int TCustomNetSocket::Send(const void* data, int length) {
  if (state_ != wsConnected) {
    net::SetLastError(net::WSAENOTCONN);
    SocketError("Send");
    return -1;
  }
  all_sent_ = false;
  bool network_full = false;
  int sent_now = 0;
  if (length <= 0) {
    length = 0;
  } else {
    const char* p = static_cast<const char*>(data);
    // Nothing queued: hand the bytes to the network straight away and keep
    // only what it does not take.
    if (send_queue_.empty() && sock_type_ == net::SOCK_STREAM_TYPE) {
      const int n = RealSend(p, length);
      if (n < 0 && net::LastError() != net::WSAEWOULDBLOCK) {
        HandleSendError(net::LastError());
        return length;
      }
      sent_now = n > 0 ? n : 0;
      network_full = sent_now < length;
      waiting_for_room_ = network_full && WriteNoticeArmed();
    }
    if (sent_now < length) {
      if (QueueOverflows(length - sent_now)) return -1;
      AppendToQueue(p + sent_now, length - sent_now);
    }
  }
  // Reported once the queue is in order, so a handler that sends more
  // queues behind these bytes.
  if (sent_now > 0 && !ReportSentInChunks(sent_now)) return length;
  // When the network has refused more, FD_WRITE tells when to go on: asking
  // again before would cost a call per frame for every peer that does not read.
  if (!network_full && !waiting_for_room_) TryToSend();
  // A queue that emptied at once gets no notice from the network; OnDataSent
  // still follows from the event loop. The notice costs a wake-up, so it is
  // posted only for a handler that waits for it, and once per turn.
  if (send_queue_.empty() && handle_ != INVALID_SOCKET && OnDataSent && !sent_notice_posted_) {
    sent_notice_posted_ = true;
    PostMessage(WM_ASYNCSELECT, static_cast<std::uintptr_t>(handle_), net::MakeSelectReply(net::FD_WRITE, 0));
  }
  return length;
}

// A stream the network refused bytes on hears FD_WRITE once it has room.
bool TCustomNetSocket::WriteNoticeArmed() const {
  return sock_type_ == net::SOCK_STREAM_TYPE && (select_mask_ & net::FD_WRITE) != 0;
}

bool TCustomNetSocket::ReportSent(const int* pieces, int count) {
  if (!OnSendData) return true;
  const TSocket h = handle_;
  StillAlive alive(*this);
  for (int i = 0; i < count; ++i) {
    RaiseEvent(OnSendData, this, pieces[i]);
    if (alive.expired() || handle_ != h) return false;
  }
  return true;
}

// Bytes that went out without being queued are reported as the queue would
// have reported them: in chunks, so a transfer's progress moves in the same
// steps whichever way its bytes left.
bool TCustomNetSocket::ReportSentInChunks(int count) {
  if (!OnSendData) return true;
  int pieces[kMaxGather];
  int n = 0;
  while (count > 0) {
    const int piece = std::min(count, kChunkSize);
    pieces[n++] = piece;
    count -= piece;
    if (n == kMaxGather) {
      if (!ReportSent(pieces, n)) return false;
      n = 0;
    }
  }
  return ReportSent(pieces, n);
}

int TCustomNetSocket::SendStr(const std::string& text) {
  if (text.empty()) return 0;
  return Send(text.data(), static_cast<int>(text.size()));
}

int TCustomNetSocket::SendTo(const std::string& addr, int port, const void* data, int length) {
  net::SockAddr to;
  to.addr = net::InetAddr(addr);
  to.port = static_cast<std::uint16_t>(port);
  const int n = net::SendTo(handle_, data, length, send_flags_ == wsSendUrgent ? net::MSG_OOB_FLAG : 0, to);
  if (n > 0 && OnSendData) OnSendData(this, n);
  return n;
}

void TCustomNetSocket::PutDataInSendBuffer(const void* data, int length) {
  if (length <= 0 || QueueOverflows(length)) return;
  all_sent_ = false;
  AppendToQueue(static_cast<const char*>(data), length);
}

int TCustomNetSocket::RealSend(const void* data, int length) {
  const int flags = send_flags_ == wsSendUrgent ? net::MSG_OOB_FLAG : 0;
  return sock_type_ == net::SOCK_DGRAM_TYPE ? net::SendTo(handle_, data, length, flags, remote_)
                                            : net::Send(handle_, data, length, flags);
}

void TCustomNetSocket::TryToSend() {
  if (handle_ == INVALID_SOCKET) return;
  while (!send_queue_.empty()) {
    net::ConstBuffer parts[kMaxGather];
    int count = 0;
    std::size_t total = 0;
    for (auto& chunk : send_queue_) {
      int len = 0;
      const char* p = chunk.Peek(&len);
      if (len <= 0) continue;
      parts[count++] = net::ConstBuffer{p, static_cast<std::size_t>(len)};
      total += static_cast<std::size_t>(len);
      if (count == kMaxGather || sock_type_ == net::SOCK_DGRAM_TYPE) break;
    }
    if (count == 0) {
      DropQueue();
      break;
    }
    int n;
    if (sock_type_ == net::SOCK_DGRAM_TYPE || send_flags_ == wsSendUrgent) {
      n = RealSend(parts[0].data, static_cast<int>(parts[0].length));
      total = parts[0].length;
    } else {
      n = net::SendBuffers(handle_, parts, count, 0);
    }
    if (n == 0) return;
    if (n < 0) {
      if (net::LastError() != net::WSAEWOULDBLOCK) HandleSendError(net::LastError());
      else waiting_for_room_ = WriteNoticeArmed();
      return;
    }
    // OnSendData follows for each chunk, with what left of it.
    int pieces[kMaxGather];
    int piece_count = 0;
    int left = n;
    while (left > 0 && !send_queue_.empty()) {
      const int take = std::min(left, send_queue_.front().Unread());
      if (piece_count < kMaxGather) pieces[piece_count++] = take;
      send_queue_.front().Remove(take);
      queued_ -= take;
      left -= take;
      if (send_queue_.front().Unread() == 0) {
        platform::NoteFreedMemory(static_cast<std::size_t>(send_queue_.front().Size()));
        send_queue_.pop_front();
      }
    }
    if (!ReportSent(pieces, piece_count)) return;  // the handler closed or freed the socket
    if (static_cast<std::size_t>(n) < total) {  // the network is full: wait for FD_WRITE
      waiting_for_room_ = WriteNoticeArmed();
      return;
    }
  }
  all_sent_ = true;
}

void TCustomNetSocket::HandleSendError(int error) {
  if (IsClosingSendError(error)) {
    CloseOnSendFailure(error);
    return;
  }
  net::SetLastError(error);
  SocketError("TryToSend failed");
}

void TCustomNetSocket::CloseOnSendFailure(int error) {
  DropQueue();
  close_reported_ = true;
  StillAlive alive(*this);
  CloseHandle(TCloseHow::Reset, error);
  if (alive.expired()) return;
  TriggerSessionClosed(error);
}

bool TCustomNetSocket::QueueOverflows(int length) {
  if (SendQueueLimit <= 0 || queued_ + length <= SendQueueLimit) return false;
  last_error_ = net::WSAENOBUFS;
  net::SetLastError(net::WSAENOBUFS);
  if (handle_ == INVALID_SOCKET) return true;
  // Memory would grow for as long as the peer keeps not reading; what is
  // queued is worthless to a peer that far behind, so the link is reset.
  net::SockAddr peer;
  const std::string who = net::GetPeerName(handle_, &peer) == 0
                              ? net::InetNtoa(peer.addr) + ":" + std::to_string(peer.port)
                              : std::string("a peer");
  platform::LogLine("Send queue to " + who + " passed its bound of " + std::to_string(SendQueueLimit) +
                    " bytes; connection closed");
  CloseOnSendFailure(net::WSAENOBUFS);
  net::SetLastError(net::WSAENOBUFS);
  return true;
}

void TCustomNetSocket::Flush() {
  const int limit_ms = FlushTimeout > 0 ? FlushTimeout * 1000 : 60000;
  platform::ProcessMessagesUntil(
      [this] {
        if (handle_ == INVALID_SOCKET || all_sent_) return true;
        TryToSend();
        return handle_ == INVALID_SOCKET || all_sent_;
      },
      limit_ms);
}

// --- closing ----------------------------------------------------------------

void TCustomNetSocket::Close() { InternalClose(true, 0); }

void TCustomNetSocket::CloseDelayed() { PostMessage(WM_CLOSE_DELAYED); }

void TCustomNetSocket::Release() { PostMessage(WM_NETSOCKET_RELEASE); }

void TCustomNetSocket::Abort() {
  CancelLookupQuietly();
  DropQueue();
  if (handle_ != INVALID_SOCKET && state_ == wsConnected && sock_type_ == net::SOCK_STREAM_TYPE) {
    LingerOnOff = wsLingerOff;
    // A refusal goes to an error handler only: the close follows either way,
    // and Abort runs where an exception has nowhere to go (destructors, the
    // guard around every event).
    if (net::SetLinger(handle_, false, LingerTimeout) != 0 && OnError) {
      const TSocket h = handle_;
      StillAlive alive(*this);
      SocketError("setsockopt(SO_LINGER)");
      if (alive.expired() || handle_ != h) return;
    }
  }
  InternalClose(false, 0);
}

void TCustomNetSocket::AbortWithReset() {
  CancelLookupQuietly();
  DropQueue();
  CloseHandle(TCloseHow::Reset, 0);
}

void TCustomNetSocket::InternalClose(bool shutdown, int error) {
  CloseHandle(shutdown ? TCloseHow::SendQueueAndEnd : TCloseHow::End, error);
}

void TCustomNetSocket::CloseHandle(TCloseHow how, int error) {
  if (handle_ == INVALID_SOCKET) {
    if (state_ != wsClosed) ChangeState(wsClosed);
    AssignDefaultValue();
    return;
  }
  const TSocket h = handle_;
  handle_ = INVALID_SOCKET;
  // Ended normally, the layer sends what it is given, ends the sending side
  // and releases the descriptor once the peer has seen everything.
  const int closed = how == TCloseHow::Reset ? net::AbortSocket(h)
                     : how == TCloseHow::End ? net::CloseSocket(h)
                                             : net::CloseSocket(h, TakeQueue());
  DropQueue();
  if (closed != 0) {
    if (net::LastError() != net::WSANOTINITIALISED) SocketError("Disconnect (closesocket)");
    return;
  }
  StillAlive alive(*this);
  ChangeState(wsClosed);
  if (alive.expired()) return;
  if (!destroying_ && !close_reported_) {
    close_reported_ = true;
    TriggerSessionClosed(error);
    if (alive.expired()) return;
  }
  // A handler that already started a new connection keeps its settings.
  if (handle_ == INVALID_SOCKET) AssignDefaultValue();
}

void TCustomNetSocket::WaitForClose() {
  StillAlive alive(*this);
  while (!alive.expired() && handle_ != INVALID_SOCKET && state_ != wsClosed) {
    platform::ProcessMessages();
    if (alive.expired() || handle_ == INVALID_SOCKET) return;
    unsigned long waiting = 0;
    if (net::BytesAvailable(handle_, &waiting) != 0) return;
    if (waiting > 0) {
      TriggerDataAvailable(0);
      if (alive.expired() || handle_ == INVALID_SOCKET) return;
    }
    char probe;
    if (net::Recv(handle_, &probe, 0, 0) < 0 && net::LastError() != net::WSAEWOULDBLOCK) return;
    platform::ProcessMessagesUntil([] { return false; }, 10);
  }
}

void TCustomNetSocket::Shutdown(int how) {
  if (handle_ != INVALID_SOCKET) net::Shutdown(handle_, how);
}

void TCustomNetSocket::Pause() {
  paused_ = true;
  if (handle_ != INVALID_SOCKET) net::AsyncSelect(handle_, target_.get(), WM_ASYNCSELECT, 0);
}

void TCustomNetSocket::Resume() {
  paused_ = false;
  if (handle_ == INVALID_SOCKET) return;
  net::AsyncSelect(handle_, target_.get(), WM_ASYNCSELECT, select_mask_);
  if (HeldInput()) PostReceiveMore();
}

void TCustomNetSocket::MessagePump() {
  // Either way the calling thread's events are handled: on Linux each thread
  // has its own queue. A socket of its own thread ends with that thread.
  platform::ProcessMessages();
  if (MultiThreaded ? platform::ThreadTerminating() : platform::ApplicationTerminating()) terminated_ = true;
}

void TCustomNetSocket::MessageLoop() {
  platform::RunEventLoop();
  terminated_ = true;
}

void TCustomNetSocket::ThreadDetach() {
  if (std::this_thread::get_id() != thread_id_ && target_ != nullptr) {
    RaiseException("Cannot detach from other thread");
    return;
  }
  if (handle_ != INVALID_SOCKET) net::AsyncSelect(handle_, target_.get(), WM_ASYNCSELECT, 0);
  // What was posted to the target goes with it; ThreadAttach asks again.
  target_.reset();
  more_posted_ = false;
}

void TCustomNetSocket::ThreadAttach() {
  if (target_ != nullptr) {
    RaiseException("Cannot attach when not detached");
    return;
  }
  thread_id_ = std::this_thread::get_id();
  target_ = MakeTarget();
  if (handle_ == INVALID_SOCKET) return;
  // A connected socket is told again that it may send, so a write whose
  // notice the detach dropped still ends in OnDataSent.
  net::AsyncSelect(handle_, target_.get(), WM_ASYNCSELECT, select_mask_);
  if (HeldInput()) PostReceiveMore();
}

// --- name look-ups ----------------------------------------------------------

void TCustomNetSocket::CancelLookupQuietly() {
  if (dns_request_ != 0) {
    net::CancelLookup(dns_request_);
    dns_request_ = 0;
  }
}

void TCustomNetSocket::DnsLookup(const std::string& host) {
  if (host.empty()) {
    net::SetLastError(net::WSAEINVAL);
    RaiseException("DNS lookup: invalid host name.");
    TriggerDNSLookupDone(net::WSAEINVAL);
    return;
  }
  CancelLookupQuietly();
  dns_result_.clear();
  dns_result_list_.Clear();
  if (NetSocketIsDottedIP(host)) {
    dns_result_ = net::InetNtoa(net::InetAddr(Trimmed(host)));
    TriggerDNSLookupDone(0);
    return;
  }
  std::weak_ptr<bool> alive = alive_;
  dns_request_ = net::AsyncLookupHost(Trimmed(host), [this, alive](int error, const std::vector<std::uint32_t>& addrs) {
    if (alive.expired()) return;
    dns_addrs_pending_ = addrs;
    if (target_) target_->Send(WM_ASYNCGETHOSTBYNAME, static_cast<std::uintptr_t>(dns_request_), error);
  });
  if (dns_request_ == 0) LookupNotStarted(host);
}

void TCustomNetSocket::LookupNotStarted(const std::string& name) {
  last_error_ = net::LastError();
  RaiseException(name + ": can't start DNS lookup, error #" + std::to_string(last_error_));
}

void TCustomNetSocket::ReverseDnsLookup(const std::string& addr) {
  if (addr.empty() || addr.size() > 256) {
    net::SetLastError(net::WSAEINVAL);
    RaiseException("ReverseDnsLookup: Invalid host name.");
    TriggerDNSLookupDone(net::WSAEINVAL);
    return;
  }
  CancelLookupQuietly();
  dns_result_.clear();
  dns_result_list_.Clear();
  std::weak_ptr<bool> alive = alive_;
  dns_request_ = net::AsyncLookupAddress(net::InetAddr(Trimmed(addr)), [this, alive](int error, const std::string& name) {
    if (alive.expired()) return;
    dns_name_pending_ = name;
    if (target_) target_->Send(WM_ASYNCGETHOSTBYADDR, static_cast<std::uintptr_t>(dns_request_), error);
  });
  if (dns_request_ == 0) LookupNotStarted(addr);
}

void TCustomNetSocket::CancelDnsLookup() {
  if (dns_request_ == 0) return;
  net::CancelLookup(dns_request_);
  dns_request_ = 0;
  if (!destroying_) TriggerDNSLookupDone(net::WSAEINTR);
}

// --- addresses --------------------------------------------------------------

std::string TCustomNetSocket::GetPeerAddr() {
  if (state_ != wsConnected) return "error";
  net::SockAddr peer;
  if (net::GetPeerName(handle_, &peer) != 0) {
    SocketError("GetPeerName");
    return "error";
  }
  return net::InetNtoa(peer.addr);
}

std::string TCustomNetSocket::GetPeerPort() {
  if (state_ != wsConnected) return "error";
  net::SockAddr peer;
  if (net::GetPeerName(handle_, &peer) != 0) {
    SocketError("GetPeerPort");
    return "error";
  }
  return std::to_string(peer.port);
}

int TCustomNetSocket::GetPeerName(net::SockAddr* peer) {
  if (state_ != wsConnected) return -1;
  return net::GetPeerName(handle_, peer);
}

std::string TCustomNetSocket::GetXPort() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  net::SockAddr local;
  if (net::GetSockName(handle_, &local) != 0) return "error";
  return std::to_string(local.port);
}

std::string TCustomNetSocket::GetXAddr() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  net::SockAddr local;
  if (net::GetSockName(handle_, &local) != 0) return "error";
  return net::InetNtoa(local.addr);
}

int TCustomNetSocket::GetSockName(net::SockAddr* local) { return net::GetSockName(handle_, local); }

// --- event triggers ----------------------------------------------------------

bool TCustomNetSocket::TriggerDataAvailable(int error) {
  if (!OnDataAvailable) return false;
  if (turn_depth_ > 0 && turn_started_ == 0) turn_started_ = SteadyMicroseconds();
  ++handler_calls_;
  RaiseEvent(OnDataAvailable, this, error);
  return true;
}

void TCustomNetSocket::TriggerSessionAvailable(int error) {
  if (OnSessionAvailable) RaiseEvent(OnSessionAvailable, this, error);
}

void TCustomNetSocket::TriggerSessionConnected(int error) {
  if (OnSessionConnected) RaiseEvent(OnSessionConnected, this, error);
}

void TCustomNetSocket::TriggerSessionClosed(int error) {
  if (OnSessionClosed) RaiseEvent(OnSessionClosed, this, error);
}

void TCustomNetSocket::TriggerDataSent(int error) {
  if (OnDataSent) RaiseEvent(OnDataSent, this, error);
}

void TCustomNetSocket::TriggerChangeState(TSocketState old_state, TSocketState new_state) {
  if (OnChangeState) RaiseEvent(OnChangeState, this, old_state, new_state);
}

void TCustomNetSocket::TriggerDNSLookupDone(int error) {
  if (OnDnsLookupDone) RaiseEvent(OnDnsLookupDone, this, error);
}

