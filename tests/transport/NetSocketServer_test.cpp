#include "transport/NetSocketServer.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "transport/Transport_helpers.h"

namespace {

using test::PumpUntil;
using test::RawPeer;

struct ServerLog {
  std::vector<std::string> created;
  std::vector<std::string> connected;
  std::vector<std::string> disconnected;

  void Attach(TNetSocketServer& srv) {
    srv.OnClientCreate = [this](TCustomNetSocketServer*, TNetSocketClient* c) {
      // Before the name and the server are given.
      created.push_back(c->Name() + (c->Server() != nullptr ? "+server" : ""));
    };
    srv.OnClientConnect = [this](TCustomNetSocketServer*, TNetSocketClient* c, int) { connected.push_back(c->Name()); };
    srv.OnClientDisconnect = [this](TCustomNetSocketServer*, TNetSocketClient* c, int) {
      disconnected.push_back(c->Name());
    };
  }
};

int StartListening(TNetSocketServer& srv) {
  const int port = test::FreePort();
  srv.SetAddr("127.0.0.1");
  srv.SetPort(std::to_string(port));
  srv.Listen();
  EXPECT_EQ(srv.State(), wsListening);
  return port;
}

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out.empty() ? "-" : out;
}

// Runs the independent Python caller while our event loop keeps serving.
std::vector<std::string> RunCallers(int port, int count) {
  const char* src = std::getenv("PARLO_SOURCE_DIR");
  std::string script = src ? std::string(src) + "/tests/support/tcp_callers.py" : std::string();
  if (script.empty()) {
    // Found beside this file when the environment does not say where the tree is.
    const std::string here = __FILE__;
    script = here.substr(0, here.rfind('/')) + "/../support/tcp_callers.py";
  }
  QProcess proc;
  proc.start("python3", QStringList{QString::fromStdString(script), QString::number(port), QString::number(count)});
  EXPECT_TRUE(proc.waitForStarted(5000));
  EXPECT_TRUE(PumpUntil([&] { return proc.state() == QProcess::NotRunning; }, 20000));
  const std::string errors = proc.readAllStandardError().toStdString();
  EXPECT_TRUE(errors.empty()) << errors;
  std::vector<std::string> lines;
  std::istringstream out(proc.readAllStandardOutput().toStdString());
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  return lines;
}

TEST(NetSocketServer, GreetsCallersAndTurnsAwayThoseBeyondTheLimit) {
  TNetSocketServer srv;
  srv.SetName("Srv");
  srv.Banner = "Welcome";
  srv.BannerToBusy = "Busy";
  srv.MaxClients = 2;
  ServerLog log;
  log.Attach(srv);
  const int port = StartListening(srv);

  const auto lines = RunCallers(port, 3);
  // The busy caller gets its banner and a normal end, not a reset.
  EXPECT_EQ(lines, (std::vector<std::string>{"1 open " + Hex("Welcome\r\n"), "2 open " + Hex("Welcome\r\n"),
                                             "3 fin " + Hex("Busy\r\n")}));
  EXPECT_EQ(log.created, (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(log.connected, (std::vector<std::string>{"SrvClient1", "SrvClient2", "SrvClient3"}));
  ASSERT_TRUE(PumpUntil([&] { return log.disconnected.size() == 3; }));
  EXPECT_EQ(srv.ClientCount(), 0);
  EXPECT_EQ(srv.State(), wsListening);

  // Numbering goes on after earlier clients have gone.
  RawPeer late;
  ASSERT_TRUE(late.Connect(port));
  ASSERT_TRUE(PumpUntil([&] { return srv.ClientCount() == 1; }));
  EXPECT_EQ(srv.Client(0)->Name(), "SrvClient4");
  EXPECT_EQ(srv.FindComponent("srvclient4"), srv.Client(0));
  EXPECT_EQ(srv.Client(1), nullptr);
  EXPECT_EQ(srv.Client(-1), nullptr);
  EXPECT_EQ(late.Read(9), "Welcome\r\n");
}

TEST(NetSocketServer, EachClientDisconnectsOnceWhoeverCloses) {
  TNetSocketServer srv;
  srv.SetName("Room");
  srv.Banner.clear();  // greets with nothing
  ServerLog log;
  log.Attach(srv);
  const int port = StartListening(srv);

  RawPeer a, b;
  ASSERT_TRUE(a.Connect(port));
  ASSERT_TRUE(PumpUntil([&] { return srv.ClientCount() == 1; }));
  ASSERT_TRUE(b.Connect(port));
  ASSERT_TRUE(PumpUntil([&] { return srv.ClientCount() == 2; }));
  TNetSocketClient* first = srv.Client(0);
  const std::string first_port = first->GetPeerPort();

  // Closed by the server: the object outlives its own close event.
  bool alive_in_close = false;
  first->OnSessionClosed = [&](TCustomNetSocket* s, int) {
    alive_in_close = srv.IsClient(static_cast<TNetSocketClient*>(s));
  };
  first->Close();
  EXPECT_TRUE(alive_in_close);
  EXPECT_TRUE(a.SeesEnd());
  // Closed by the peer.
  b.Close();
  ASSERT_TRUE(PumpUntil([&] { return log.disconnected.size() == 2; }));
  test::PumpFor(30);
  EXPECT_EQ(log.disconnected, (std::vector<std::string>{"RoomClient1", "RoomClient2"}));
  EXPECT_EQ(srv.ClientCount(), 0);
  EXPECT_NE(first_port, "error");
  EXPECT_EQ(a.Read(1, 50), "");  // nothing was sent with an empty banner
}

TEST(NetSocketServer, ListenerComesBackOnItsPortRightAfterClosing) {
  TNetSocketServer srv;
  const int port = StartListening(srv);
  RawPeer caller;
  ASSERT_TRUE(caller.Connect(port));
  ASSERT_TRUE(PumpUntil([&] { return srv.ClientCount() == 1; }));
  // The server side ends first, so its end of the connection lingers in the
  // closing wait; the port must still be free for a new listener.
  srv.Client(0)->Close();
  EXPECT_TRUE(caller.SeesEnd());
  caller.Close();
  srv.Close();
  test::PumpFor(20);
  srv.SetAddr("127.0.0.1");
  srv.SetPort(std::to_string(port));
  srv.Listen();
  EXPECT_EQ(srv.State(), wsListening);
  EXPECT_EQ(srv.GetXPort(), std::to_string(port));
}

// Not in the sanitizer builds: their checks open descriptors of their own (a
// pipe to probe memory), and this test takes every one there is.
#ifndef __SANITIZE_ADDRESS__
TEST(NetSocketServer, FailedAcceptDropsTheClientAndKeepsListening) {
  TNetSocketServer srv;
  srv.SetName("Srv");
  srv.MaxClients = 1;
  ServerLog log;
  log.Attach(srv);
  std::vector<std::string> logged;
  platform::SetLogSink([&](const std::string& line) { logged.push_back(line); });
  const int port = StartListening(srv);

  test::PumpFor(200);  // let earlier tests' closing sockets finish
  RawPeer caller;
  // Run out of descriptors: the caller's socket exists, the server's accept
  // cannot get one.
  ASSERT_TRUE(caller.Connect(port));
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  const int lowest_free = dup(0);
  close(lowest_free);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest_free);
  setrlimit(RLIMIT_NOFILE, &tight);
  std::vector<int> fillers;  // take any descriptor below the limit that is still free
  for (int fd; (fd = dup(0)) >= 0;) fillers.push_back(fd);
  const bool logged_failure = PumpUntil([&] { return !logged.empty(); }, 3000);
  const int clients_during = srv.ClientCount();
  for (int fd : fillers) close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);
  platform::SetLogSink(nullptr);

  EXPECT_TRUE(logged_failure);
  EXPECT_EQ(clients_during, 0);
  ASSERT_FALSE(logged.empty());
  EXPECT_NE(logged[0].find("error 10024"), std::string::npos) << logged[0];
  // With descriptors back, the same caller is taken and greeted normally:
  // the failed attempt did not count toward the limit.
  EXPECT_EQ(caller.Read(19), "Welcome to TcpSrv\r\n");
  EXPECT_EQ(srv.ClientCount(), 1);
  EXPECT_EQ(srv.State(), wsListening);
}
#endif

// Callers that never hang up must not use up the program's descriptors: the
// closes waiting on them are capped, the listener stops short of a reserve
// that the program's own files and links still open from, the log gets a
// line per attack rather than per caller, and once the callers go every
// descriptor comes back.
TEST(NetSocketServer, CallersThatNeverHangUpLeaveDescriptorsToSpare) {
  struct Row {
    const char* name;
    int max_clients;      // beyond it callers are told so and closed
    int descriptor_room;  // the limit is set this far above what is open; 0: left as it is
  };
  const std::vector<Row> rows = {
      {"turned-away callers linger", 1, 0},
      {"silent callers near the descriptor limit", 0, 80},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> logged;
    platform::SetLogSink([&](const std::string& line) { logged.push_back(line); });
    TNetSocketServer srv;
    srv.MaxClients = row.max_clients;
    const int port = StartListening(srv);
    test::PumpFor(100);  // earlier closes finish
    const int level = test::OpenDescriptors();
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    if (row.descriptor_room > 0) {
      rlimit tight = saved;
      tight.rlim_cur = static_cast<rlim_t>(level + row.descriptor_room);
      setrlimit(RLIMIT_NOFILE, &tight);
    }
    int spare = 0;
    {
      test::HostilePeer callers({"hold", std::to_string(port), "200"});
      const std::string held = callers.ReadLine(60000);
      // What could the program still open now?
      std::vector<int> probes;
      for (int fd; probes.size() < 64 && (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) probes.push_back(fd);
      spare = static_cast<int>(probes.size());
      for (int fd : probes) ::close(fd);
      EXPECT_EQ(held.rfind("HELD 200 ", 0), 0u) << held;
      EXPECT_LE(platform::net::LingeringCloseCount(), 128);
      EXPECT_LE(test::OpenDescriptors(), level + 128 + 16);
      if (row.descriptor_room > 0) {
        EXPECT_TRUE(platform::net::DescriptorsScarce());
        EXPECT_NE(held.find(" RESET "), std::string::npos);
        EXPECT_EQ(held.find(" RESET 0"), std::string::npos) << held;
      } else {
        EXPECT_GE(platform::net::LingeringCloseCount(), 100);
        EXPECT_EQ(held, "HELD 200 GREETED 200 RESET 0");
      }
      callers.EndInput();
      EXPECT_EQ(callers.ReadLine(), "DONE");
      EXPECT_TRUE(PumpUntil([&] { return callers.Finished(); }));
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_GE(spare, 16);
    EXPECT_TRUE(PumpUntil([&] { return test::OpenDescriptors() <= level; }, 5000))
        << test::OpenDescriptors() << " open, " << level << " before";
    EXPECT_LE(logged.size(), 2u);
    platform::SetLogSink(nullptr);
  }
}

}  // namespace
