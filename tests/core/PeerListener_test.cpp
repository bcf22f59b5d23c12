#include "core/session/PeerListener.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Loopback_helpers.h"
#include "Widgets_helpers.h"
#include "common/Settle.h"
#include "core/session/Blocked.h"
#include "platform/StringList.h"
#include "platform/EventLoop.h"
#include "transport/CmdParser.h"
#include "transport/ParloSocket.h"

namespace {

using Caller = testing_support::TLoopbackCaller;
using testing_support::FreePort;

// A question left open, which counts itself withdrawn when dropped.
struct OpenQuestion : TOpenQuestion {
  int& withdrawn;
  explicit OpenQuestion(int& count) : withdrawn(count) {}
  ~OpenQuestion() override { ++withdrawn; }
};

struct Fixture {
  TPeerAnswerSettings settings;
  std::vector<std::string> blocked, friends;
  int decision = 1;
  bool leaveOpen = false;  // the question is answered at once, or never
  int asked = 0, accepted = 0, withdrawn = 0;
  std::vector<int> sounds, peerRequests;
  std::vector<std::string> info, log;
  std::function<void()> duringDialog;
  std::vector<std::function<void(int)>> unanswered;  // of the questions left open
  // What a handler of the routed requests does; by default it takes nothing.
  std::function<void(TPeerRequest&)> onRoute;
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
    // A friend is "id address".
    h.IsFriend = [this](const std::string& id, const std::string& address) {
      return std::find(friends.begin(), friends.end(), id + " " + address) != friends.end();
    };
    h.PlayEventSound = [this](int e) { sounds.push_back(e); };
    h.AskRequest = [this](const std::string&, std::function<void(int)> answered) -> TQuestion {
      ++asked;
      if (duringDialog) duringDialog();
      if (leaveOpen) {
        unanswered.push_back(answered);
        return std::make_unique<OpenQuestion>(withdrawn);
      }
      answered(decision);
      return nullptr;
    };
    h.ShowInformation = [this](const std::string& text, const std::string& caption) { info.push_back(caption + ": " + text); };
    h.Route = [this](TPeerRequest& r) {
      if (r.Code() == 1001) {
        ++accepted;
        r.Socket().SendCommand(1002, "own-record", "");
      } else {
        peerRequests.push_back(r.Code());
      }
      if (onRoute) onRoute(r);
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
      {"auto-accept friends: a friend", 0, req, {}, {"41000001 127.0.0.1"}, true, true, 1, {"1002<own-record>"}, 0, 1, {2}, {}},
      {"auto-accept friends: a stranger asks", 0, req, {}, {"4100000 127.0.0.1"}, true, true, 1, {"1005<>"}, 1, 0, {}, {}},
      {"auto-accept friends: a friend's id from another address", 0, req, {}, {"41000001 127.0.0.2"}, true, true, 1,
       {"1005<>"}, 1, 0, {}, {}},
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
    // Only the time-out that ends a wait resets the link; every answer closes it.
    if (c.decision != 7) {
      EXPECT_EQ(caller.closeError, 0) << "reset, not closed";
    }
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

// A caller's line past 64 KiB is dropped by the socket; the link stays.
TEST(PeerListener, AnOverlongLineIsDroppedAndTheLinkKept) {
  Fixture f;
  Caller caller(f.port);
  ASSERT_TRUE(caller.WaitLines(1));
  caller.socket.SendStr(std::string(200000, 'x'));
  testing_support::Settle(500);
  EXPECT_FALSE(caller.closed);
  EXPECT_EQ(f.listener->LiveSockets(), 1);
  EXPECT_TRUE(f.log.empty()) << f.log.front();
}

// A question waits outside the callers' places and is not timed by the
// listener; past the questions one address may have open, a request is
// answered busy at once; a question stays when its caller hangs up, and
// accepting it then says the caller has gone.
TEST(PeerListener, QuestionsWaitInPlacesOfTheirOwnAndStayWhenTheirCallerGoes) {
  Fixture f;
  f.listener->MaxPending = 1;
  f.listener->SetIdleTimeout(300);
  f.settings.BusyMessage = "busy";
  f.leaveOpen = true;
  std::vector<std::unique_ptr<Caller>> callers;
  for (int i = 0; i < 3; ++i) {
    callers.push_back(std::make_unique<Caller>(f.port));
    ASSERT_TRUE(callers.back()->WaitLines(1)) << "caller " << i << " was not greeted";
    callers.back()->socket.SendStr("  1001<" + kRecord + ">\r\n");
    ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return f.asked == std::min(i + 1, 2); }, 3000));
  }
  ASSERT_TRUE(callers[2]->WaitClosed());
  EXPECT_EQ(callers[2]->lines, (std::vector<std::string>{"1000<>", "1004<busy>"}));
  testing_support::Settle(600);  // past the idle time-out
  EXPECT_FALSE(callers[0]->closed || callers[1]->closed);
  EXPECT_EQ(f.listener->OpenQuestions(), 2);

  callers[0]->socket.Close();
  testing_support::Settle(300);
  EXPECT_EQ(f.listener->OpenQuestions(), 2);
  EXPECT_EQ(f.withdrawn, 0);
  f.unanswered[0](DecisionAccept);
  EXPECT_EQ(f.info, std::vector<std::string>{
                        "Connection Closed: The connection for this request was closed before you accepted the request."});
  EXPECT_EQ(f.accepted, 0);
  EXPECT_TRUE(testing_support::Settle([&] { return f.listener->LiveSockets() == 1; }, 3000));
  EXPECT_EQ(f.listener->OpenQuestions(), 1);

  // One who hangs up while the question is still being opened (the prompt
  // runs a loop of its own) leaves it open all the same; turned down, it
  // gives its place back.
  Caller quitter(f.port);
  ASSERT_TRUE(quitter.WaitLines(1));
  f.duringDialog = [&] {
    quitter.socket.Close();
    platform::ProcessMessagesUntil([] { return false; }, 200);
  };
  quitter.socket.SendStr("  1001<" + kRecord + ">\r\n");
  ASSERT_TRUE(testing_support::Settle([&] { return f.asked == 3; }, 3000));
  EXPECT_EQ(f.listener->OpenQuestions(), 2);
  f.duringDialog = nullptr;
  f.unanswered[2](DecisionReject);
  EXPECT_TRUE(testing_support::Settle([&] { return f.listener->LiveSockets() == 1; }, 3000));
  EXPECT_EQ(f.listener->OpenQuestions(), 1);
  Caller next(f.port);
  ASSERT_TRUE(next.WaitLines(1));
  next.socket.SendStr("  1001<" + kRecord + ">\r\n");
  EXPECT_TRUE(testing_support::Settle([&] { return f.asked == 4; }, 3000)) << "the place was not given back";
  EXPECT_EQ(f.listener->OpenQuestions(), 2);

  // Once its caller has gone, a question gives its place to a newcomer, unanswered.
  next.socket.Close();
  testing_support::Settle(300);
  const int dropped = f.withdrawn;
  Caller last(f.port);
  ASSERT_TRUE(last.WaitLines(1));
  last.socket.SendStr("  1001<" + kRecord + ">\r\n");
  EXPECT_TRUE(testing_support::Settle([&] { return f.asked == 5; }, 3000)) << "no place was given way";
  EXPECT_EQ(f.withdrawn, dropped + 1);
  EXPECT_EQ(f.listener->OpenQuestions(), 2);
  EXPECT_TRUE(testing_support::Settle([&] { return f.listener->LiveSockets() == 2; }, 3000));
  EXPECT_EQ(f.info.size(), 1u);
  EXPECT_EQ(f.accepted, 0);
}

// When a bound is reached, the oldest place counting toward it whose link has
// closed gives way to a newcomer; places whose links are open never do.
TEST(WaitingPlaces, TheOldestWhoseLinkClosedGivesWay) {
  TWaitingPlaces places(3, 2);
  std::map<std::string, TWaitingPlaces::TPlace> held;
  std::vector<std::string> withdrawn;
  const auto take = [&](const std::string& name, const std::string& address) {
    TWaitingPlaces::TPlace place = places.Take(address);
    const bool given = static_cast<bool>(place);
    held[name] = std::move(place);
    return given;
  };
  const auto gone = [&](const std::string& name) {
    held[name].LinkClosed([&, name] {
      withdrawn.push_back(name);
      held[name] = {};
    });
  };
  ASSERT_TRUE(take("b1", "b") && take("a1", "a") && take("a2", "a"));
  EXPECT_FALSE(take("a3", "a"));
  EXPECT_FALSE(take("c1", "c"));
  gone("b1");
  gone("a2");
  EXPECT_TRUE(take("a3", "a"));  // the address's own, though b1 is older
  EXPECT_TRUE(take("c1", "c"));
  EXPECT_EQ(withdrawn, (std::vector<std::string>{"a2", "b1"}));
  EXPECT_FALSE(take("c2", "c"));
  EXPECT_EQ(places.Taken(), 3);
}

// Every newcomer is greeted: past the bounds, the caller let go for it is
// the longest waiting at the address that holds the most places (at the
// newcomer's own, when that one is full), and only one that has not yet
// said what it wants.
TEST(PeerListener, LetsTheLongestWaitingCallerOfTheBusiestAddressGoForANewcomer) {
  struct Case {
    const char* name;
    int inAll, perAddress;
    // Their addresses in order: a, b, c; A: trickles a line, *: asked and left
    // open; !: a newcomer from c, connected as the first caller asks; the
    // listener often meets both in one turn, before that request is read.
    std::string callers;
    std::vector<int> letGo;
  };
  const std::vector<Case> cases = {
      {"a tie goes to the longest waiting", 4, 3, "aabbcc", {0, 2}},
      {"a full address lets its own go", 8, 2, "abaaa", {0, 2}},
      {"bytes without a line end say nothing", 3, 3, "Aabc", {0}},
      {"a caller that has asked stays", 3, 3, "*abc", {1}},
      {"a request that came with the newcomer, not yet read, has been said", 3, 3, "aab!", {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.listener->MaxPending = c.inAll;
    f.listener->MaxPendingPerAddress = c.perAddress;
    f.decision = 7;  // the question goes without an answer: the connection stays open
    std::vector<std::unique_ptr<Caller>> callers;
    int newcomer = -1;
    for (const char a : c.callers) {
      if (a == '!') {
        newcomer = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.0.4", &at.sin_addr);
        ASSERT_EQ(::bind(newcomer, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        at.sin_port = htons(static_cast<std::uint16_t>(std::stoi(f.port)));
        ::inet_pton(AF_INET, "127.0.0.1", &at.sin_addr);
        ASSERT_EQ(::connect(newcomer, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        callers.front()->socket.SendStr("  1001<" + kRecord + ">\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // both are there when the listener looks
        continue;
      }
      const char address = a == '*' ? 'a' : static_cast<char>(std::tolower(a));
      callers.push_back(std::make_unique<Caller>(f.port, std::string("127.0.0.") + std::to_string(address - 'a' + 2)));
      Caller& caller = *callers.back();
      ASSERT_TRUE(caller.WaitLines(1)) << "caller " << callers.size() - 1 << " was not greeted";
      if (a == 'A') caller.socket.SendStr("  10");
      if (a == '*') {
        caller.socket.SendStr("  1001<" + kRecord + ">\r\n");
        ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return f.asked == 1; }, 3000));
      }
      platform::ProcessMessagesUntil([] { return false; }, 50);
    }
    testing_support::Settle(200);
    std::vector<int> letGo;
    for (std::size_t i = 0; i < callers.size(); ++i)
      if (callers[i]->closed) letGo.push_back(static_cast<int>(i));
    EXPECT_EQ(letGo, c.letGo);
    if (newcomer >= 0) ::close(newcomer);
  }
}

// A handler that adopts a connection owns it: later lines reach it, not the
// listener, and the connection lives until the handler lets it go. One that
// does not adopt has it closed and freed, also when the caller hung up while
// the handler ran its own loop.
TEST(PeerListener, RoutedConnectionsAreAdoptedOrClosedAfterTheHandler) {
  for (const bool adopt : {true, false}) {
    SCOPED_TRACE(adopt ? "adopted" : "left");
    Fixture f;
    Caller caller(f.port);
    ASSERT_TRUE(caller.WaitLines(1));
    std::unique_ptr<TParloSocket> owned;
    std::vector<std::string> adopterLines;
    f.onRoute = [&](TPeerRequest& r) {
      EXPECT_EQ(r.Params(), "offer");
      EXPECT_EQ(r.Text(), "text");
      if (!adopt) {
        // A handler's question: the caller hangs up while it is open.
        caller.socket.Close();
        platform::ProcessMessagesUntil([] { return false; }, 200);
        return;
      }
      owned = r.Adopt();
      EXPECT_EQ(r.Adopt(), nullptr);  // once only
      TParloSocket* s = owned.get();
      s->OnDataAvailable = [s, &adopterLines](TCustomNetSocket*, int) {
        const std::string line = s->ReceiveStr();
        if (!line.empty()) adopterLines.push_back(TCmdParser::CleanLine(line));
      };
      s->SendCommand(1021, "", "");
    };
    caller.socket.SendStr("  1020<offer>text\r\n");
    if (!adopt) {
      EXPECT_TRUE(f.WaitNoSockets());
      EXPECT_EQ(f.peerRequests, std::vector<int>{1020});
      continue;
    }
    ASSERT_TRUE(caller.WaitLines(2));
    EXPECT_EQ(caller.lines[1], "1021<>");
    EXPECT_EQ(f.listener->LiveSockets(), 0);
    caller.socket.SendStr("  1023<package>\r\n");
    ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !adopterLines.empty(); }, 3000));
    EXPECT_EQ(adopterLines, std::vector<std::string>{"1023<package>"});
    EXPECT_FALSE(caller.closed);
    owned.reset();
    EXPECT_TRUE(caller.WaitClosed());
  }
}

}  // namespace
