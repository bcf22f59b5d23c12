#include "transport/NetSocket.h"

#include <gtest/gtest.h>

#include "transport/http_socks_helpers.h"

using namespace httpsocks;

namespace {

// What the socket told its owner while it went through the proxy.
struct Events {
  std::vector<int> socks_connected;
  std::vector<int> session_connected;
  std::vector<int> session_closed;
  std::vector<std::pair<int, std::string>> socks_errors;
  std::vector<TSocksAuthState> auth_states;

  void Attach(TSocksNetSocket& s) {
    s.OnSocksConnected = [this](TCustomNetSocket*, int e) { socks_connected.push_back(e); };
    s.OnSessionConnected = [this](TCustomNetSocket*, int e) { session_connected.push_back(e); };
    s.OnSessionClosed = [this](TCustomNetSocket*, int e) { session_closed.push_back(e); };
    s.OnSocksError = [this](TCustomNetSocket*, int e, const std::string& m) { socks_errors.emplace_back(e, m); };
    s.OnSocksAuthState = [this](TCustomNetSocket*, TSocksAuthState a) { auth_states.push_back(a); };
  }
};

void Aim(TSocksNetSocket& s, const std::string& level, int proxy_port, const std::string& target, int target_port,
         const std::string& server = "127.0.0.1") {
  s.SetSocksServer(server);
  s.SetSocksPort(std::to_string(proxy_port));
  s.SetSocksLevel(level);
  s.SetAddr(target);
  s.SetPort(std::to_string(target_port));
}

class SocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    echo_port_ = echo_.Start("socks_test_peer.py", {"echo"});
    ASSERT_NE(echo_port_, 0);
  }
  ScriptPeer echo_;
  int echo_port_ = 0;
};

}  // namespace

// Through each real proxy (and the scripted one for what the real ones do not
// offer) to an echo server: the line sent comes back through the tunnel.
TEST_F(SocksTest, ConnectsThroughProxiesToEchoServer) {
  Microsocks plain, with_auth;
  Dante dante;
  ScriptPeer scripted, split, longname, banner;
  const int plain_port = plain.Start();
  const int auth_port = with_auth.Start("parlo", "s3cret");
  const int dante_port = dante.Start(FreeLoopbackPort());
  ASSERT_NE(plain_port, 0) << "microsocks did not start";
  ASSERT_NE(auth_port, 0);
  ASSERT_NE(dante_port, 0) << "danted did not start";
  const int scripted_port = scripted.Start("socks_test_peer.py", {"proxy"});
  const int split_port = split.Start("socks_test_peer.py", {"proxy", "--split"});
  const int longname_port = longname.Start("socks_test_peer.py", {"proxy", "--longname", "--split"});
  const int banner_port = banner.Start("socks_test_peer.py", {"proxy", "--banner", "WELCOME"});

  struct Case {
    std::string name, level;
    int proxy_port;
    std::string user, pass, target, first_line;
  } cases[] = {
      {"microsocks 5", "5", plain_port, "", "", "127.0.0.1", ""},
      {"microsocks 5 authenticated", "5", auth_port, "parlo", "s3cret", "127.0.0.1", ""},
      {"dante 4", "4", dante_port, "", "", "127.0.0.1", ""},
      {"dante 4 target by name", "4", dante_port, "", "", "localhost", ""},
      {"dante 5", "5", dante_port, "", "", "127.0.0.1", ""},
      {"scripted 4A", "4A", scripted_port, "me", "", "localhost", ""},
      {"scripted 5 split reply", "5", split_port, "", "", "127.0.0.1", ""},
      {"scripted 4 split reply", "4", split_port, "", "", "127.0.0.1", ""},
      {"scripted 5 longest reply", "5", longname_port, "", "", "127.0.0.1", ""},
      {"scripted 5 data behind reply", "5", banner_port, "", "", "127.0.0.1", "WELCOME\r\n"},
      {"scripted 4 data behind reply", "4", banner_port, "", "", "127.0.0.1", "WELCOME\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSocksNetSocket s;
    Events ev;
    ev.Attach(s);
    std::string raw;
    s.OnDataAvailable = [&](TCustomNetSocket* sock, int) { raw += sock->ReceiveStr(); };
    Aim(s, c.level, c.proxy_port, c.target, echo_port_);
    s.SocksUsercode = c.user;
    s.SocksPassword = c.pass;
    if (!c.pass.empty()) s.SocksAuthentication = socksAuthenticateUsercode;
    s.Connect();
    ASSERT_TRUE(httpsocks::PumpUntil([&] { return !ev.session_connected.empty() || !ev.session_closed.empty(); }));
    ASSERT_EQ(ev.session_connected, std::vector<int>{0}) << (ev.socks_errors.empty() ? "" : ev.socks_errors[0].second);
    EXPECT_EQ(ev.socks_connected, std::vector<int>{0});
    if (s.SocksAuthentication == socksAuthenticateUsercode) {
      EXPECT_EQ(ev.auth_states, (std::vector<TSocksAuthState>{socksAuthStart, socksAuthSuccess}));
    }
    // What the far end sent right behind the proxy's reply is the owner's.
    EXPECT_TRUE(httpsocks::PumpUntil([&] { return raw == c.first_line; }, c.first_line.empty() ? 0 : 3000)) << raw;
    std::string line;
    s.SendStr("hello through " + c.name + "\r\n");
    s.ReadLine(5, line);
    EXPECT_EQ(line, "hello through " + c.name + "\r\n");
    s.Close();
    EXPECT_EQ(ev.session_closed.size(), 1u);
  }
}

// A proxy that refuses: the owner hears the reason and a close, never a
// connection.
TEST_F(SocksTest, RefusalsEndInSocksErrorAndClose) {
  Microsocks with_auth;
  Dante dante;
  ScriptPeer badversion, refusing, authextra;
  const int blocked = FreeLoopbackPort();
  const int auth_port = with_auth.Start("parlo", "s3cret");
  const int dante_port = dante.Start(blocked);
  const int bad_port = badversion.Start("socks_test_peer.py", {"proxy", "--badversion"});
  const int refuse_port = refusing.Start("socks_test_peer.py", {"proxy", "--refuse", "5"});
  const int authextra_port = authextra.Start("socks_test_peer.py", {"proxy", "--authextra"});
  ASSERT_NE(auth_port, 0);
  ASSERT_NE(dante_port, 0);

  struct Case {
    std::string name, level;
    int proxy_port;
    std::string user, pass;
    int target_port;
    int error;
  } cases[] = {
      {"microsocks wrong password", "5", auth_port, "parlo", "wrong", echo_port_, socksAuthenticationFailed},
      {"microsocks without authentication", "5", auth_port, "", "", echo_port_, socksAuthMethodError},
      {"dante 5 ruleset", "5", dante_port, "", "", blocked, socks5Refused + 2},
      {"dante 4 ruleset", "4", dante_port, "", "", blocked, socks4Refused + 1},
      {"wrong version 5", "5", bad_port, "", "", echo_port_, socksVersionError},
      {"wrong version 4", "4", bad_port, "", "", echo_port_, socksVersionError},
      {"refused 5", "5", refuse_port, "", "", echo_port_, socks5Refused + 5},
      {"answer to the credentials too long", "5", authextra_port, "u", "p", echo_port_, socksProtocolError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSocksNetSocket s;
    Events ev;
    ev.Attach(s);
    Aim(s, c.level, c.proxy_port, "127.0.0.1", c.target_port);
    if (!c.user.empty()) {
      s.SocksAuthentication = socksAuthenticateUsercode;
      s.SocksUsercode = c.user;
      s.SocksPassword = c.pass;
    }
    s.Connect();
    ASSERT_TRUE(httpsocks::PumpUntil([&] { return !ev.session_closed.empty(); }));
    ASSERT_EQ(ev.socks_errors.size(), 1u);
    EXPECT_EQ(ev.socks_errors[0].first, c.error) << ev.socks_errors[0].second;
    EXPECT_TRUE(ev.session_connected.empty());
    EXPECT_EQ(ev.session_closed, std::vector<int>{c.error});
    EXPECT_EQ(s.State(), wsClosed);
  }
}

TEST_F(SocksTest, ProxyByNameAndProxyThatRefuses) {
  Microsocks plain;
  const int port = plain.Start();
  ASSERT_NE(port, 0);
  TSocksNetSocket s;
  Events ev;
  ev.Attach(s);
  Aim(s, "5", port, "127.0.0.1", echo_port_, "localhost");
  s.Connect();
  ASSERT_TRUE(httpsocks::PumpUntil([&] { return !ev.session_connected.empty(); }));
  EXPECT_EQ(ev.session_connected, std::vector<int>{0});

  // No proxy listening: the owner hears the refusal as from a direct connect.
  TSocksNetSocket refused;
  Events ev2;
  ev2.Attach(refused);
  Aim(refused, "5", FreeLoopbackPort(), "127.0.0.1", echo_port_);
  refused.Connect();
  ASSERT_TRUE(httpsocks::PumpUntil([&] { return !ev2.session_closed.empty(); }));
  EXPECT_EQ(ev2.socks_connected, std::vector<int>{10061});
  EXPECT_EQ(ev2.session_connected, std::vector<int>{10061});
}

TEST_F(SocksTest, MisuseIsRefused) {
  TSocksNetSocket s;
  for (const char* bad : {"6", "4a", " 5"}) EXPECT_THROW(s.SetSocksLevel(bad), ESocketException) << bad;
  s.SetSocksLevel("4A");
  EXPECT_EQ(s.SocksLevel(), "4A");
  s.SetSocksServer("127.0.0.1");
  s.SetAddr("127.0.0.1");
  s.SetPort("1");
  EXPECT_THROW(s.Listen(), ESocketException);
  s.SetProto("udp");
  EXPECT_THROW(s.Connect(), ESocketException);
  std::string line;
  EXPECT_THROW(s.ReadLine(1, line), ESocketException);
}

// Without a line end the wait ends at its limit with what came so far, and
// the owner's own handler gets what follows.
TEST_F(SocksTest, ReadLineTimesOutWithHeldBytes) {
  TSocksNetSocket s;
  Events ev;
  ev.Attach(s);
  std::string raw;
  s.OnDataAvailable = [&](TCustomNetSocket* sock, int) { raw += sock->ReceiveStr(); };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(echo_port_));
  s.Connect();
  ASSERT_TRUE(httpsocks::PumpUntil([&] { return !ev.session_connected.empty(); }));
  s.SendStr("partial");
  std::string line;
  const auto start = platform::TickCount();
  s.ReadLine(-300, line);
  EXPECT_GE(platform::TickCount() - start, 250);
  EXPECT_EQ(line, "partial");
  EXPECT_FALSE(s.LineMode());
  s.SendStr("one\r\ntwo\r\n");
  s.ReadLine(5, line);
  EXPECT_EQ(line, "one\r\n");
  EXPECT_TRUE(httpsocks::PumpUntil([&] { return raw == "two\r\n"; }, 3000)) << "[" << raw << "]";
}
