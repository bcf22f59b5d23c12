#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Component.h"
#include "platform/EventLoop.h"
#include "platform/Resolver.h"
#include "platform/SocketApi.h"
#include "platform/StringList.h"
#include "transport/Buffer.h"
#include "transport/NetSocketFunctions.h"
#include "transport/SocketException.h"

enum TSocketState : std::uint8_t {
  wsInvalidState = 0,
  wsOpened = 1,
  wsBound = 2,
  wsConnecting = 3,
  wsConnected = 4,
  wsAccepting = 5,
  wsListening = 6,
  wsClosed = 7,
};

enum TSocketLingerOnOff { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

enum TNetSocketOption { wsoNoReceiveLoop = 0, wsoTcpNoDelay = 1 };

// A set of TNetSocketOption.
class TNetSocketOptions {
 public:
  TNetSocketOptions() = default;
  TNetSocketOptions(std::initializer_list<TNetSocketOption> items) {
    for (auto o : items) Include(o);
  }
  bool Contains(TNetSocketOption o) const { return (bits_ >> o) & 1u; }
  void Include(TNetSocketOption o) { bits_ |= 1u << o; }
  void Exclude(TNetSocketOption o) { bits_ &= ~(1u << o); }
  bool operator==(const TNetSocketOptions&) const = default;

 private:
  unsigned bits_ = 0;
};

enum TSocketSendFlags { wsSendNormal = 0, wsSendUrgent = 1 };

using TSocket = platform::net::TSocket;
constexpr TSocket INVALID_SOCKET = platform::net::INVALID_SOCKET;

// Messages a socket posts to itself.
constexpr unsigned WM_ASYNCSELECT = platform::WM_USER + 1;
constexpr unsigned WM_ASYNCGETHOSTBYNAME = platform::WM_USER + 2;
constexpr unsigned WM_ASYNCGETHOSTBYADDR = platform::WM_USER + 3;
constexpr unsigned WM_CLOSE_DELAYED = platform::WM_USER + 4;
constexpr unsigned WM_NETSOCKET_RELEASE = platform::WM_USER + 5;
constexpr unsigned WM_TRIGGER_EXCEPTION = platform::WM_USER + 6;
constexpr unsigned WM_RECEIVE_MORE = platform::WM_USER + 7;
constexpr unsigned WM_TRIGGER_DATA_AVAILABLE = platform::WM_USER + 20;
constexpr unsigned WM_CLIENT_CLOSED = platform::WM_USER + 30;

class TCustomNetSocket;

using TSessionEvent = std::function<void(TCustomNetSocket* Sender, int Error)>;
using TDataAvailable = TSessionEvent;
using TSendData = std::function<void(TCustomNetSocket* Sender, int BytesSent)>;
using TChangeState = std::function<void(TCustomNetSocket* Sender, TSocketState OldState, TSocketState NewState)>;
using TSocketNotifyEvent = std::function<void(TCustomNetSocket* Sender)>;
using TBgExceptionEvent = std::function<void(TCustomNetSocket* Sender, const std::exception& E, bool& CanClose)>;
using TLineLimitEvent = std::function<void(TCustomNetSocket* Sender, int RcvdLength, bool& ClearData)>;
using TDisplayEvent = std::function<void(TCustomNetSocket* Sender, const std::string& Msg)>;

// A time value of two words, seconds and microseconds.
struct TTimeVal {
  long tv_sec = 0;
  long tv_usec = 0;
};

// The non-blocking TCP (or UDP) socket every connection of the program runs
// on. Readiness arrives through the event loop and becomes state changes and
// events; nothing blocks except a host-name look-up inside Connect and Listen.
// Use it on the thread that made it (mostly the GUI thread), or move it to
// another thread's event loop with ThreadDetach and ThreadAttach.
// The proxy client (SocksNetSocket.h), line mode and the waiting loops
// (NetSocket.h) stand on it; TNetSocket carries them all.
class TCustomNetSocket : public TComponent {
 public:
  explicit TCustomNetSocket(TComponent* owner = nullptr);
  ~TCustomNetSocket() override;

  // Remote end (for Listen: the local address and port to listen on). Only
  // while closed; texts are trimmed, and an empty one counts as not set. A
  // close keeps the texts but marks them not set: they are assigned again
  // before the next Connect or Listen.
  const std::string& GetAddr() const { return addr_; }
  const std::string& Addr() const { return addr_; }
  void SetAddr(const std::string& value);
  const std::string& GetRemotePort() const { return port_; }
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value) { SetRemotePort(value); }
  virtual void SetRemotePort(const std::string& value);
  const std::string& Proto() const { return proto_; }
  virtual void SetProto(const std::string& value);
  const std::string& LocalAddr() const { return local_addr_; }
  void SetLocalAddr(const std::string& value);
  const std::string& LocalPort() const { return local_port_; }
  void SetLocalPort(const std::string& value);

  std::string PeerAddr() { return GetPeerAddr(); }
  std::string PeerPort() { return GetPeerPort(); }
  const std::string& DnsResult() const { return dns_result_; }
  const TStrings& DnsResultList() const { return dns_result_list_; }
  TSocketState State() const { return state_; }
  std::int64_t ReadCount() const { return read_count_; }
  int RcvdCount() { return GetRcvdCount(); }
  // Whether something has come that no handler has been given yet: bytes in
  // the system's buffer, or whole lines held here. A line still without its
  // end does not count.
  bool InputWaiting() const;
  int LastError() const { return last_error_; }
  TSocket HSocket() const { return handle_; }
  bool AllSent() const { return all_sent_; }
  // Bytes handed to Send that the network has not taken yet.
  std::int64_t QueuedBytes() const { return queued_; }

  // The socket runs in a thread of its own: MessagePump then ends with that
  // thread (Terminated) rather than with the program.
  bool MultiThreaded = false;
  bool MultiCast = false;
  std::string MultiCastAddrStr;
  int MultiCastIpTTL = 1;
  bool ReuseAddr = false;
  TNetSocketOptions ComponentOptions;
  int FlushTimeout = 60;  // seconds
  TSocketLingerOnOff LingerOnOff = wsLingerOn;
  int LingerTimeout = 0;
  TSocketSendFlags SendFlags() const { return send_flags_; }
  void SetSendFlags(int value);
  // Bytes the send queue may hold for a peer that does not take them; a Send
  // that would queue more closes the link with error 10055 (logged). 0 or
  // less: no bound. A sender that hands over a whole file package or picture
  // with one Send raises it for that phase; it keeps its value across a close.
  static constexpr std::int64_t kDefaultSendQueueLimit = std::int64_t{8} << 20;
  std::int64_t SendQueueLimit = kDefaultSendQueueLimit;
  // Bytes the system may hold for the peer beyond the queue, set as a link
  // opens; 0 or less: as much as the system chooses, which on a fast link
  // grows to megabytes that no count of QueuedBytes sees.
  int SystemSendBuffer = 0;

  // One notification reads at most about this many bytes from the network and
  // raises OnDataAvailable at most this many times; what is left is taken on
  // a later turn of the event loop, so that a peer that never pauses cannot
  // keep every other socket, timer and window waiting.
  static constexpr std::uint64_t kTurnBytes = 64 << 10;
  static constexpr std::uint64_t kTurnCalls = 100;
  // Nor does it go on calling OnDataAvailable once this long has gone in the
  // turn: what a line costs its owner (a transcript that lays out a line of
  // pictures) cannot be told from its bytes, and a caller waiting to be
  // greeted waits for every busy socket's turn.
  static constexpr std::int64_t kTurnMicroseconds = 8000;
  // Callers the system queues for a listening socket until it takes them.
  // A few connects that arrive together (a burst of ordinary callers, or a
  // crowd that reconnects as soon as it is turned away) overflow a short
  // queue, and the system drops a connect it cannot queue: that caller then
  // waits a second or more for its retry.
  static constexpr int kListenBacklog = 128;

  TDataAvailable OnDataAvailable;
  TSessionEvent OnDataSent;
  TSendData OnSendData;
  TSessionEvent OnSessionClosed;
  TSessionEvent OnSessionAvailable;
  TSessionEvent OnSessionConnected;
  TChangeState OnChangeState;
  TSessionEvent OnDnsLookupDone;
  TSocketNotifyEvent OnError;
  TBgExceptionEvent OnBgException;
  // Diagnostic texts (TriggerDisplay).
  TDisplayEvent OnDisplay;

  virtual void Connect();
  // Addr, Port and "tcp" set, then Connect.
  void ConnectTcp(const std::string& addr, const std::string& port);
  // Clears the handlers of the events above (and of the line mode's), so that
  // nothing of the socket calls back into an owner that is going or has let
  // the socket go.
  virtual void DropHandlers();
  virtual void Listen();
  // Takes one waiting connection of a listening socket; INVALID_SOCKET on
  // failure.
  virtual TSocket Accept();
  // Adopts an accepted connection into this object.
  virtual void Dup(TSocket handle);
  // Reads at most size bytes; the count, 0 at the peer's end, -1 on failure
  // (LastError tells which, 10035 when nothing waits).
  virtual int Receive(void* buffer, int size);
  virtual std::string ReceiveStr();
  int ReceiveFrom(void* buffer, int size, std::string* from_addr, int* from_port);
  int PeekData(void* buffer, int size);
  // Queues the bytes and sends what the network takes now. OnDataSent follows
  // when the queue is empty, always later from the event loop.
  virtual int Send(const void* data, int length);
  int SendStr(const std::string& text);
  int SendText(const std::string& text) { return SendStr(text); }
  int SendTo(const std::string& addr, int port, const void* data, int length);
  void PutDataInSendBuffer(const void* data, int length);
  void PutStringInSendBuffer(const std::string& text) { PutDataInSendBuffer(text.data(), static_cast<int>(text.size())); }
  // Sends what is queued, ends the sending side and closes; the last bytes
  // still reach the peer.
  virtual void Close();
  // Close once the current event handler has returned.
  virtual void CloseDelayed();
  // Frees the object once the current event handler has returned (the object
  // must have been made with new).
  virtual void Release();
  // Drops what is queued and ends the connection without sending it: the
  // peer reads the end of the stream after whatever the system already took.
  virtual void Abort();
  // Drops what is queued and resets the connection at once. Only for links
  // the program sheds on purpose (a stranger turned away, a member too far
  // behind): ended normally, the link of a peer that never reads would keep
  // its unsent bytes and its descriptor held by the system for minutes after
  // the program let it go.
  void AbortWithReset();
  // Sends the queue, handling events meanwhile, for at most FlushTimeout seconds.
  virtual void Flush();
  virtual void WaitForClose();
  virtual void Shutdown(int how);
  virtual void Pause();
  virtual void Resume();
  // Handles the events that wait. Once the program has been asked to end,
  // Terminated is set.
  virtual void MessagePump();
  // Handles events until the program is asked to end, then sets Terminated.
  void MessageLoop();
  bool Terminated() const { return terminated_; }
  // Moving the socket to another thread's event loop: ThreadDetach, on the
  // thread it belongs to, stops its notices and drops what was posted to it;
  // ThreadAttach, on the thread that takes it over, starts them again there.
  // Between the two nothing of the socket may run.
  virtual void ThreadDetach();
  virtual void ThreadAttach();

  // A time value is set when either of its words is not 0.
  static bool TimerIsSet(const TTimeVal& t) { return t.tv_sec != 0 || t.tv_usec != 0; }
  static void TimerClear(TTimeVal& t) { t.tv_sec = t.tv_usec = 0; }
  // Whether the two are equal, or (equal false) whether they differ.
  static bool TimerCmp(const TTimeVal& a, const TTimeVal& b, bool equal) {
    return (a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec) == equal;
  }

  virtual void DnsLookup(const std::string& host);
  virtual void ReverseDnsLookup(const std::string& addr);
  virtual void CancelDnsLookup();

  virtual std::string GetPeerAddr();
  virtual std::string GetPeerPort();
  virtual int GetPeerName(platform::net::SockAddr* peer);
  virtual std::string GetXPort();
  virtual std::string GetXAddr();
  virtual int GetSockName(platform::net::SockAddr* local);
  virtual int GetRcvdCount();

 protected:
  bool AddrAssigned() const { return addr_assigned_; }
  bool PortAssigned() const { return port_assigned_; }

  virtual void WndProc(platform::TMessage& msg);
  virtual void AssignDefaultValue();
  virtual void InternalClose(bool shutdown, int error);
  virtual void BindSocket();
  virtual int RealSend(const void* data, int length);
  virtual void RaiseException(const std::string& msg);
  virtual void HandleBackGroundException(const std::exception& e);
  // Returns whether a handler was there to take the data.
  virtual bool TriggerDataAvailable(int error);
  virtual void TriggerSessionAvailable(int error);
  virtual void TriggerSessionConnected(int error);
  virtual void TriggerSessionClosed(int error);
  virtual void TriggerDataSent(int error);
  virtual void TriggerChangeState(TSocketState old_state, TSocketState new_state);
  virtual void TriggerDNSLookupDone(int error);
  virtual void TriggerError();
  void TriggerDisplay(const std::string& msg);
  virtual int DoRecv(void* buffer, int size, int flags);
  // The datagram counterpart of DoRecv: one datagram and its sender.
  virtual int DoRecvFrom(void* buffer, int size, int flags, platform::net::SockAddr* from);

  // Reports the error of the last socket call (see LastError) for the named
  // function: through OnError when assigned, else as an exception.
  void SocketError(const std::string& function);
  void ChangeState(TSocketState new_state);
  // Dropped while the socket is detached from every thread.
  void PostMessage(unsigned msg, std::uintptr_t wparam = 0, std::intptr_t lparam = 0) {
    if (target_ != nullptr) target_->Post(msg, wparam, lparam);
  }
  // True while the object still exists; checked after calling out into
  // handlers that may free it. For a check that outlives the call (a
  // callback); one made on the stack around the call takes StillAlive.
  std::weak_ptr<bool> AliveToken() const { return alive_; }
  // What StillAlive looks at: it outlives the socket while one still does.
  struct Life {
    int watchers = 0;
    bool alive = true;
  };
  // Made on the stack before calling out into handlers that may free the
  // socket, asked after the call. Every event takes several of these, so they
  // count without atomic operations (the socket lives on one thread).
  class StillAlive {
   public:
    explicit StillAlive(const TCustomNetSocket& socket) : life_(socket.life_.life) { ++life_->watchers; }
    ~StillAlive() {
      if (--life_->watchers == 0 && !life_->alive) delete life_;
    }
    StillAlive(const StillAlive&) = delete;
    StillAlive& operator=(const StillAlive&) = delete;
    bool expired() const { return !life_->alive; }

   private:
    Life* life_;
  };
  // Bytes read from the network so far (for telling whether a handler read).
  std::uint64_t NetworkBytesRead() const { return network_bytes_; }
  void ReceiveLoop(int error, bool no_loop);
  // A receive turn: the budget above counts from its start. Turns nest (a
  // handler that runs the event loop starts new ones); the outer turn goes on
  // counting what the inner ones did. Outside a turn (a waiting loop) nothing
  // is bounded.
  class TurnScope {
   public:
    explicit TurnScope(TCustomNetSocket& socket);
    ~TurnScope();
    TurnScope(const TurnScope&) = delete;
    TurnScope& operator=(const TurnScope&) = delete;

   private:
    TCustomNetSocket& socket_;
    StillAlive alive_;
    std::uint64_t bytes_, calls_;
    std::int64_t started_;
  };
  bool TurnSpent() const;
  // The calls' share of the budget: their number and the time they took.
  bool TurnCallsSpent() const;
  // Asks for another turn once the event loop has served the others.
  void PostReceiveMore();
  // Whether bytes already taken from the network still wait for the owner
  // (the network's own notice does not announce them).
  virtual bool HeldInput() const { return false; }
  // Whether a proxy negotiation has the connection; line mode stays out of
  // the way meanwhile.
  virtual bool Negotiating() const { return false; }

  TSocket handle_ = INVALID_SOCKET;
  TSocketState state_ = wsClosed;
  int last_error_ = 0;
  std::int64_t read_count_ = 0;
  bool close_reported_ = false;
  bool destroying_ = false;
  bool terminated_ = false;  // a pump met the request to end the program

 private:
  void WMASyncSelect(platform::TMessage& msg);
  void ResolveProtoAndPort();
  void StartFresh();
  void TryToSend();
  bool WriteNoticeArmed() const;
  // Raises OnSendData; false when the handler closed or freed the socket.
  bool ReportSent(const int* pieces, int count);
  bool ReportSentInChunks(int count);
  void HandleSendError(int error);
  // How a close ends the connection: the queue sent and then the end of the
  // stream, the end of the stream alone, or a reset.
  enum class TCloseHow { SendQueueAndEnd, End, Reset };
  void CloseHandle(TCloseHow how, int error);
  void CloseOnSendFailure(int error);
  void AppendToQueue(const char* data, int length);
  std::string TakeQueue();
  void DropQueue();
  // Whether length more bytes would pass SendQueueLimit; if so the link is
  // logged and closed.
  bool QueueOverflows(int length);
  void ReceiveMore();
  void CancelLookupQuietly();
  void LookupNotStarted(const std::string& name);
  void SetOptionOrFail(platform::net::Option option, int value, const char* function);

  struct LifeOwner {
    LifeOwner() : life(new Life) {}
    ~LifeOwner() {
      life->alive = false;
      if (life->watchers == 0) delete life;
    }
    LifeOwner(const LifeOwner&) = delete;
    LifeOwner& operator=(const LifeOwner&) = delete;
    Life* life;
  };

  // Goes after the destructor's own work: the socket reads as gone once it
  // has finished going, not while its close is still reported.
  LifeOwner life_;
  std::unique_ptr<platform::MessageTarget> MakeTarget();
  // None while detached (ThreadDetach).
  std::unique_ptr<platform::MessageTarget> target_;
  std::thread::id thread_id_ = std::this_thread::get_id();
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  std::string addr_;
  std::string port_;
  std::string proto_ = "tcp";
  std::string local_addr_ = "0.0.0.0";
  std::string local_port_ = "0";
  bool addr_assigned_ = false;
  bool port_assigned_ = false;
  bool proto_assigned_ = true;
  bool addr_resolved_ = false;
  bool port_resolved_ = false;
  bool proto_resolved_ = false;
  bool local_port_resolved_ = false;
  platform::net::SockAddr remote_;
  std::uint16_t local_port_number_ = 0;
  int protocol_ = platform::net::IPPROTO_TCP_NUMBER;
  int sock_type_ = platform::net::SOCK_STREAM_TYPE;
  int select_mask_ = 0;
  bool paused_ = false;
  bool all_sent_ = true;
  bool sent_notice_posted_ = false;  // an FD_WRITE of Send's own is on its way
  bool waiting_for_room_ = false;    // the network refused bytes; FD_WRITE is armed
  TSocketSendFlags send_flags_ = wsSendNormal;

  std::deque<TBuffer> send_queue_;
  std::int64_t queued_ = 0;  // unsent bytes in send_queue_
  static constexpr int kChunkSize = 1460;

  platform::net::RequestId dns_request_ = 0;
  std::string dns_result_;
  TStringList dns_result_list_;
  std::vector<std::uint32_t> dns_addrs_pending_;
  std::string dns_name_pending_;

  std::uint64_t network_bytes_ = 0;
  std::uint64_t handler_calls_ = 0;  // OnDataAvailable raised so far
  std::uint64_t turn_bytes_ = 0;     // network_bytes_ at the start of the turn
  std::uint64_t turn_calls_ = 0;     // handler_calls_ at the start of the turn
  std::int64_t turn_started_ = 0;    // microseconds on the steady clock; 0: no handler called yet
  int turn_depth_ = 0;
  bool more_posted_ = false;
  bool last_recv_filled_ = false;
};
