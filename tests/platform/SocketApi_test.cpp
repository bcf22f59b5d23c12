#include "platform/SocketApi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/Resolver.h"

namespace net = platform::net;

namespace {

constexpr unsigned kMsg = platform::WM_USER + 1;

void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  do QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  while (t.elapsed() < ms);
}

template <class Pred>
bool PumpUntil(Pred pred, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

// Collects the notices delivered to one target.
struct Notices {
  struct Notice {
    net::TSocket s;
    int event;
    int error;
  };
  std::vector<Notice> got;
  platform::MessageTarget target{[this](platform::TMessage& m) {
    got.push_back({static_cast<net::TSocket>(m.WParam), net::SelectEvent(m.LParam), net::SelectError(m.LParam)});
  }};
  int Count(int event) const {
    int n = 0;
    for (const auto& g : got) n += g.event == event;
    return n;
  }
};

// A blocking POSIX listener or caller on loopback, outside our layer.
struct Raw {
  int fd = -1;
  ~Raw() {
    if (fd >= 0) ::close(fd);
  }
  int ListenAny() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
    ::listen(fd, 8);
    socklen_t len = sizeof(sa);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
  }
  void ConnectTo(int port) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)), 0);
  }
  int AcceptOne() { return ::accept(fd, nullptr, nullptr); }
};

net::SockAddr Loopback(int port) {
  return net::SockAddr{net::InetAddr("127.0.0.1"), static_cast<std::uint16_t>(port)};
}

// Our socket connected to a raw listener; returns the raw side's descriptor.
int ConnectOurs(Notices& n, net::TSocket* s, Raw& listener) {
  const int port = listener.ListenAny();
  *s = net::Socket(net::SOCK_STREAM_TYPE, net::IPPROTO_TCP_NUMBER);
  EXPECT_NE(*s, net::INVALID_SOCKET);
  EXPECT_EQ(net::AsyncSelect(*s, &n.target, kMsg, 0x3F), 0);
  EXPECT_EQ(net::Connect(*s, Loopback(port)), net::SOCKET_ERROR);
  EXPECT_EQ(net::LastError(), net::WSAEWOULDBLOCK);
  const int peer = listener.AcceptOne();
  EXPECT_TRUE(PumpUntil([&] { return n.Count(net::FD_WRITE) > 0; }));
  return peer;
}

TEST(SocketApi, ConnectGivesOneConnectNoticeThenOneWriteNotice) {
  Notices n;
  Raw listener;
  net::TSocket s;
  const int peer = ConnectOurs(n, &s, listener);
  PumpFor(50);  // an idle writable socket must stay quiet
  ASSERT_EQ(n.got.size(), 2u);
  EXPECT_EQ(n.got[0].event, net::FD_CONNECT);
  EXPECT_EQ(n.got[0].error, 0);
  EXPECT_EQ(n.got[1].event, net::FD_WRITE);
  EXPECT_EQ(n.got[0].s, s);
  ::close(peer);
  net::AbortSocket(s);
}

TEST(SocketApi, ReadNoticeWaitsForAReceiveAndCloseComesOnce) {
  Notices n;
  Raw listener;
  net::TSocket s;
  const int peer = ConnectOurs(n, &s, listener);
  n.got.clear();
  ASSERT_EQ(::send(peer, "0123456789", 10, 0), 10);
  ASSERT_TRUE(PumpUntil([&] { return n.Count(net::FD_READ) == 1; }));
  PumpFor(30);
  EXPECT_EQ(n.Count(net::FD_READ), 1) << "no receive, no second notice";
  char buf[16];
  EXPECT_EQ(net::Recv(s, buf, 4, 0), 4);
  EXPECT_TRUE(PumpUntil([&] { return n.Count(net::FD_READ) == 2; })) << "bytes remain after a receive";
  EXPECT_EQ(net::Recv(s, buf, 16, 0), 6);
  ::shutdown(peer, SHUT_WR);
  ASSERT_TRUE(PumpUntil([&] { return n.Count(net::FD_CLOSE) == 1; }));
  EXPECT_EQ(net::Recv(s, buf, 16, 0), 0);
  PumpFor(30);
  EXPECT_EQ(n.Count(net::FD_CLOSE), 1);
  EXPECT_EQ(n.got.back().error, 0);
  ::close(peer);
  net::CloseSocket(s);
}

// The read notice takes the first bytes itself; whatever way the owner reads
// them (small pieces, a peek, after a pause) they come once, in order, and
// the end is told only after the last of them.
TEST(SocketApi, BytesTakenByTheNoticeComeFirstInOrderAndBeforeTheEnd) {
  Notices n;
  Raw listener;
  net::TSocket s;
  const int peer = ConnectOurs(n, &s, listener);
  n.got.clear();
  std::string sent(12000, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i % 23);
  // First a few bytes the notice takes whole, the rest once they are read.
  constexpr std::size_t kFirst = 2500;
  ASSERT_EQ(::send(peer, sent.data(), kFirst, 0), static_cast<ssize_t>(kFirst));
  std::string got;
  std::size_t at_close = 0;
  for (int reads = 0; n.Count(net::FD_CLOSE) == 0; ++reads) {
    const int seen = n.Count(net::FD_READ);
    ASSERT_TRUE(PumpUntil([&] { return n.Count(net::FD_READ) > seen || n.Count(net::FD_CLOSE) > 0; }));
    at_close = got.size();
    if (n.Count(net::FD_CLOSE) > 0) break;
    unsigned long waiting = 0;
    ASSERT_EQ(net::BytesAvailable(s, &waiting), 0);
    EXPECT_GT(waiting, 0u);
    char buf[1000];
    ASSERT_EQ(net::Recv(s, buf, 3, net::MSG_PEEK_FLAG), 3);
    EXPECT_EQ(std::string(buf, 3), sent.substr(got.size(), 3));
    const int r = net::Recv(s, buf, reads < 3 ? 1000 : static_cast<int>(sizeof buf), 0);
    ASSERT_GT(r, 0);
    got.append(buf, static_cast<std::size_t>(r));
    if (reads == 0) {  // a pause with bytes in hand: quiet, then they come
      ASSERT_EQ(net::AsyncSelect(s, &n.target, kMsg, 0), 0);
      const int before = n.Count(net::FD_READ);
      PumpFor(20);
      EXPECT_EQ(n.Count(net::FD_READ), before);
      ASSERT_EQ(net::AsyncSelect(s, &n.target, kMsg, 0x3F), 0);
    }
    if (got.size() == kFirst) {
      const std::size_t rest = sent.size() - kFirst;
      ASSERT_EQ(::send(peer, sent.data() + kFirst, rest, 0), static_cast<ssize_t>(rest));
      ::shutdown(peer, SHUT_WR);
    }
  }
  EXPECT_TRUE(got == sent) << got.size();
  EXPECT_EQ(at_close, sent.size());
  ::close(peer);
  net::CloseSocket(s);
}

// A reset reaches the owner with the close, whatever came before it and
// however the owner read that: after each notice it reads until a read comes
// short, as the socket classes do, so that its own read may be the one that
// meets the reset.
TEST(SocketApi, ResetPeerGivesCloseWithItsError) {
  const struct {
    const char* what;
    std::size_t sent, buffer;
  } cases[] = {
      {"nothing sent", 0, 65536},
      {"a few bytes", 100, 65536},
      {"exactly what the notice takes: the reset is met handing them out", 4096, 65536},
      {"more than the notice takes, read at once", 30000, 65536},
      {"the owner's own read meets the reset", 8192, 8192},
      {"small reads", 30000, 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Notices n;
    Raw listener;
    net::TSocket s;
    const int peer = ConnectOurs(n, &s, listener);
    const std::string bytes(c.sent, 'r');
    if (c.sent > 0) {
      ASSERT_EQ(::send(peer, bytes.data(), c.sent, 0), static_cast<ssize_t>(c.sent));
    }
    linger lg{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
    ::close(peer);
    std::string got;
    std::vector<char> buf(c.buffer);
    for (int notices = 1; n.Count(net::FD_CLOSE) == 0; ++notices) {
      ASSERT_TRUE(PumpUntil([&] { return n.Count(net::FD_READ) >= notices || n.Count(net::FD_CLOSE) > 0; }));
      if (n.Count(net::FD_CLOSE) > 0) break;
      for (int r = static_cast<int>(buf.size()); r == static_cast<int>(buf.size());) {
        r = net::Recv(s, buf.data(), static_cast<int>(buf.size()), 0);
        if (r > 0) {
          got.append(buf.data(), static_cast<std::size_t>(r));
        } else if (r < 0) {
          EXPECT_EQ(net::LastError(), net::WSAECONNRESET);
        }
      }
    }
    PumpFor(30);
    EXPECT_EQ(got.size(), c.sent);
    EXPECT_EQ(n.Count(net::FD_CLOSE), 1);
    EXPECT_EQ(n.got.back().error, net::WSAECONNRESET);
    char one;
    EXPECT_EQ(net::Send(s, &one, 1, 0), net::SOCKET_ERROR);  // no SIGPIPE either
    net::CloseSocket(s);
  }
}

TEST(SocketApi, WriteNoticeOnlyAfterASendThatWouldBlock) {
  Notices n;
  Raw listener;
  net::TSocket s;
  const int peer = ConnectOurs(n, &s, listener);
  n.got.clear();
  std::string block(65536, 'x');
  long long sent = 0;
  while (net::Send(s, block.data(), static_cast<int>(block.size()), 0) > 0) sent += 1;
  EXPECT_EQ(net::LastError(), net::WSAEWOULDBLOCK);
  PumpFor(20);
  EXPECT_EQ(n.Count(net::FD_WRITE), 0);
  // The peer reads: sending can go on, and that is told once.
  std::vector<char> sink(1 << 20);
  for (int i = 0; i < 64 && n.Count(net::FD_WRITE) == 0; ++i) {
    ::recv(peer, sink.data(), sink.size(), MSG_DONTWAIT);
    PumpFor(5);
  }
  EXPECT_EQ(n.Count(net::FD_WRITE), 1);
  ::close(peer);
  net::AbortSocket(s);
}

TEST(SocketApi, AcceptNoticeComesOncePerWaitingConnection) {
  Notices n;
  net::TSocket l = net::Socket(net::SOCK_STREAM_TYPE, net::IPPROTO_TCP_NUMBER);
  ASSERT_EQ(net::Bind(l, Loopback(0)), 0);
  net::SockAddr local;
  ASSERT_EQ(net::GetSockName(l, &local), 0);
  ASSERT_EQ(net::Listen(l, 5), 0);
  ASSERT_EQ(net::AsyncSelect(l, &n.target, kMsg, net::FD_ACCEPT | net::FD_READ | net::FD_CLOSE), 0);
  Raw a, b;
  a.ConnectTo(local.port);
  b.ConnectTo(local.port);
  ASSERT_TRUE(PumpUntil([&] { return n.Count(net::FD_ACCEPT) == 1; }));
  PumpFor(30);
  EXPECT_EQ(n.Count(net::FD_ACCEPT), 1);
  net::SockAddr peer;
  net::TSocket c1 = net::Accept(l, &peer);
  ASSERT_NE(c1, net::INVALID_SOCKET);
  EXPECT_EQ(net::InetNtoa(peer.addr), "127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return n.Count(net::FD_ACCEPT) == 2; }));
  net::TSocket c2 = net::Accept(l, nullptr);
  ASSERT_NE(c2, net::INVALID_SOCKET);
  PumpFor(30);
  EXPECT_EQ(n.Count(net::FD_ACCEPT), 2);
  EXPECT_EQ(net::Accept(l, nullptr), net::INVALID_SOCKET);
  EXPECT_EQ(net::LastError(), net::WSAEWOULDBLOCK);
  net::CloseSocket(c1);
  net::CloseSocket(c2);
  net::CloseSocket(l);
}

TEST(SocketApi, HandleOfAClosedSocketNeverReachesItsSuccessor) {
  net::TSocket old_handle = net::Socket(net::SOCK_STREAM_TYPE, net::IPPROTO_TCP_NUMBER);
  ASSERT_EQ(net::AbortSocket(old_handle), 0);
  net::TSocket fresh = net::Socket(net::SOCK_STREAM_TYPE, net::IPPROTO_TCP_NUMBER);
  // Same descriptor number, different handle.
  EXPECT_EQ(old_handle & 0xFFFFFFFFu, fresh & 0xFFFFFFFFu);
  EXPECT_NE(old_handle, fresh);
  char c = 0;
  for (int rc : {net::Send(old_handle, &c, 1, 0), net::Recv(old_handle, &c, 1, 0), net::Shutdown(old_handle, 1),
                 net::CloseSocket(old_handle), net::Bind(old_handle, Loopback(0))}) {
    EXPECT_EQ(rc, net::SOCKET_ERROR);
    EXPECT_EQ(net::LastError(), net::WSAENOTSOCK);
  }
  EXPECT_EQ(net::Bind(fresh, Loopback(0)), 0) << "the successor is untouched";
  net::CloseSocket(fresh);
}

TEST(SocketApi, ErrorsCarryTheNumbersTheProgramPrints) {
  // Real failures first.
  Raw taken;
  const int port = taken.ListenAny();
  net::TSocket s = net::Socket(net::SOCK_STREAM_TYPE, net::IPPROTO_TCP_NUMBER);
  EXPECT_EQ(net::Bind(s, Loopback(port)), net::SOCKET_ERROR);
  EXPECT_EQ(net::LastError(), 10048);
  char c;
  EXPECT_EQ(net::Send(s, &c, 1, 0), net::SOCKET_ERROR);
  EXPECT_EQ(net::LastError(), 10057);
  net::CloseSocket(s);

  const std::pair<int, int> table[] = {
      {EAGAIN, 10035},       {EINPROGRESS, 10035},  {EADDRINUSE, 10048}, {ENETUNREACH, 10051},
      {ECONNABORTED, 10053}, {ECONNRESET, 10054},   {EPIPE, 10054},      {ENOTCONN, 10057},
      {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065}};
  for (auto [err, expected] : table) EXPECT_EQ(net::ErrorFromErrno(err), expected) << err;
}

TEST(Resolver, DottedTextNeedsNoThreadAndNamesResolveLater) {
  std::vector<std::string> done;
  net::AsyncLookupHost("10.1.2.3", [&](int e, const std::vector<std::uint32_t>& a) {
    done.push_back(std::to_string(e) + " " + (a.empty() ? "" : net::InetNtoa(a[0])));
  });
  EXPECT_TRUE(done.empty()) << "completes after the call, from the event loop";
  ASSERT_TRUE(PumpUntil([&] { return done.size() == 1; }));
  EXPECT_EQ(done[0], "0 10.1.2.3");

  net::AsyncLookupHost("localhost", [&](int e, const std::vector<std::uint32_t>& a) {
    done.push_back(std::to_string(e) + " " + (a.empty() ? "" : net::InetNtoa(a[0])));
  });
  ASSERT_TRUE(PumpUntil([&] { return done.size() == 2; }));
  EXPECT_EQ(done[1], "0 127.0.0.1");

  const auto id = net::AsyncLookupHost("localhost", [&](int, const std::vector<std::uint32_t>&) { done.push_back("x"); });
  EXPECT_TRUE(net::CancelLookup(id));
  PumpFor(100);
  EXPECT_EQ(done.size(), 2u);
}

TEST(Resolver, LocalAddressesListLoopbackLast) {
  const auto list = net::LocalIPv4Addresses();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.back().rfind("127.", 0), 0u);
  for (const auto& a : list) EXPECT_NE(net::InetAddr(a), net::INADDR_NONE_VALUE) << a;
}

// A program that sends its last bytes, closes and quits at once: the peer
// still gets every byte and a clean end, not a reset. Runs in a child
// process, since the application object has to go.
TEST(SocketApi, BytesLeftAtCloseStillArriveWhenTheProgramEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr const char* kPortVar = "PARLO_TEST_EXIT_PEER_PORT";
  std::string payload(32u << 20, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 % 253);

  // The child runs this test again from its start; the port tells it apart.
  const bool child = std::getenv(kPortVar) != nullptr;
  Raw listener;
  std::size_t got = 0;
  bool same = true;
  int error = 0;
  std::thread reader;
  if (!child) {
    setenv(kPortVar, std::to_string(listener.ListenAny()).c_str(), 1);
    reader = std::thread([&] {
      pollfd p{listener.fd, POLLIN, 0};
      if (::poll(&p, 1, 10000) != 1) return;
      const int fd = listener.AcceptOne();
      timeval limit{10, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
      std::vector<char> buf(1 << 16);
      for (;;) {
        const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0) {
          error = n < 0 ? errno : 0;
          break;
        }
        same = same && got + static_cast<std::size_t>(n) <= payload.size() &&
               payload.compare(got, static_cast<std::size_t>(n), buf.data(), static_cast<std::size_t>(n)) == 0;
        got += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  EXPECT_EXIT(
      {
        Notices n;
        const net::TSocket s = net::Socket(net::SOCK_STREAM_TYPE, net::IPPROTO_TCP_NUMBER);
        net::AsyncSelect(s, &n.target, kMsg, 0x3F);
        net::Connect(s, Loopback(std::atoi(std::getenv(kPortVar))));
        if (!PumpUntil([&] { return n.Count(net::FD_WRITE) > 0; })) _exit(2);
        const int sent = std::max(0, net::Send(s, payload.data(), static_cast<int>(payload.size()), 0));
        net::CloseSocket(s, payload.substr(static_cast<std::size_t>(sent)));
        delete QCoreApplication::instance();
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  if (child) return;
  reader.join();
  unsetenv(kPortVar);
  EXPECT_EQ(error, 0) << std::strerror(error);
  EXPECT_EQ(got, payload.size());
  EXPECT_TRUE(same);
}

}  // namespace
