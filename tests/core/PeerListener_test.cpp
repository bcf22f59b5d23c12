#include "core/PeerListener.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "Widgets_helpers.h"
#include "core/Blocked.h"
#include "platform/StringList.h"
#include "platform/EventLoop.h"
#include "transport/CmdParser.h"
#include "transport/ParloSocket.h"

namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
  socklen_t len = sizeof(sa);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  ::close(fd);
  return ntohs(sa.sin_port);
}

// A caller on the loopback: collects the lines the listener sends and
// notices when the listener closes the link.
struct Caller {
  TParloSocket socket;
  std::vector<std::string> lines;
  bool closed = false;

  explicit Caller(const std::string& port) {
    socket.OnDataAvailable = [this](TCustomNetSocket*, int) {
      const std::string line = socket.ReceiveStr();
      if (!line.empty()) lines.push_back(TCmdParser::CleanLine(line));
    };
    socket.OnSessionClosed = [this](TCustomNetSocket*, int) { closed = true; };
    socket.SetAddr("127.0.0.1");
    socket.SetPort(port);
    socket.Connect();
  }
  bool WaitLines(size_t n, int ms = 3000) {
    return platform::ProcessMessagesUntil([&] { return lines.size() >= n; }, ms);
  }
  bool WaitClosed(int ms = 3000) {
    return platform::ProcessMessagesUntil([&] { return closed; }, ms);
  }
};

struct Fixture {
  TPeerAnswerSettings settings;
  std::vector<std::string> blocked, friends;
  int decision = 1;
  int asked = 0, accepted = 0;
  std::vector<int> sounds, peerRequests;
  std::vector<std::string> info, log;
  std::function<void()> duringDialog;
  std::unique_ptr<TPeerListener> listener;
  std::string port;

  Fixture() {
    testing_support::WidgetApp();
    TPeerListenerHooks h;
    h.LogError = [this](const std::string&, const std::string&, const std::string& m) { log.push_back(m); };
    h.Settings = [this] { return settings; };
    h.IsUserBlocked = [this](const std::string& record) {
      TStringList list;
      for (const auto& id : blocked) list.Add(id + ",Someone");
      return TBlockedUsers::IsUserBlocked(list, record);
    };
    h.IsFriend = [this](const std::string& id) { return std::find(friends.begin(), friends.end(), id) != friends.end(); };
    h.PlayEventSound = [this](int e) { sounds.push_back(e); };
    h.AskRequest = [this](const std::string&) {
      ++asked;
      if (duringDialog) duringDialog();
      return decision;
    };
    h.AcceptPrivateChat = [this](const std::string&, TParloSocket& s) {
      ++accepted;
      s.SendCommand(1002, "own-record", "");
      return false;
    };
    h.ShowInformation = [this](const std::string& text, const std::string& caption) { info.push_back(caption + ": " + text); };
    h.PeerRequest = [this](int code, const std::string&, TParloSocket& s) {
      peerRequests.push_back(code);
      s.Close();
    };
    listener = std::make_unique<TPeerListener>(h);
    port = std::to_string(FreePort());
    listener->Start(port);
  }
  bool WaitNoSockets(int ms = 3000) {
    return platform::ProcessMessagesUntil([&] { return listener->LiveSockets() == 0; }, ms);
  }
};

const std::string kRecord = "41000001||Caller||Ann||Lee";

TEST(PeerListener, AnswersAFirstCommandByStatusBlockListAutoAcceptAndDialog) {
  struct Case {
    const char* name;
    int status;
    std::string first;          // the caller's first frame
    std::vector<std::string> blocked, friends;
    bool autoChat, autoOnly;
    int decision;
    std::vector<std::string> reply;  // after the greeting
    int asked, accepted;
    std::vector<int> sounds, peerRequests;
  };
  const std::string req = "  1001<" + kRecord + ">\r\n";
  const std::vector<Case> cases = {
      {"invisible says nothing", 2, req, {}, {}, false, false, 1, {}, 0, 0, {}, {}},
      {"away", 3, req, {}, {}, false, false, 1, {"1004<gone>"}, 0, 0, {}, {}},
      {"blocked: no reply", 0, req, {"41000001"}, {}, true, false, 0, {}, 0, 0, {}, {}},
      {"blocked id is compared whole", 0, req, {"4100000"}, {}, false, false, 1, {"1005<>"}, 1, 0, {}, {}},
      {"dialog rejects", 0, req, {}, {}, false, false, 1, {"1005<>"}, 1, 0, {}, {}},
      {"dialog busy", 0, req, {}, {}, false, false, 2, {"1004<busy$c please>"}, 1, 0, {}, {}},
      {"dialog accepts", 0, req, {}, {}, false, false, 0, {"1002<own-record>"}, 1, 1, {}, {}},
      {"dialog without a decision, closed by the time-out", 0, req, {}, {}, false, false, 7, {}, 1, 0, {}, {}},
      {"auto-accept anyone", 0, req, {}, {}, true, false, 1, {"1002<own-record>"}, 0, 1, {2}, {}},
      {"auto-accept friends: a friend", 0, req, {}, {"41000001"}, true, true, 1, {"1002<own-record>"}, 0, 1, {2}, {}},
      {"auto-accept friends: a stranger asks", 0, req, {}, {"4100000"}, true, true, 1, {"1005<>"}, 1, 0, {}, {}},
      {"unknown first code", 0, "  1002<x>\r\n", {}, {}, false, false, 1, {}, 0, 0, {}, {}},
      {"garbage", 0, "hello\r\n", {}, {}, false, false, 1, {}, 0, 0, {}, {}},
      {"file offer goes to its handler", 0, "  1020<x>\r\n", {}, {}, false, false, 1, {}, 0, 0, {}, {1020}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.listener->SetIdleTimeout(300);
    f.settings = {c.status, "busy$c please", "gone", "later", c.autoChat, c.autoOnly};
    f.blocked = c.blocked;
    f.friends = c.friends;
    f.decision = c.decision;
    Caller caller(f.port);
    ASSERT_TRUE(caller.WaitLines(1));
    EXPECT_EQ(caller.lines[0], "1000<>");
    caller.socket.SendStr(c.first);
    EXPECT_TRUE(caller.WaitClosed());
    std::vector<std::string> reply(caller.lines.begin() + 1, caller.lines.end());
    EXPECT_EQ(reply, c.reply);
    EXPECT_EQ(f.asked, c.asked);
    EXPECT_EQ(f.accepted, c.accepted);
    EXPECT_EQ(f.sounds, c.sounds);
    EXPECT_EQ(f.peerRequests, c.peerRequests);
    EXPECT_TRUE(f.WaitNoSockets());
  }
}

TEST(PeerListener, LinesWhileTheDialogIsOpenAreDropped) {
  Fixture f;
  Caller caller(f.port);
  ASSERT_TRUE(caller.WaitLines(1));
  f.duringDialog = [&] {
    caller.socket.SendStr("  1001<" + kRecord + ">\r\n  1002<x>\r\n");
    platform::ProcessMessagesUntil([] { return false; }, 200);
  };
  f.decision = 1;
  caller.socket.SendStr("  1001<" + kRecord + ">\r\n");
  ASSERT_TRUE(caller.WaitClosed());
  EXPECT_EQ(f.asked, 1);
  EXPECT_EQ(std::vector<std::string>(caller.lines.begin() + 1, caller.lines.end()), std::vector<std::string>{"1005<>"});
  EXPECT_TRUE(f.WaitNoSockets());
}

TEST(PeerListener, CallerWhoHangsUpBeforeTheUserAcceptsIsToldAboutAndFreed) {
  Fixture f;
  auto caller = std::make_unique<Caller>(f.port);
  ASSERT_TRUE(caller->WaitLines(1));
  f.decision = 0;
  f.duringDialog = [&] {
    caller->socket.Close();
    platform::ProcessMessagesUntil([] { return false; }, 200);
    // The listener keeps the socket while the question is open.
    EXPECT_EQ(f.listener->LiveSockets(), 1);
  };
  caller->socket.SendStr("  1001<" + kRecord + ">\r\n");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return f.asked == 1 && !f.info.empty(); }, 3000));
  EXPECT_EQ(f.info, std::vector<std::string>{
                        "Connection Closed: The connection for this request was closed before you accepted the request."});
  EXPECT_EQ(f.accepted, 0);
  EXPECT_TRUE(f.WaitNoSockets());
}

TEST(PeerListener, CallersBeyondTheCapAreTurnedAwayAndEverySocketIsFreed) {
  Fixture f;
  f.listener->MaxPending = 2;
  std::vector<std::unique_ptr<Caller>> callers;
  for (int i = 0; i < 5; ++i) callers.push_back(std::make_unique<Caller>(f.port));
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] {
    for (auto& c : callers)
      if (!c->closed && c->lines.empty()) return false;
    return true;
  }, 5000));
  platform::ProcessMessagesUntil([] { return false; }, 100);
  int greeted = 0;
  for (auto& c : callers) greeted += c->lines.empty() ? 0 : 1;
  EXPECT_EQ(greeted, 2);
  for (auto& c : callers) c->socket.Close();
  EXPECT_TRUE(f.WaitNoSockets());
  // Once the crowd has gone, a new caller is served again.
  Caller later(f.port);
  EXPECT_TRUE(later.WaitLines(1));
}

}  // namespace
