#include "transport/NetSocket.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/HoldMeter.h"
#include "platform/Timer.h"

#include "transport/Transport_helpers.h"

namespace {

using test::PumpUntil;
using test::RawPeer;

// Records what a socket reports, in order.
struct SocketRecorder {
  std::vector<std::string> events;
  std::string received;
  std::vector<std::string> reads;  // one entry per OnDataAvailable that read something
  int connected_error = -1;
  int closed_count = 0;
  int closed_error = -1;
  int data_sent = 0;

  void Attach(TCustomNetSocket& s, int read_size = 8191) {
    s.OnSessionConnected = [this](TCustomNetSocket*, int e) {
      connected_error = e;
      events.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [this](TCustomNetSocket*, int e) {
      ++closed_count;
      closed_error = e;
      events.push_back("closed " + std::to_string(e));
    };
    s.OnChangeState = [this](TCustomNetSocket*, TSocketState o, TSocketState n) {
      events.push_back("state " + std::to_string(o) + "->" + std::to_string(n));
    };
    s.OnDataSent = [this](TCustomNetSocket*, int) { ++data_sent; };
    s.OnDataAvailable = [this, read_size](TCustomNetSocket* sender, int) {
      std::string buf(static_cast<std::size_t>(read_size), '\0');
      const int n = sender->Receive(buf.data(), read_size);
      if (n <= 0) return;
      buf.resize(static_cast<std::size_t>(n));
      received += buf;
      reads.push_back(buf);
    };
  }
};

// A connected pair: our socket (client) and a raw peer (server side).
struct Connected {
  RawPeer peer;
  TNetSocket sock;
  SocketRecorder rec;

  explicit Connected(int read_size = 8191, bool line_mode = false) {
    const int port = peer.Listen();
    rec.Attach(sock, read_size);
    sock.SetLineMode(line_mode);
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(port));
    sock.Connect();
    EXPECT_TRUE(peer.AcceptOne());
    EXPECT_TRUE(PumpUntil([&] { return sock.State() == wsConnected; }));
  }
};

TEST(NetSocket, LargeSendArrivesWholeAndDataSentComesOnceAfterwards) {
  Connected c;
  std::string payload(6 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>((i * 131) ^ (i >> 9));
  PumpUntil([&] { return c.rec.data_sent > 0; });  // the one that follows the connect
  c.rec.data_sent = 0;
  long long reported = 0;
  c.sock.OnSendData = [&](TCustomNetSocket*, int n) { reported += n; };

  EXPECT_EQ(c.sock.SendStr(payload), static_cast<int>(payload.size()));
  EXPECT_EQ(c.rec.data_sent, 0) << "OnDataSent must never run inside Send";
  const std::string got = c.peer.Read(payload.size(), 20000);
  ASSERT_EQ(got.size(), payload.size());
  EXPECT_TRUE(got == payload);
  EXPECT_TRUE(PumpUntil([&] { return c.rec.data_sent > 0; }));
  test::PumpFor(20);
  EXPECT_EQ(c.rec.data_sent, 1);
  EXPECT_EQ(reported, static_cast<long long>(payload.size()));
  EXPECT_TRUE(c.sock.AllSent());
}

TEST(NetSocket, SentBytesAreReportedAChunkAtATime) {
  Connected c;
  std::vector<int> pieces;
  c.sock.OnSendData = [&](TCustomNetSocket*, int n) { pieces.push_back(n); };
  c.sock.SendStr(std::string(4000, 'x'));
  EXPECT_EQ(pieces, (std::vector<int>{1460, 1460, 1080}));
  EXPECT_EQ(c.peer.Read(4000, 5000).size(), 4000u);
}

TEST(NetSocket, HandlersThatSendOrFreeTheSocketKeepBytesInOrderAndDoNotCrash) {
  {
    // More bytes sent from OnSendData queue behind the ones being sent.
    Connected c;
    const std::string first(3 * 1024 * 1024, 'A');
    const std::string second(100000, 'B');
    bool sent_more = false;
    c.sock.OnSendData = [&](TCustomNetSocket* s, int) {
      if (sent_more) return;
      sent_more = true;
      s->SendStr(second);
    };
    c.sock.SendStr(first);
    const std::string got = c.peer.Read(first.size() + second.size(), 20000);
    EXPECT_TRUE(got == first + second) << got.size();
  }
  // A socket freed by its own data handler, raw and in line mode.
  for (bool line_mode : {false, true}) {
    RawPeer peer;
    auto* s = new TNetSocket;
    bool freed = false;
    s->SetLineMode(line_mode);
    s->OnDataAvailable = [&](TCustomNetSocket* sock, int) {
      char buf[8];
      sock->Receive(buf, sizeof(buf));
      delete sock;
      freed = true;
    };
    s->SetAddr("127.0.0.1");
    s->SetPort(std::to_string(peer.Listen()));
    s->Connect();
    ASSERT_TRUE(peer.AcceptOne());
    peer.Write("one\r\ntwo\r\nthree\r\n");
    EXPECT_TRUE(PumpUntil([&] { return freed; })) << line_mode;
    EXPECT_TRUE(peer.SeesEnd()) << line_mode;
  }
}

TEST(NetSocket, SmallSendStillReportsDataSentFromTheEventLoop) {
  Connected c;
  PumpUntil([&] { return c.rec.data_sent > 0; });
  c.rec.data_sent = 0;
  c.sock.SendStr("hello\r\n");
  EXPECT_EQ(c.rec.data_sent, 0);
  EXPECT_TRUE(PumpUntil([&] { return c.rec.data_sent == 1; }));
  EXPECT_EQ(c.peer.Read(7), "hello\r\n");
}

TEST(NetSocket, RefusedConnectReportsErrorThenOneCloseAndNeverReadsConnected) {
  TNetSocket s;
  SocketRecorder rec;
  rec.Attach(s);
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(test::FreePort()));
  s.Connect();
  EXPECT_EQ(s.State(), wsConnecting);
  ASSERT_TRUE(PumpUntil([&] { return rec.closed_count > 0; }));
  test::PumpFor(20);
  EXPECT_EQ(rec.connected_error, 10061);
  EXPECT_EQ(rec.closed_count, 1);
  EXPECT_EQ(rec.closed_error, 0);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.LastError(), 10061);
  for (const auto& e : rec.events) EXPECT_EQ(e.find("->4"), std::string::npos) << e;
  EXPECT_EQ(rec.events, (std::vector<std::string>{"state 7->1", "state 1->3", "connected 10061", "state 3->7",
                                                  "closed 0"}));
}

TEST(NetSocket, AConnectionStartedFromTheCloseHandlerIsAFreshOne) {
  RawPeer live;
  const int live_port = live.Listen();
  TNetSocket s;
  SocketRecorder rec;
  rec.Attach(s);
  s.OnSessionClosed = [&](TCustomNetSocket* sock, int) {
    ++rec.closed_count;
    if (rec.closed_count == 1) {
      sock->SetAddr("127.0.0.1");
      sock->SetPort(std::to_string(live_port));
      sock->Connect();
    }
  };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(test::FreePort()));
  s.Connect();
  ASSERT_TRUE(live.AcceptOne());
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
  EXPECT_EQ(s.Port(), std::to_string(live_port));
  live.Close();
  ASSERT_TRUE(PumpUntil([&] { return rec.closed_count == 2; }));
  EXPECT_EQ(s.State(), wsClosed);
}

TEST(NetSocket, MisuseIsReportedWithTheSocketErrorTexts) {
  RawPeer peer;
  TNetSocket s;
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(peer.Listen()));
  s.Connect();
  ASSERT_EQ(s.State(), wsConnecting);
  try {
    s.SendStr("too early");
    FAIL() << "Send while connecting must raise";
  } catch (const ESocketException& e) {
    EXPECT_EQ(std::string(e.what()), "Error 10057 in function Send\r\nSocket is not connected");
  }
  const std::string port = s.Port();
  s.Close();
  // A close keeps the texts but marks them unset: the port must be given again.
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  EXPECT_EQ(s.Port(), port);
  s.SetAddr("127.0.0.1");
  try {
    s.Connect();
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(std::string(e.what()), "Connect: No Port Specified");
  }

  // With OnError assigned nothing is thrown.
  int errors = 0;
  s.OnError = [&](TCustomNetSocket*) { ++errors; };
  EXPECT_EQ(s.SendStr("x"), -1);
  EXPECT_EQ(errors, 1);
}

TEST(NetSocket, CloseDelayedInsideAHandlerKeepsTheSocketUsableUntilItReturns) {
  Connected c;
  bool usable = false;
  c.sock.OnDataAvailable = [&](TCustomNetSocket* s, int) {
    char buf[64];
    s->Receive(buf, sizeof(buf));
    s->CloseDelayed();
    usable = s->State() == wsConnected && s->SendStr("bye\r\n") == 5;
  };
  c.peer.Write("ping\r\n");
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
  EXPECT_TRUE(usable);
  bool reset = true;
  EXPECT_EQ(c.peer.ReadToEnd(&reset), "bye\r\n");
  EXPECT_FALSE(reset);
  EXPECT_EQ(c.rec.closed_count, 1);
}

TEST(NetSocket, PeerEndWithUnreadBytesDeliversThemBeforeOneClose) {
  // A reader that takes 3 bytes per event, with and without the receive loop.
  for (bool no_loop : {false, true}) {
    Connected c(3);
    if (no_loop) c.sock.ComponentOptions.Include(wsoNoReceiveLoop);
    c.peer.Write("0123456789");
    c.peer.Close();
    ASSERT_TRUE(PumpUntil([&] { return c.rec.closed_count > 0; })) << no_loop;
    test::PumpFor(20);
    EXPECT_EQ(c.rec.received, "0123456789") << no_loop;
    EXPECT_EQ(c.rec.closed_count, 1);
    EXPECT_EQ(c.rec.closed_error, 0);
    EXPECT_EQ(c.sock.State(), wsClosed);
  }
}

// With bytes from the peer left unread here, Close still delivers everything
// queued and a normal end; Abort drops the queue yet also ends normally; only
// AbortWithReset resets.
TEST(NetSocket, CloseDeliversTheQueueAbortDropsItAndOnlyTheResetResets) {
  for (int how : {0, 1, 2}) {
    Connected c;
    c.sock.OnDataAvailable = nullptr;
    c.sock.ComponentOptions.Include(wsoNoReceiveLoop);
    c.peer.Write(std::string(5000, 'u'));
    const std::string block(1 << 20, 'p');
    std::size_t sent = 0;
    for (; c.sock.QueuedBytes() == 0 && sent < (std::size_t{256} << 20); sent += block.size()) c.sock.SendStr(block);
    ASSERT_GT(c.sock.QueuedBytes(), 0);
    sent += c.sock.SendStr("LAST\r\n");
    if (how == 0) c.sock.Close();
    else if (how == 1) c.sock.Abort();
    else c.sock.AbortWithReset();
    EXPECT_EQ(c.sock.State(), wsClosed);
    EXPECT_EQ(c.rec.closed_count, 1);
    bool reset = how != 2;
    const std::string got = c.peer.ReadToEnd(&reset, 20000);
    EXPECT_EQ(reset, how == 2) << how;
    if (how == 0) EXPECT_TRUE(got.size() == sent && got.ends_with("LAST\r\n"));
    else EXPECT_LT(got.size(), sent) << how;
  }
}

// Every socket carries the proxy layer under line mode and the waiting loops
// above it.
static_assert(std::is_base_of_v<TCustomSocksNetSocket, TCustomLineNetSocket> &&
              std::is_base_of_v<TCustomLineNetSocket, TCustomSyncNetSocket> &&
              std::is_base_of_v<TCustomSyncNetSocket, TNetSocket>);

// A wait inside a program that is asked to end gives up at once, whatever
// its limit.
TEST(SyncWait, EndsWhenTheProgramIsAskedToQuit) {
  Connected c;
  std::string line = "unset";
  std::int64_t waited = -1;
  // The loop returns at its next event once asked to quit: a program always
  // has one coming, this test makes its own.
  QTimer tick;
  tick.start(20);
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(50, [] { platform::QuitApplication(); });
    const std::int64_t start = platform::TickCount();
    c.sock.ReadLine(30, line);
    waited = platform::TickCount() - start;
  });
  QCoreApplication::exec();
  EXPECT_GE(waited, 0);
  EXPECT_LT(waited, 15000);
  EXPECT_EQ(line, "");
  EXPECT_TRUE(c.sock.Terminated());
  bool done = false;
  EXPECT_EQ(c.sock.WaitUntilReady(done), 12001);
}

// A socket handed to a thread of its own serves that thread's event loop, and
// comes back to the GUI thread the same way.
TEST(NetSocket, ADetachedSocketServesTheThreadThatAttachesIt) {
  Connected c(8191, true);
  std::string lines;
  std::vector<std::thread::id> handler_threads;
  c.sock.OnDataAvailable = [&](TCustomNetSocket* s, int) {
    char buf[256];
    const int n = s->Receive(buf, sizeof buf);
    if (n <= 0) return;
    lines.append(buf, static_cast<std::size_t>(n));
    handler_threads.push_back(std::this_thread::get_id());
  };
  const auto texts_of = [](const std::function<void()>& call) {
    try {
      call();
    } catch (const ESocketException& e) {
      return std::string(e.what());
    }
    return std::string("nothing raised");
  };
  c.sock.ThreadDetach();
  c.peer.Write("ping\r\n");

  std::thread::id worker_id;
  bool got_ping = false;
  bool ends_with_thread = false;
  std::string attach_twice;
  bool done = false;
  std::unique_ptr<QThread> worker(QThread::create([&] {
    worker_id = std::this_thread::get_id();
    c.sock.ThreadAttach();
    c.sock.MultiThreaded = true;
    attach_twice = texts_of([&] { c.sock.ThreadAttach(); });
    got_ping = platform::ProcessMessagesUntil([&] { return lines == "ping\r\n"; }, 20000);
    c.sock.SendStr("pong\r\n");
    c.sock.MessagePump();
    const bool early_end = c.sock.Terminated();
    QThread::currentThread()->requestInterruption();
    c.sock.MessagePump();
    ends_with_thread = !early_end && c.sock.Terminated();
    c.sock.ThreadDetach();
    done = true;
  }));
  worker->start();
  ASSERT_TRUE(worker->wait(QDeadlineTimer(60000)));
  ASSERT_TRUE(done);
  EXPECT_TRUE(got_ping);
  EXPECT_TRUE(ends_with_thread);
  EXPECT_EQ(attach_twice, "Cannot attach when not detached");
  ASSERT_EQ(handler_threads.size(), 1u);
  EXPECT_EQ(handler_threads[0], worker_id);
  EXPECT_EQ(c.peer.Read(6), "pong\r\n");

  c.sock.ThreadAttach();
  c.peer.Write("again\r\n");
  ASSERT_TRUE(PumpUntil([&] { return lines == "ping\r\nagain\r\n"; }, 20000));
  EXPECT_EQ(handler_threads.back(), std::this_thread::get_id());
  c.sock.SendStr("back\r\n");
  EXPECT_EQ(c.peer.Read(6), "back\r\n");
  EXPECT_EQ(c.sock.State(), wsConnected);

  std::string detach_elsewhere;
  std::thread([&] { detach_elsewhere = texts_of([&] { c.sock.ThreadDetach(); }); }).join();
  EXPECT_EQ(detach_elsewhere, "Cannot detach from other thread");
}

TEST(NetSocket, PeerResetEndsTheConnectionOnce) {
  Connected c;
  c.peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return c.rec.closed_count > 0; }));
  test::PumpFor(20);
  EXPECT_EQ(c.rec.closed_count, 1);
  EXPECT_EQ(c.rec.closed_error, 10054);
  EXPECT_EQ(c.sock.State(), wsClosed);
}

// Exposes the socket's own message posting, to replay a notice from an
// earlier connection.
class ProbeSocket : public TNetSocket {
 public:
  using TNetSocket::PostMessage;
};

TEST(NetSocket, NoticesOfAnEarlierConnectionAreDropped) {
  RawPeer first;
  RawPeer second;
  ProbeSocket s;
  SocketRecorder rec;
  rec.Attach(s);
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(first.Listen()));
  s.Connect();
  ASSERT_TRUE(first.AcceptOne());
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
  const TSocket old_handle = s.HSocket();
  s.Abort();

  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(second.Listen()));
  s.Connect();
  ASSERT_TRUE(second.AcceptOne());
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
  const int closes = rec.closed_count;
  // The descriptor number is usually the same; the handle is not.
  EXPECT_NE(s.HSocket(), old_handle);
  s.PostMessage(WM_ASYNCSELECT, static_cast<std::uintptr_t>(old_handle),
                platform::net::MakeSelectReply(platform::net::FD_CLOSE, 0));
  s.PostMessage(WM_ASYNCSELECT, static_cast<std::uintptr_t>(old_handle),
                platform::net::MakeSelectReply(platform::net::FD_READ, 0));
  test::PumpFor(30);
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_EQ(rec.closed_count, closes);
  second.Write("still here\r\n");
  EXPECT_TRUE(PumpUntil([&] { return rec.received == "still here\r\n"; }));
}

TEST(NetSocket, ExceptionInAHandlerAbortsUnlessTheHandlerKeepsTheSocket) {
  for (bool keep : {false, true}) {
    Connected c;
    std::string seen;
    c.sock.OnBgException = [&](TCustomNetSocket*, const std::exception& e, bool& can_close) {
      seen = e.what();
      can_close = !keep;
    };
    c.sock.OnDataAvailable = [](TCustomNetSocket* s, int) {
      char buf[16];
      s->Receive(buf, sizeof(buf));
      throw std::runtime_error("handler failed");
    };
    c.peer.Write("x");
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, "handler failed");
    test::PumpFor(20);
    EXPECT_EQ(c.sock.State(), keep ? wsConnected : wsClosed) << keep;
  }
}

TEST(NetSocket, ReleaseFreesTheSocketAfterTheHandlerReturns) {
  RawPeer peer;
  const int port = peer.Listen();
  auto* s = new TNetSocket;
  bool released_later = false;
  s->SetAddr("127.0.0.1");
  s->SetPort(std::to_string(port));
  s->OnDataAvailable = [&](TCustomNetSocket* sock, int) {
    char buf[16];
    sock->Receive(buf, sizeof(buf));
    sock->Release();
    released_later = sock->State() == wsConnected;  // still alive here
  };
  s->Connect();
  ASSERT_TRUE(peer.AcceptOne());
  peer.Write("x");
  EXPECT_TRUE(peer.SeesEnd());  // freed, which closes it
  EXPECT_TRUE(released_later);
}

TEST(NetSocket, DottedLookupCompletesBeforeReturningAndNamesLater) {
  TNetSocket s;
  std::vector<int> done;
  s.OnDnsLookupDone = [&](TCustomNetSocket*, int e) { done.push_back(e); };
  s.DnsLookup(" 127.000.0.1 ");
  ASSERT_EQ(done, std::vector<int>{0});
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");

  done.clear();
  s.DnsLookup("localhost");
  EXPECT_TRUE(done.empty());
  ASSERT_TRUE(PumpUntil([&] { return !done.empty(); }));
  EXPECT_EQ(done, std::vector<int>{0});
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");

  // A cancelled look-up reports 10004 and its result never arrives.
  done.clear();
  s.DnsLookup("localhost");
  s.CancelDnsLookup();
  test::PumpFor(100);
  EXPECT_EQ(done, std::vector<int>{10004});
}

TEST(NetSocket, SocketsKeepWorkingWhileAHandlerRunsANestedLoop) {
  // Handlers show modal dialogs; other connections (and later lines of the
  // same one) must still be served meanwhile.
  Connected a(8191, true);
  Connected b(8191, true);
  std::vector<std::string> a_lines;
  bool nested_done = false;
  a.sock.OnDataAvailable = [&](TCustomNetSocket* s, int) {
    char buf[256];
    const int n = s->Receive(buf, sizeof(buf));
    if (n <= 0) return;
    a_lines.emplace_back(buf, static_cast<std::size_t>(n));
    if (a_lines.size() == 1) {
      b.peer.Write("during\r\n");
      a.peer.Write("second\r\n");
      nested_done = PumpUntil([&] { return b.rec.received == "during\r\n" && a_lines.size() == 2; });
    }
  };
  a.peer.Write("first\r\n");
  ASSERT_TRUE(PumpUntil([&] { return a_lines.size() >= 2; }));
  EXPECT_TRUE(nested_done);
  EXPECT_EQ(a_lines, (std::vector<std::string>{"first\r\n", "second\r\n"}));
}

// --- line mode ---------------------------------------------------------------

class LineProbe : public TNetSocket {
 public:
  using TNetSocket::NetworkBytesRead;
};

struct LinePair {
  RawPeer peer;
  LineProbe sock;
  std::vector<std::string> lines;  // one entry per OnDataAvailable that read something
  int closed = 0;
  std::size_t written = 0;

  explicit LinePair(int read_size) {
    const int port = peer.Listen();
    sock.SetLineMode(true);
    sock.OnDataAvailable = [this, read_size](TCustomNetSocket* s, int) {
      std::string buf(static_cast<std::size_t>(read_size), '\0');
      const int n = s->Receive(buf.data(), read_size);
      if (n > 0) lines.push_back(buf.substr(0, static_cast<std::size_t>(n)));
    };
    sock.OnSessionClosed = [this](TCustomNetSocket*, int) { ++closed; };
    sock.SetAddr("127.0.0.1");
    sock.SetPort(std::to_string(port));
    sock.Connect();
    EXPECT_TRUE(peer.AcceptOne());
    EXPECT_TRUE(PumpUntil([&] { return sock.State() == wsConnected; }));
  }

  // Writes one chunk and waits until our socket has read all of it, so each
  // chunk is a read of its own on our side.
  void Feed(const std::string& chunk) {
    peer.Write(chunk);
    written += chunk.size();
    EXPECT_TRUE(PumpUntil([&] { return sock.NetworkBytesRead() >= written; }));
    test::PumpFor(2);
  }
};

TEST(LineMode, ReassemblesLinesAtAnyByteBoundary) {
  const std::string long_line = std::string(4998, 'L') + "\r\n";
  struct Case {
    const char* name;
    int read_size;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
    bool edit = false;
  };
  const std::vector<Case> cases = {
      {"two frames in one read", 8191, {"  1006<>a\r\n  1006<>b\r\n"}, {"  1006<>a\r\n", "  1006<>b\r\n"}},
      {"line end split between reads", 8191, {"  1006<>abc\r", "\n  1006<>d\r\n"}, {"  1006<>abc\r\n", "  1006<>d\r\n"}},
      {"line split into single bytes", 8191, {"a", "b", "\r", "\n"}, {"ab\r\n"}},
      {"small reader takes a long line in pieces", 2047, {long_line.substr(0, 3000), long_line.substr(3000)},
       {long_line.substr(0, 2047), long_line.substr(2047, 2047), long_line.substr(4094)}},
      {"bytes without a line end wait", 8191, {"partial"}, {}},
      {"empty lines are lines", 8191, {"\r\n\r\nx\r\n"}, {"\r\n", "\r\n", "x\r\n"}},
      // Typed input: backspaces take back bytes held from earlier reads, and
      // the line end right behind them must still be seen.
      {"edited line", 8191, {"abcd", "\b\b\b\r\n"}, {"a\r\n"}, true},
      {"edited lines", 8191, {"abcd", "\b\b\b\r\n", "x\ty\r\n"}, {"a\r\n", "x       y\r\n"}, true},
  };
  for (const auto& c : cases) {
    LinePair p(c.read_size);
    p.sock.LineEdit = c.edit;
    for (const auto& chunk : c.chunks) p.Feed(chunk);
    EXPECT_EQ(p.lines, c.lines) << c.name;
    EXPECT_EQ(p.sock.State(), wsConnected) << c.name;
  }
}

TEST(LineMode, OverLongLineIsDroppedThroughItsEndAndTheLinkStays) {
  LinePair p(8191);
  int exceeded = 0;
  p.sock.OnLineLimitExceeded = [&](TCustomNetSocket*, int count, bool& clear) {
    ++exceeded;
    EXPECT_GT(count, 65536);
    EXPECT_TRUE(clear);
  };
  p.Feed("  1006<>before\r\n");
  // 70000 bytes without a line end, split so the end of the long line and the
  // next frames arrive in later reads: nothing of the long line is passed on.
  const std::string junk(70000, 'j');
  p.Feed(junk.substr(0, 40000));
  p.Feed(junk.substr(40000) + "  1006<>tail of the long line\r");
  p.Feed("\n  1006<>after\r\n");
  EXPECT_EQ(p.lines, (std::vector<std::string>{"  1006<>before\r\n", "  1006<>after\r\n"}));
  EXPECT_EQ(exceeded, 1);
  EXPECT_EQ(p.sock.State(), wsConnected);

  // The same limit holds for an over-long line that arrives whole in one read.
  LinePair w(8191);
  w.sock.LineLimit = 100;
  w.Feed("  1006<>" + std::string(150, 'w') + "\r\n  1006<>next\r\n");
  EXPECT_EQ(w.lines, (std::vector<std::string>{"  1006<>next\r\n"}));
  EXPECT_EQ(w.sock.State(), wsConnected);

  // A limit the owner refuses to clear ends the connection instead of growing.
  LinePair q(8191);
  q.sock.LineLimit = 100;
  q.sock.OnLineLimitExceeded = [](TCustomNetSocket*, int, bool& clear) { clear = false; };
  q.Feed(std::string(150, 'k'));
  EXPECT_TRUE(PumpUntil([&] { return q.sock.State() == wsClosed; }));
  EXPECT_TRUE(q.lines.empty());
  LinePair r(8191);
  r.sock.LineLimit = 100;
  r.sock.OnLineLimitExceeded = [](TCustomNetSocket*, int, bool& clear) { clear = false; };
  r.Feed(std::string(150, 'k') + "\r\n");
  EXPECT_TRUE(PumpUntil([&] { return r.sock.State() == wsClosed; }));
  EXPECT_TRUE(r.lines.empty());
}

TEST(LineMode, HeldBytesComeAsALastLineWhenThePeerEnds) {
  LinePair p(8191);
  p.peer.Write("one\r\ntwo\r\nabc");
  p.peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return p.closed > 0; }));
  EXPECT_EQ(p.lines, (std::vector<std::string>{"one\r\n", "two\r\n", "abc"}));
  EXPECT_EQ(p.closed, 1);
}

TEST(LineMode, SwitchingOffAndOnKeepsEveryByteInOrder) {
  // One write carries a command that announces 100 raw bytes, the raw bytes,
  // and two more command lines; the reader switches line mode off for the raw
  // part, asks never for more than it still expects, and switches it on again.
  const std::string raw = [] {
    std::string r;
    for (int i = 0; i < 100; ++i) r += static_cast<char>(i % 7 == 0 ? '\r' : (i % 5 == 0 ? '\n' : 'a' + i % 26));
    return r;
  }();
  for (bool split : {false, true}) {
    RawPeer peer;
    TNetSocket s;
    std::vector<std::string> events;
    int expected_raw = 0;
    s.SetLineMode(true);
    s.OnDataAvailable = [&](TCustomNetSocket* sock, int) {
      auto* line = static_cast<TNetSocket*>(sock);
      char buf[2048];
      if (!line->LineMode()) {
        const int n = sock->Receive(buf, std::min(2047, expected_raw));
        if (n <= 0) return;
        expected_raw -= n;
        events.push_back("raw " + std::string(buf, static_cast<std::size_t>(n)));
        if (expected_raw == 0) line->SetLineMode(true);
        return;
      }
      const int n = sock->Receive(buf, 2047);
      if (n <= 0) return;
      const std::string text(buf, static_cast<std::size_t>(n));
      events.push_back("line " + text);
      if (text.rfind("  1023<", 0) == 0) {
        expected_raw = 100;
        line->SetLineMode(false);
      }
    };
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(peer.Listen()));
    s.Connect();
    ASSERT_TRUE(peer.AcceptOne());
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
    // More lines follow the raw part than one turn hands out.
    std::string after;
    std::vector<std::string> expected = {"line   1023<100>\r\n"};
    for (int i = 0; i < 250; ++i) {
      after += "  1006<>" + std::to_string(i) + "\r\n";
      expected.push_back("line   1006<>" + std::to_string(i) + "\r\n");
    }
    expected.push_back("line   1006<>y\r\n");
    const std::string all = "  1023<100>\r\n" + raw + after + "  1006<>y\r\n";
    if (split) {
      peer.Write(all.substr(0, 40));
      test::PumpFor(20);
      peer.Write(all.substr(40));
    } else {
      peer.Write(all);
    }
    ASSERT_TRUE(PumpUntil([&] { return events.size() >= 4 && events.back() == "line   1006<>y\r\n"; })) << split;
    std::string raw_seen;
    std::vector<std::string> lines;
    for (const auto& e : events) {
      if (e.rfind("raw ", 0) == 0) raw_seen += e.substr(4);
      else lines.push_back(e);
    }
    EXPECT_EQ(raw_seen, raw) << split;
    EXPECT_EQ(lines, expected) << split;
  }
}

// --- hostile peers ------------------------------------------------------------

// Accepts every caller into a line-mode socket whose handler the test gives.
struct Acceptor {
  TNetSocket listener;
  std::vector<std::unique_ptr<TNetSocket>> links;
  std::function<void(TNetSocket&)> on_data;
  std::vector<int> close_errors;

  int Listen() {
    const int port = test::FreePort();
    listener.OnSessionAvailable = [this](TCustomNetSocket* l, int) {
      links.push_back(std::make_unique<TNetSocket>());
      TNetSocket* s = links.back().get();
      s->SetLineMode(true);
      s->OnDataAvailable = [this, s](TCustomNetSocket*, int) { on_data(*s); };
      s->OnSessionClosed = [this](TCustomNetSocket*, int e) { close_errors.push_back(e); };
      s->Dup(l->Accept());
    };
    listener.SetAddr("127.0.0.1");
    listener.SetPort(std::to_string(port));
    listener.Listen();
    return port;
  }
};

// A peer that sends without pause must not freeze the program: the event
// loop is never held a second (so a second link and a timer are served), and
// the flood itself arrives whole, every line in one piece and in order. Lines
// that each cost their handler a few milliseconds (a line of pictures laid
// out) end a turn by its time, not only by their number, so the loop is held
// far less. The holds are the loop's own (platform::THoldMeter): a busy
// machine that keeps this process waiting for a processor does not count.
TEST(ReceiveFairness, AFloodLeavesOtherLinksAndTimersServed) {
  enum Mode { kLines, kDearLines, kRaw };
  for (const Mode mode : {kLines, kDearLines, kRaw}) {
    const bool raw = mode == kRaw;
    SCOPED_TRACE(raw ? "raw phase" : mode == kDearLines ? "dear lines" : "line mode");
    Acceptor acc;
    std::map<TNetSocket*, std::string> role;
    std::size_t ticks = 0, timer_fires = 0;
    long long flood_lines = 0, raw_bytes = 0, damaged = 0;
    acc.on_data = [&](TNetSocket& s) {
      char buf[2047];
      const int n = s.Receive(buf, sizeof(buf));
      if (n <= 0) return;
      const std::string got(buf, static_cast<std::size_t>(n));
      std::string& r = role[&s];
      if (r.empty()) {
        r = got;
        if (raw && r == "  1006<>flood\r\n") s.SetLineMode(false);
      } else if (r == "  1006<>tick\r\n") {
        ++ticks;
      } else if (!raw) {
        if (got != "  1006<>" + std::to_string(flood_lines % 100000) + "\r\n") ++damaged;
        if (mode == kDearLines && flood_lines < 200) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ++flood_lines;
      } else {
        for (const char c : got) damaged += static_cast<unsigned char>(c) != raw_bytes++ % 251;
      }
    };
    TTimer timer;
    timer.SetInterval(20);
    timer.OnTimer = [&](TTimer*) { ++timer_fires; };
    const int port = acc.Listen();
    const platform::THoldMeter holds(1000, nullptr);

    test::HostilePeer flood({"flood", std::to_string(port), "1.5", raw ? "--raw" : "line"});
    ASSERT_TRUE(PumpUntil([&] { return acc.close_errors.size() == 2; }, 60000));
    const std::string sent = flood.ReadLine();
    timer.SetEnabled(false);

    // A hundred dear lines in one turn would hold the loop for half a
    // second; a turn ends after a few milliseconds of them.
    EXPECT_LT(holds.Longest(), mode == kDearLines ? 300 : 1000);
    EXPECT_GT(ticks, 10u);
    EXPECT_GT(timer_fires, 10u);
    EXPECT_EQ(damaged, 0);
    EXPECT_EQ(sent, "SENT " + std::to_string(raw ? raw_bytes : flood_lines));
  }
}

// A peer that never reads must not make us queue without end: past its bound
// the link is reset, with error 10055 and a line in the log. A sender that
// hands over a whole package with one Send raises the bound for it.
TEST(SendQueue, APeerThatNeverReadsIsCutOffAtTheBound) {
  constexpr std::int64_t kMiB = 1 << 20;
  struct Row {
    const char* name;
    const char* peer;
    std::int64_t limit;
    std::int64_t block;  // sent again and again until the link closes or 64 MiB went
    bool closes;
  };
  const std::vector<Row> rows = {
      {"answers pile up for a mute peer", "mute", TCustomNetSocket::kDefaultSendQueueLimit, kMiB / 4, true},
      {"one package under a raised bound", "drain", 48 * kMiB, 40 * kMiB, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> logged;
    platform::SetLogSink([&](const std::string& line) { logged.push_back(line); });
    Acceptor acc;
    acc.on_data = [](TNetSocket& s) {
      char buf[64];
      s.Receive(buf, sizeof(buf));
    };
    test::HostilePeer peer({row.peer, std::to_string(acc.Listen())});
    ASSERT_TRUE(PumpUntil([&] { return acc.links.size() == 1 && acc.links[0]->State() == wsConnected; }));
    TNetSocket& s = *acc.links[0];
    s.SendQueueLimit = row.limit;
    const std::string block(static_cast<std::size_t>(row.block), 'q');
    std::int64_t sent = 0;
    PumpUntil(
        [&] {
          if (s.State() == wsConnected && sent < 64 * kMiB && s.SendStr(block) > 0) sent += row.block;
          return s.State() != wsConnected || sent >= 64 * kMiB || (!row.closes && sent > 0);
        },
        30000);
    if (row.closes) {
      EXPECT_EQ(acc.close_errors, std::vector<int>{platform::net::WSAENOBUFS});
      EXPECT_LE(sent, row.limit + 16 * kMiB);  // what the system buffers took beside the bound
      ASSERT_EQ(logged.size(), 1u);
      EXPECT_NE(logged[0].find("Send queue to 127.0.0.1:"), std::string::npos) << logged[0];
    } else {
      s.Close();
      EXPECT_EQ(peer.ReadLine(), "READ " + std::to_string(row.block) + " fin");
      EXPECT_TRUE(logged.empty());
    }
    platform::SetLogSink(nullptr);
  }
}

}  // namespace
