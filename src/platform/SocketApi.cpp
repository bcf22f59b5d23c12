#include "platform/SocketApi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <memory>
#include <mutex>
#include <type_traits>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace platform::net {

namespace {

thread_local int last_error = 0;

int Fail(int error) {
  last_error = error;
  return SOCKET_ERROR;
}

int FailErrno() { return Fail(ErrorFromErrno(errno)); }

// How long a gracefully closed socket may take to hand over its last bytes and
// see the peer's end before the layer resets it.
constexpr int kLingerMs = 20000;
// How long a program that is ending waits, for all its sockets together, for
// slow peers to take the rest of what it sent.
constexpr int kExitSendMs = 2000;
// A refused accept for want of descriptors is retried after this pause rather
// than at once, which would spin.
constexpr int kAcceptRetryMs = 100;
// Gracefully closed sockets waiting for their peer's end. Callers that never
// hang up would otherwise keep one descriptor each for the whole wait; beyond
// this many the one that has waited longest is reset.
constexpr std::size_t kMaxLingering = 128;
// Descriptors that callers never get (at most a quarter of the limit): the
// program's own files, the toolkit's and display's descriptors, the
// directory link and the error log must still open when callers have taken
// all they can.
constexpr long kDescriptorReserve = 128;
// Turned-away callers and reset closes are logged at most this often.
constexpr std::int64_t kShedLogMs = 60000;
// A read notice takes up to this many bytes itself, as the probe that tells
// bytes from the peer's end: a chat line arrives with one receive instead of a
// peek and a receive. What it took waits in the entry for the owner's Recv.
constexpr std::size_t kNoticeReadBytes = 4096;

class Notifier;

struct Entry {
  TSocket handle = INVALID_SOCKET;
  int fd = -1;
  int type = SOCK_STREAM_TYPE;
  bool listening = false;
  bool connecting = false;
  bool connected = false;
  MessageTarget* target = nullptr;
  unsigned msg = 0;
  int mask = 0;
  // Guarded: they go with the application object, which may end first.
  QPointer<Notifier> rd;
  QPointer<Notifier> wr;
  bool read_armed = true;
  bool accept_armed = true;
  bool want_write = false;
  bool close_reported = false;
  // Bytes the read notice took, handed out first by Recv; held_full: that
  // read filled its buffer, so more may wait in the system.
  std::string held;
  bool held_full = false;
  bool held_notice = false;  // a notice for held bytes is queued
  int end_error = 0;         // a failure a read met before the end was told
};

// The open sockets by descriptor. Every notice and nearly every call looks
// its socket up, several times a hop, so a lookup is an index: descriptors are
// small numbers, handed out lowest first.
// Sockets of other threads than the GUI thread share the table: its structure
// is locked, while an entry itself is only ever used by the thread its socket
// belongs to (entries do not move when the table grows).
class SocketTable {
 public:
  Entry* At(int fd) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fd >= 0 && static_cast<std::size_t>(fd) < slots_.size() ? slots_[static_cast<std::size_t>(fd)].get()
                                                                      : nullptr;
  }
  // Gives the entry its handle and takes it in.
  TSocket Add(int fd, std::unique_ptr<Entry> e) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint32_t gen = next_generation_++;
    if (next_generation_ == 0xFFFFFFFFu) next_generation_ = 1;
    e->handle = (static_cast<TSocket>(gen) << 32) | static_cast<std::uint32_t>(fd);
    const TSocket s = e->handle;
    const auto i = static_cast<std::size_t>(fd);
    if (i >= slots_.size()) slots_.resize(i + 1);
    if (slots_[i] == nullptr) ++count_;
    slots_[i] = std::move(e);
    return s;
  }
  void Erase(int fd) {
    std::unique_ptr<Entry> gone;
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd < 0 || static_cast<std::size_t>(fd) >= slots_.size() || slots_[static_cast<std::size_t>(fd)] == nullptr)
      return;
    gone = std::move(slots_[static_cast<std::size_t>(fd)]);
    --count_;
  }
  int Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Entry>> slots_;
  int count_ = 0;
  std::uint32_t next_generation_ = 1;
};

// Starts empty before any code runs, so it needs no guard on each use.
constinit SocketTable open_sockets;

SocketTable& Table() { return open_sockets; }

Entry* Find(TSocket s) {
  if (s == INVALID_SOCKET) return nullptr;
  Entry* e = Table().At(static_cast<int>(s & 0xFFFFFFFFu));
  return e != nullptr && e->handle == s ? e : nullptr;
}

// Parent of the layer's Qt objects made on the GUI thread, so that whatever is
// still around when the application object goes is freed with it.
QObject* Holder() {
  static QPointer<QObject> holder;
  if (holder.isNull()) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr) return nullptr;
    holder = new QObject(app);
  }
  return holder.data();
}

// Parent of the layer's Qt objects made on the calling thread: they must live
// on the thread whose event loop serves them. Another thread's go with it.
QObject* ThreadHolder() {
  auto* app = QCoreApplication::instance();
  if (app == nullptr) return nullptr;
  if (QThread::currentThread() == app->thread()) return Holder();
  thread_local QPointer<QObject> holder;
  if (holder.isNull()) {
    holder = new QObject;
    QObject::connect(QThread::currentThread(), &QThread::finished, holder.data(), &QObject::deleteLater,
                     Qt::DirectConnection);
  }
  return holder.data();
}

void OnReadable(TSocket s);
void OnWritable(TSocket s);

// Readiness of one socket in one direction, handed to the layer straight from
// the notifier's event: the signal QSocketNotifier would emit for it (two, in
// fact) costs more than the rest of the layer's work for a hop. A disabled
// notifier gets no events, and a handle whose socket is gone finds nothing.
class Notifier final : public QSocketNotifier {
 public:
  Notifier(TSocket s, int fd, Type type, QObject* parent) : QSocketNotifier(fd, type, parent), socket_(s) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::SockAct && e->type() != QEvent::SockClose) return QSocketNotifier::event(e);
    const TSocket s = socket_;
    if (type() == Read) Guarded([s] { OnReadable(s); });
    else Guarded([s] { OnWritable(s); });
    return true;
  }

 private:
  const TSocket socket_;
};

void DropNotifier(QPointer<Notifier>& n) {
  if (n.isNull()) return;
  // One of another thread was stopped there when its socket left it.
  if (n->thread() == QThread::currentThread()) n->setEnabled(false);
  n->deleteLater();
  n = nullptr;
}

void UpdateNotifiers(Entry& e) {
  bool want_rd = false;
  bool want_wr = false;
  if (e.mask != 0 && e.target != nullptr) {
    if (e.listening) {
      want_rd = (e.mask & FD_ACCEPT) && e.accept_armed;
    } else if (e.connecting) {
      want_wr = true;
    } else if (e.connected) {
      want_rd = !e.close_reported && e.read_armed && (e.mask & (FD_READ | FD_CLOSE));
      want_wr = e.want_write && (e.mask & FD_WRITE);
    }
  }
  if (e.rd != nullptr && e.rd->isEnabled() != want_rd) e.rd->setEnabled(want_rd);
  if (e.wr != nullptr && e.wr->isEnabled() != want_wr) e.wr->setEnabled(want_wr);
}

// The owner may close the socket inside; e is not to be used afterwards.
void Deliver(Entry& e, int event, int error) {
  if (e.target == nullptr || (e.mask & event) == 0) return;
  e.target->Send(e.msg, static_cast<std::uintptr_t>(e.handle), MakeSelectReply(event, error));
}

// Tells the owner that bytes wait, once until its next Recv.
void NoticeRead(Entry& e) {
  const TSocket s = e.handle;
  e.read_armed = false;
  Deliver(e, FD_READ, 0);
  // Only a receive re-arms the notice; without one the notifier goes quiet
  // instead of firing over and over.
  if (Entry* still = Find(s); still != nullptr && !still->read_armed) UpdateNotifiers(*still);
}

void OnHeldNotice(TSocket s) {
  Entry* e = Find(s);
  if (e == nullptr) return;
  e->held_notice = false;
  if (!e->held.empty() && e->read_armed && !e->close_reported && (e->mask & FD_READ) && e->target != nullptr)
    NoticeRead(*e);
}

// Held bytes get no notice from the system, which has handed them over
// already: one is queued instead.
void QueueHeldNotice(Entry& e) {
  if (e.held.empty() || e.held_notice) return;
  QObject* holder = ThreadHolder();
  if (holder == nullptr) return;
  e.held_notice = true;
  const TSocket s = e.handle;
  QMetaObject::invokeMethod(holder, [s] { Guarded([s] { OnHeldNotice(s); }); }, Qt::QueuedConnection);
}

void OnReadable(TSocket s) {
  Entry* e = Find(s);
  if (e == nullptr) return;
  if (e->listening) {
    e->accept_armed = false;
    Deliver(*e, FD_ACCEPT, 0);
    if ((e = Find(s)) != nullptr && !e->accept_armed) UpdateNotifiers(*e);
    return;
  }
  if (!e->connected) {
    UpdateNotifiers(*e);
    return;
  }
  if (e->type == SOCK_STREAM_TYPE && e->held.empty()) {
    // An owner that takes no bytes only learns of the end: the bytes stay.
    const bool take = (e->mask & FD_READ) != 0;
    thread_local char buffer[kNoticeReadBytes];
    const ssize_t n = ::recv(e->fd, buffer, take ? sizeof buffer : 1, MSG_DONTWAIT | (take ? 0 : MSG_PEEK));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      // The peer's end (or a failed connection): one FD_CLOSE, no more reads.
      const int error = n == 0 ? e->end_error : ErrorFromErrno(errno);
      e->close_reported = true;
      UpdateNotifiers(*e);
      Deliver(*e, FD_CLOSE, error);
      return;
    }
    if (take) {
      e->held.assign(buffer, static_cast<std::size_t>(n));
      e->held_full = static_cast<std::size_t>(n) == sizeof buffer;
    }
  }
  if ((e->mask & FD_READ) == 0) {
    e->read_armed = false;
    UpdateNotifiers(*e);
    return;
  }
  NoticeRead(*e);
}

void OnWritable(TSocket s) {
  Entry* e = Find(s);
  if (e == nullptr) return;
  if (e->connecting) {
    int err = 0;
    socklen_t len = sizeof(err);
    if (::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    e->connecting = false;
    e->connected = err == 0;
    e->read_armed = true;
    UpdateNotifiers(*e);
    Deliver(*e, FD_CONNECT, err == 0 ? 0 : ErrorFromErrno(err));
    if (err == 0 && (e = Find(s)) != nullptr && e->target != nullptr && (e->mask & FD_WRITE))
      e->target->Post(e->msg, static_cast<std::uintptr_t>(s), MakeSelectReply(FD_WRITE, 0));
    return;
  }
  e->want_write = false;
  UpdateNotifiers(*e);
  Deliver(*e, FD_WRITE, 0);
}

void MakeNotifiers(Entry& e) {
  // A socket that moved to another thread gets notifiers of that thread.
  if (!e.rd.isNull() && e.rd->thread() == QThread::currentThread()) return;
  DropNotifier(e.rd);
  DropNotifier(e.wr);
  QObject* parent = ThreadHolder();
  e.rd = new Notifier(e.handle, e.fd, QSocketNotifier::Read, parent);
  e.rd->setEnabled(false);
  e.wr = new Notifier(e.handle, e.fd, QSocketNotifier::Write, parent);
  e.wr->setEnabled(false);
}

// Removes a socket from the table and hands back its descriptor.
int Forget(Entry* e) {
  const int fd = e->fd;
  DropNotifier(e->rd);
  DropNotifier(e->wr);
  Table().Erase(fd);
  return fd;
}

sockaddr_in ToSockAddr(const SockAddr& a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = a.addr;
  sa.sin_port = htons(a.port);
  return sa;
}

SockAddr FromSockAddr(const sockaddr_in& sa) {
  SockAddr a;
  a.addr = sa.sin_addr.s_addr;
  a.port = ntohs(sa.sin_port);
  return a;
}

void ForceClose(int fd) {
  linger lg{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
  ::close(fd);
}

// Counts what was shed (callers turned away, closes reset) and reports it in
// one line per period, so that an attack cannot fill the error log.
class ShedLog {
 public:
  explicit ShedLog(const char* what) : what_(what) {}
  void Count(const std::string& detail) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    const std::int64_t now = TickCount();
    if (logged_at_ != 0 && now - logged_at_ < kShedLogMs) return;
    LogLine(std::string(what_) + " (" + detail + "); " + std::to_string(count_) + " since the last report");
    logged_at_ = now;
    count_ = 0;
  }

 private:
  const char* what_;
  std::mutex mutex_;
  std::int64_t count_ = 0;
  std::int64_t logged_at_ = 0;
};

long DescriptorLimit() {
  rlimit r{};
  if (::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY || r.rlim_cur > LONG_MAX) return LONG_MAX;
  return static_cast<long>(r.rlim_cur);
}

long Reserve(long limit) { return std::min(kDescriptorReserve, limit / 4); }

// lowest_free: the lowest descriptor number not in use. Descriptors are
// handed out lowest first, so every one below it is taken, whoever holds it;
// the layer's own count covers the sockets above it.
bool Scarce(long lowest_free, long extra) {
  const long limit = DescriptorLimit();
  const long reserve = Reserve(limit);
  return lowest_free >= limit - reserve || SocketDescriptorCount() + extra >= limit - reserve;
}

// The graceful end of a closed socket: send what was left, shut the sending
// side, read and drop until the peer ends too, then release the descriptor.
// Closing right away with unread bytes would reset the connection and could
// destroy the last bytes sent before the peer has read them.
class LingeringClose;

// Guards the list below: threads other than the GUI thread close sockets too.
// Closes that outlive static objects still take it, which holds while it
// needs no destruction.
std::mutex lingering_mutex;
static_assert(std::is_trivially_destructible_v<std::mutex>);

// Oldest first. Under lingering_mutex.
std::list<LingeringClose*>& Lingering() {
  // Never freed: the closes still waiting go with the application object,
  // which may outlive static objects.
  static auto* list = new std::list<LingeringClose*>;
  return *list;
}

class LingeringClose : public QObject {
 public:
  LingeringClose(int fd, std::string rest, QObject* parent)
      : QObject(parent), fd_(fd), rest_(std::move(rest)) {
    {
      std::lock_guard<std::mutex> lock(lingering_mutex);
      place_ = Lingering().insert(Lingering().end(), this);
    }
    rd_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    rd_->setEnabled(false);
    wr_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    wr_->setEnabled(false);
    QObject::connect(rd_, &QSocketNotifier::activated, this, [this] { Drain(); });
    QObject::connect(wr_, &QSocketNotifier::activated, this, [this] { SendRest(); });
    // A timer of our own, stopped as the close finishes: a single shot would
    // stay registered for the whole wait even after a close that ended at
    // once, and while any timer is registered every wait of the event loop
    // carries a timeout, which the system pays for on every wake.
    give_up_timer_ = startTimer(kLingerMs);
  }
  // Reached when the program ends before the peer has: a reset here would
  // throw away what the system has not yet sent (the last frame before
  // quitting), so what is left goes to the system, which finishes sending
  // after we are gone.
  ~LingeringClose() override {
    if (fd_ < 0) return;
    Forget();
    // One wait for all of them: the first that goes starts it.
    static const QElapsedTimer waited = [] {
      QElapsedTimer t;
      t.start();
      return t;
    }();
    while (off_ < rest_.size()) {
      const ssize_t n = ::send(fd_, rest_.data() + off_, rest_.size() - off_, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        off_ += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      const qint64 left = kExitSendMs - waited.elapsed();
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || left <= 0) break;
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left));
    }
    ::shutdown(fd_, SHUT_WR);
    // Unread bytes at close would make the system reset the connection.
    char buf[4096];
    while (::recv(fd_, buf, sizeof(buf), MSG_DONTWAIT) > 0) {
    }
    ::close(fd_);
  }

  void Start() { SendRest(); }
  // Only the thread a close belongs to may reset it.
  bool Mine() const { return thread() == QThread::currentThread(); }
  void Reset() { Finish(true); }

 protected:
  void timerEvent(QTimerEvent*) override { Finish(true); }

 private:
  void SendRest() {
    wr_->setEnabled(false);
    while (off_ < rest_.size()) {
      const ssize_t n = ::send(fd_, rest_.data() + off_, rest_.size() - off_, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        off_ += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        wr_->setEnabled(true);
        return;
      }
      Finish(true);
      return;
    }
    ::shutdown(fd_, SHUT_WR);
    rd_->setEnabled(true);
    Drain();
  }

  void Forget() {
    std::lock_guard<std::mutex> lock(lingering_mutex);
    Lingering().erase(place_);
  }

  void Drain() {
    if (fd_ < 0) return;
    char buf[4096];
    for (;;) {
      const ssize_t n = ::recv(fd_, buf, sizeof(buf), MSG_DONTWAIT);
      if (n > 0) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
      Finish(false);
      return;
    }
  }

  void Finish(bool reset) {
    if (fd_ < 0) return;
    Forget();
    rd_->setEnabled(false);
    wr_->setEnabled(false);
    killTimer(give_up_timer_);
    if (reset) ForceClose(fd_);
    else ::close(fd_);
    fd_ = -1;
    deleteLater();
  }

  int fd_;
  std::string rest_;
  std::size_t off_ = 0;
  QSocketNotifier* rd_;
  QSocketNotifier* wr_;
  int give_up_timer_ = 0;
  std::list<LingeringClose*>::iterator place_;
};

// The oldest close of this thread while more than kMaxLingering wait.
LingeringClose* OldestLingeringBeyondBound() {
  std::lock_guard<std::mutex> lock(lingering_mutex);
  if (Lingering().size() <= kMaxLingering) return nullptr;
  for (LingeringClose* c : Lingering())
    if (c->Mine()) return c;
  return nullptr;
}

void ReArmAccept(TSocket s) {
  if (Entry* e = Find(s)) {
    e->accept_armed = true;
    UpdateNotifiers(*e);
  }
}

}  // namespace

int LastError() { return last_error; }
void SetLastError(int error) { last_error = error; }

int ErrorFromErrno(int err) {
  switch (err) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case EBADF:
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    default: return WSAEINVAL;
  }
}

TSocket Socket(int type, int protocol) {
  const int kind = type == SOCK_DGRAM_TYPE ? SOCK_DGRAM : SOCK_STREAM;
  const int fd = ::socket(AF_INET, kind | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailErrno();
    return INVALID_SOCKET;
  }
  auto e = std::make_unique<Entry>();
  e->fd = fd;
  e->type = type == SOCK_DGRAM_TYPE ? SOCK_DGRAM_TYPE : SOCK_STREAM_TYPE;
  return Table().Add(fd, std::move(e));
}

int Bind(TSocket s, const SockAddr& local) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  if (e->type == SOCK_STREAM_TYPE) {
    // A listener must be able to come back on its port while connections
    // of its last run are still in their closing wait.
    const int on = 1;
    ::setsockopt(e->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  }
  const sockaddr_in sa = ToSockAddr(local);
  if (::bind(e->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) return FailErrno();
  if (e->type == SOCK_DGRAM_TYPE) e->connected = true;  // a bound datagram socket can receive
  return 0;
}

int Listen(TSocket s, int backlog) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  if (::listen(e->fd, backlog) != 0) return FailErrno();
  e->listening = true;
  e->accept_armed = true;
  UpdateNotifiers(*e);
  return 0;
}

int Connect(TSocket s, const SockAddr& remote) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  if (e->connected || e->connecting) return Fail(WSAEISCONN);
  const sockaddr_in sa = ToSockAddr(remote);
  const int rc = ::connect(e->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
  if (e->type == SOCK_DGRAM_TYPE) {
    if (rc != 0) return FailErrno();
    e->connected = true;
    UpdateNotifiers(*e);
    return 0;
  }
  if (rc != 0 && errno != EINPROGRESS) return FailErrno();
  // Finished or not, the outcome arrives as FD_CONNECT, so that a loopback
  // connect that completes at once reads the same as a slow one.
  e->connecting = true;
  UpdateNotifiers(*e);
  return Fail(WSAEWOULDBLOCK);
}

TSocket Accept(TSocket listener, SockAddr* peer) {
  Entry* e = Find(listener);
  if (e == nullptr) {
    Fail(WSAENOTSOCK);
    return INVALID_SOCKET;
  }
  if (!e->listening) {
    Fail(WSAEINVAL);
    return INVALID_SOCKET;
  }
  sockaddr_in sa{};
  socklen_t len = sizeof(sa);
  const int fd = ::accept4(e->fd, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd >= 0 && Scarce(fd, 1)) {
    // Taken only to be turned away: left waiting, the caller would keep the
    // listener ready and the backlog full.
    ForceClose(fd);
    ReArmAccept(listener);
    static ShedLog shed("Callers turned away: descriptors are running out");
    shed.Count(std::to_string(SocketDescriptorCount()) + " sockets open, limit " + std::to_string(DescriptorLimit()));
    Fail(WSAEMFILE);
    return INVALID_SOCKET;
  }
  if (fd < 0) {
    const int err = errno;
    if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
      if (QObject* holder = ThreadHolder()) QTimer::singleShot(kAcceptRetryMs, holder, [listener] { ReArmAccept(listener); });
    } else {
      ReArmAccept(listener);
    }
    Fail(ErrorFromErrno(err));
    return INVALID_SOCKET;
  }
  ReArmAccept(listener);
  auto n = std::make_unique<Entry>();
  n->fd = fd;
  n->type = SOCK_STREAM_TYPE;
  n->connected = true;
  const TSocket s = Table().Add(fd, std::move(n));
  if (peer != nullptr) *peer = FromSockAddr(sa);
  return s;
}

namespace {

void ReArmRead(Entry* e) {
  e->read_armed = true;
  if (e->rd != nullptr && !e->rd->isEnabled()) UpdateNotifiers(*e);
}

void ArmWrite(Entry* e) {
  e->want_write = true;
  if (e->wr != nullptr && !e->wr->isEnabled()) UpdateNotifiers(*e);
}

}  // namespace

namespace {

// The system tells a broken connection once, to whichever read meets it; the
// close that follows must tell it again, or it reads as an orderly end.
void NoteReadFailure(Entry& e, int err) {
  if (e.type == SOCK_STREAM_TYPE && e.connected && err != EAGAIN && err != EWOULDBLOCK && err != EINTR)
    e.end_error = ErrorFromErrno(err);
}

// Recv on a stream with held bytes: those first, then (when the notice's read
// may have left more) what the system has, without waiting.
int RecvHeld(Entry* e, char* buffer, std::size_t length, int flags) {
  std::size_t n = std::min(length, e->held.size());
  std::memcpy(buffer, e->held.data(), n);
  if ((flags & MSG_PEEK_FLAG) != 0 && n < length) {
    const ssize_t more = ::recv(e->fd, buffer + n, length - n, MSG_PEEK | MSG_DONTWAIT);
    if (more > 0) n += static_cast<std::size_t>(more);
    else if (more < 0) NoteReadFailure(*e, errno);
  } else if ((flags & MSG_PEEK_FLAG) == 0) {
    e->held.erase(0, n);
    if (e->held.empty() && e->held_full && n < length) {
      e->held_full = false;
      const ssize_t more = ::recv(e->fd, buffer + n, length - n, MSG_DONTWAIT);
      // Bytes are in hand; a failure is told with the end.
      if (more > 0) n += static_cast<std::size_t>(more);
      else if (more < 0) NoteReadFailure(*e, errno);
    }
  }
  ReArmRead(e);
  QueueHeldNotice(*e);
  return static_cast<int>(n);
}

}  // namespace

int Recv(TSocket s, void* buffer, int length, int flags) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  if (length < 0) return Fail(WSAEINVAL);
  if (!e->held.empty() && (flags & MSG_OOB_FLAG) == 0)
    return RecvHeld(e, static_cast<char*>(buffer), static_cast<std::size_t>(length), flags);
  const int native = MSG_DONTWAIT | ((flags & MSG_PEEK_FLAG) ? MSG_PEEK : 0) | ((flags & MSG_OOB_FLAG) ? MSG_OOB : 0);
  const ssize_t n = ::recv(e->fd, buffer, static_cast<std::size_t>(length), native);
  const int err = errno;
  ReArmRead(e);
  if (n < 0) {
    // Out-of-band data that is not there says nothing about the connection.
    if ((flags & MSG_OOB_FLAG) == 0) NoteReadFailure(*e, err);
    return Fail(ErrorFromErrno(err));
  }
  return static_cast<int>(n);
}

int RecvFrom(TSocket s, void* buffer, int length, int flags, SockAddr* from) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  if (length < 0) return Fail(WSAEINVAL);
  if (!e->held.empty()) {
    if (from != nullptr && GetPeerName(s, from) != 0) return SOCKET_ERROR;
    return RecvHeld(e, static_cast<char*>(buffer), static_cast<std::size_t>(length), flags);
  }
  sockaddr_in sa{};
  socklen_t len = sizeof(sa);
  const int native = MSG_DONTWAIT | ((flags & MSG_PEEK_FLAG) ? MSG_PEEK : 0);
  const ssize_t n = ::recvfrom(e->fd, buffer, static_cast<std::size_t>(length), native,
                               reinterpret_cast<sockaddr*>(&sa), &len);
  const int err = errno;
  ReArmRead(e);
  if (n < 0) return Fail(ErrorFromErrno(err));
  if (from != nullptr) *from = FromSockAddr(sa);
  return static_cast<int>(n);
}

int Send(TSocket s, const void* data, int length, int flags) {
  ConstBuffer b{data, length < 0 ? 0u : static_cast<std::size_t>(length)};
  if (length < 0) return Fail(WSAEINVAL);
  return SendBuffers(s, &b, 1, flags);
}

int SendBuffers(TSocket s, const ConstBuffer* buffers, int count, int flags) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  if (count < 0) return Fail(WSAEINVAL);
  // Linux answers EPIPE on a stream that never connected.
  if (e->type == SOCK_STREAM_TYPE && !e->connected) return Fail(WSAENOTCONN);
  const int native = MSG_NOSIGNAL | MSG_DONTWAIT | ((flags & MSG_OOB_FLAG) ? MSG_OOB : 0);
  // The common case, one block, without the gather call's extra work.
  if (count == 1) {
    const ssize_t n = ::send(e->fd, buffers[0].data, buffers[0].length, native);
    if (n < 0) {
      const int err = errno;
      if (err == EAGAIN || err == EWOULDBLOCK) ArmWrite(e);
      return Fail(ErrorFromErrno(err));
    }
    if (static_cast<std::size_t>(n) < buffers[0].length) ArmWrite(e);
    return static_cast<int>(n);
  }
  std::vector<iovec> iov(static_cast<std::size_t>(count));
  std::size_t total = 0;
  for (int i = 0; i < count; ++i) {
    iov[i].iov_base = const_cast<void*>(buffers[i].data);
    iov[i].iov_len = buffers[i].length;
    total += buffers[i].length;
  }
  msghdr mh{};
  mh.msg_iov = iov.data();
  mh.msg_iovlen = iov.size();
  const ssize_t n = ::sendmsg(e->fd, &mh, native);
  if (n < 0) {
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK) ArmWrite(e);
    return Fail(ErrorFromErrno(err));
  }
  // A short send means the buffer is full: the notice tells when to go on.
  if (static_cast<std::size_t>(n) < total) ArmWrite(e);
  return static_cast<int>(n);
}

int SendTo(TSocket s, const void* data, int length, int flags, const SockAddr& to) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  if (length < 0) return Fail(WSAEINVAL);
  const sockaddr_in sa = ToSockAddr(to);
  const int native = MSG_NOSIGNAL | MSG_DONTWAIT | ((flags & MSG_OOB_FLAG) ? MSG_OOB : 0);
  const ssize_t n = ::sendto(e->fd, data, static_cast<std::size_t>(length), native,
                             reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
  if (n < 0) {
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK) ArmWrite(e);
    return Fail(ErrorFromErrno(err));
  }
  return static_cast<int>(n);
}

int Shutdown(TSocket s, int how) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  const int native = how == SD_RECEIVE ? SHUT_RD : how == SD_SEND ? SHUT_WR : SHUT_RDWR;
  if (::shutdown(e->fd, native) != 0) return FailErrno();
  return 0;
}

int CloseSocket(TSocket s, std::string unsent) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  const bool stream_connection = e->type == SOCK_STREAM_TYPE && (e->connected || e->connecting);
  const int fd = Forget(e);
  QObject* holder = ThreadHolder();
  if (!stream_connection || holder == nullptr) {
    ::close(fd);
    return 0;
  }
  auto* closer = new LingeringClose(fd, std::move(unsent), holder);
  closer->Start();
  while (LingeringClose* oldest = OldestLingeringBeyondBound()) {
    static ShedLog shed("Closed connections reset: their peers do not end them");
    shed.Count("at most " + std::to_string(kMaxLingering) + " wait");
    oldest->Reset();
  }
  return 0;
}

int AbortSocket(TSocket s) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  ForceClose(Forget(e));
  return 0;
}

int SetOption(TSocket s, Option option, int value) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  int rc = 0;
  switch (option) {
    case Option::ReuseAddr: rc = ::setsockopt(e->fd, SOL_SOCKET, SO_REUSEADDR, &value, sizeof(value)); break;
    case Option::TcpNoDelay: rc = ::setsockopt(e->fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof(value)); break;
    case Option::KeepAlive: rc = ::setsockopt(e->fd, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof(value)); break;
    case Option::Broadcast: rc = ::setsockopt(e->fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof(value)); break;
    case Option::SendBuffer: rc = ::setsockopt(e->fd, SOL_SOCKET, SO_SNDBUF, &value, sizeof(value)); break;
    case Option::MulticastTtl: {
      const unsigned char ttl = static_cast<unsigned char>(value);
      rc = ::setsockopt(e->fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl));
      break;
    }
  }
  return rc == 0 ? 0 : FailErrno();
}

int SetLinger(TSocket s, bool on, int seconds) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  linger lg{on ? 1 : 0, seconds < 0 ? 0 : seconds};
  return ::setsockopt(e->fd, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg)) == 0 ? 0 : FailErrno();
}

int JoinMulticastGroup(TSocket s, std::uint32_t group) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  ip_mreq mreq{};
  mreq.imr_multiaddr.s_addr = group;
  mreq.imr_interface.s_addr = htonl(INADDR_ANY);
  return ::setsockopt(e->fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof(mreq)) == 0 ? 0 : FailErrno();
}

int GetSockName(TSocket s, SockAddr* local) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  sockaddr_in sa{};
  socklen_t len = sizeof(sa);
  if (::getsockname(e->fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return FailErrno();
  if (local != nullptr) *local = FromSockAddr(sa);
  return 0;
}

int GetPeerName(TSocket s, SockAddr* peer) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  sockaddr_in sa{};
  socklen_t len = sizeof(sa);
  if (::getpeername(e->fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return FailErrno();
  if (peer != nullptr) *peer = FromSockAddr(sa);
  return 0;
}

int BytesAvailable(TSocket s, unsigned long* count) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  int n = 0;
  if (::ioctl(e->fd, FIONREAD, &n) != 0) return FailErrno();
  if (count != nullptr) *count = (n < 0 ? 0ul : static_cast<unsigned long>(n)) + e->held.size();
  return 0;
}

int AsyncSelect(TSocket s, MessageTarget* target, unsigned msg, int mask) {
  Entry* e = Find(s);
  if (e == nullptr) return Fail(WSAENOTSOCK);
  e->target = mask != 0 ? target : nullptr;
  e->msg = msg;
  e->mask = e->target != nullptr ? mask : 0;
  if (e->mask != 0) {
    if (ThreadHolder() == nullptr) return Fail(WSANOTINITIALISED);
    MakeNotifiers(*e);
    // A new selection starts every notice afresh.
    e->read_armed = true;
    e->accept_armed = true;
    QueueHeldNotice(*e);
  }
  UpdateNotifiers(*e);
  if (e->target != nullptr && (e->mask & FD_WRITE) && e->connected && !e->listening)
    e->target->Post(msg, static_cast<std::uintptr_t>(s), MakeSelectReply(FD_WRITE, 0));
  return 0;
}

std::uint32_t InetAddr(const std::string& dotted) {
  std::size_t i = 0;
  const std::size_t n = dotted.size();
  while (i < n && dotted[i] == ' ') ++i;
  std::uint32_t parts[4];
  for (int g = 0; g < 4; ++g) {
    if (g > 0) {
      if (i >= n || dotted[i] != '.') return INADDR_NONE_VALUE;
      ++i;
    }
    if (i >= n || dotted[i] < '0' || dotted[i] > '9') return INADDR_NONE_VALUE;
    std::uint32_t v = 0;
    while (i < n && dotted[i] >= '0' && dotted[i] <= '9') {
      v = v * 10 + static_cast<std::uint32_t>(dotted[i] - '0');
      if (v > 255) return INADDR_NONE_VALUE;
      ++i;
    }
    parts[g] = v;
  }
  while (i < n && dotted[i] == ' ') ++i;
  if (i != n) return INADDR_NONE_VALUE;
  return htonl(parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3]);
}

std::string InetNtoa(std::uint32_t addr) {
  const std::uint32_t h = ntohl(addr);
  return std::to_string(h >> 24) + "." + std::to_string((h >> 16) & 255) + "." + std::to_string((h >> 8) & 255) +
         "." + std::to_string(h & 255);
}

std::uint32_t HostToNet32(std::uint32_t v) { return htonl(v); }
std::uint32_t NetToHost32(std::uint32_t v) { return ntohl(v); }
std::uint16_t HostToNet16(std::uint16_t v) { return htons(v); }
std::uint16_t NetToHost16(std::uint16_t v) { return ntohs(v); }

int OpenSocketCount() { return Table().Count(); }

int LingeringCloseCount() {
  std::lock_guard<std::mutex> lock(lingering_mutex);
  return static_cast<int>(Lingering().size());
}

int SocketDescriptorCount() { return OpenSocketCount() + LingeringCloseCount(); }

bool DescriptorsScarce() {
  const int probe = ::open("/", O_PATH | O_CLOEXEC);
  if (probe < 0) return true;
  ::close(probe);
  return Scarce(probe, 0);
}

}  // namespace platform::net
