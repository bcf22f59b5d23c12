#include "conversations/PrivateChat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Conversations_helpers.h"
#include "core/Loopback_helpers.h"
#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

namespace {

using testing_support::TScriptedPeer;

std::string Record(const std::string& id, const std::string& name, const std::string& banner) {
  std::vector<std::string> f(21);
  f[0] = id;
  f[1] = "General";
  f[2] = "2962";
  f[3] = name;
  f[18] = banner;
  f[20] = "0";
  std::string record;
  for (std::size_t i = 0; i < f.size(); ++i) record += (i ? "||" : "") + f[i];
  return record;
}

const std::string kOwn = Record("41000001", "Ann", "");
const std::string kPeer = Record("52000002", "Bob", "Welcome$c friend");

struct RecordingView : TPrivateChatView {
  std::vector<std::string> system, peerTexts, ownTexts, info, panel1, panel2;
  std::string caption;
  void AddSystemLine(const std::string& text) override { system.push_back(text); }
  void SetCaption(const std::string& text) override { caption = text; }
  void SetPanel(int panel, const std::string& text) override { (panel == 1 ? panel1 : panel2).push_back(text); }
  void ShowPeerText(const std::string& text) override { peerTexts.push_back(text); }
  void ShowOwnText(const std::string& text) override { ownTexts.push_back(text); }
  void ShowInformation(const std::string& text, const std::string& caption) override {
    info.push_back(caption + ": " + text);
  }
};

// Side A: a chat that calls the scripted peer, with what it hears and plays recorded.
struct Caller {
  RecordingView view;
  std::vector<int> events, chatSounds;
  std::vector<std::string> log;
  int beeps = 0;
  std::unique_ptr<TPrivateChat> chat;

  Caller() {
    testing_support::WidgetApp();
    TPrivateChatHost host;
    host.LogError = [this](const std::string&, const std::string&, const std::string& m) { log.push_back(m); };
    host.PlayEventSound = [this](int e) { events.push_back(e); };
    host.PlayChatSound = [this](int n) { chatSounds.push_back(n); };
    host.Beep = [this] { ++beeps; };
    chat = std::make_unique<TPrivateChat>(view, std::move(host), std::make_unique<TParloSocket>());
    chat->SetOwnProfile(kOwn);
    chat->SetPeerUserName("Bob");
  }
  bool Logged(const std::string& part) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& m) { return m.find(part) != std::string::npos; });
  }
  bool WaitClosed() {
    return platform::ProcessMessagesUntil([&] { return chat->ChatState() == TPrivateChat::StateClosed; }, 5000);
  }
};

std::string Steps(const std::vector<std::string>& steps) {
  std::string json = "[";
  for (std::size_t i = 0; i < steps.size(); ++i) json += (i ? ",\n" : "\n") + steps[i];
  return json + "\n]";
}

const std::string kGreet = R"({"op": "send", "code": 1000})";
const std::string kAskOwn = R"({"op": "expect", "code": 1001, "params": ")" + kOwn + R"(", "text": ""})";
const std::string kAccept = R"({"op": "send", "code": 1002, "params": ")" + kPeer + R"("})";
const std::string kConfirmed = R"({"op": "expect", "code": 1003, "params": "", "text": ""})";
const std::string kClosed = R"({"op": "expect_close"})";

// A whole conversation with a peer written from the protocol: the handshake,
// text both ways with its escapes, typing notices and sounds (a number outside
// the table, or none, is ignored and the chat goes on), a cam offer the window
// cannot take, and a line that is no command, which ends the chat.
TEST(PrivateChat, HoldsAConversationWithTheScriptedPeer) {
  Caller a;
  TScriptedPeer peer(TScriptedPeer::Listen, 0,
                     Steps({kGreet, kAskOwn, kAccept, kConfirmed,
                            R"({"op": "expect", "code": 1006, "params": "", "text": "hi$c there$r$nsecond"})",
                            R"j({"op": "send_frames", "frames": [[1006, "", "one$ctwo$r$nthree"], [1007, "", ""],
                                [1008, "5", ""], [1008, "99", ""], [1008, "x", ""], [1037, "x", ""],
                                [1006, "", "$->zz :-)"]]})j",
                            R"({"op": "expect", "code": 1008, "params": "7", "text": ""})",
                            R"({"op": "raw", "data": "hello\r\n"})", kClosed}));
  auto sub = a.chat->ChatAuthorized.Connect([&] { a.chat->SendText("hi, there\r\nsecond"); });
  a.chat->ConnectToPeer("127.0.0.1", std::to_string(peer.Port()));
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return a.view.peerTexts.size() >= 3; }, 5000)) << peer.Output();
  a.chat->SendChatSound(7);
  EXPECT_TRUE(peer.Passed()) << peer.Output();
  ASSERT_TRUE(a.WaitClosed());

  EXPECT_EQ(a.view.system, (std::vector<std::string>{"Connected to Bob waiting for authorization...",
                                                     "Now Chatting with: Bob", "Bob is sending sound...",
                                                     "Invalid Command...security shutdown...", "Connection Closed"}));
  EXPECT_EQ(a.view.peerTexts,
            (std::vector<std::string>{"Welcome, friend\r\n", "one,two\r\nthree\r\n", "$->zz :-)\r\n"}));
  EXPECT_EQ(a.view.ownTexts, std::vector<std::string>{"hi, there\r\nsecond\r\n"});
  EXPECT_EQ(a.view.caption, "Bob - 52000002  Private Chat");
  EXPECT_EQ(a.chatSounds, (std::vector<int>{5, 7}));
  EXPECT_EQ(a.events, (std::vector<int>{4, 5}));
  EXPECT_EQ(a.view.panel1, (std::vector<std::string>{"", "Bob is typing a message...", "", ""}));
  EXPECT_EQ(a.view.panel2.front(), "Attempting Connection...");
  EXPECT_EQ(a.view.panel2.back(), "Closed...");
  EXPECT_FALSE(a.chat->Authorized());
  EXPECT_EQ(a.chat->Peer().UserID, "52000002");
  EXPECT_EQ(a.chat->PeerAddr(), "127.0.0.1");
  EXPECT_TRUE(a.log.empty());
  // Text typed after the end is refused, and nothing goes out.
  EXPECT_FALSE(a.chat->SendText("late"));
  EXPECT_EQ(a.view.info.size(), 1u);
}

// Every way the caller's side ends before or during the chat, each with the
// user told why and the link closed.
TEST(PrivateChat, EndsOnRefusalErrorsLongLinesAndTheCountdown) {
  struct Case {
    const char* name;
    std::vector<std::string> script;
    int waitTimer;
    std::vector<std::string> lastSystem;  // the system lines at the end
    std::vector<std::string> lastPanel2;  // panel 2's last texts
    const char* logged;                   // "" nothing
    size_t peerTexts;
  };
  const std::string longLine = "  1006<>" + std::string(70000, 'a') + R"(\r\n  1006<>after\r\n)";
  const std::vector<Case> cases = {
      {"refused with a reason",
       {kGreet, kAskOwn, R"({"op": "send", "code": 1004, "params": "back$c soon"})", kClosed},
       60,
       {"back, soon", "Connection Closed"},
       {"Connected...", "Closed..."},
       "",
       0},
      {"rejected", {kGreet, kAskOwn, R"({"op": "send", "code": 1005})", kClosed}, 60,
       {"Connection was rejected", "Connection Closed"}, {"Connecting...", "Closed..."}, "", 0},
      {"error frame", {kGreet, kAskOwn, R"({"op": "send", "code": 9999})", kClosed}, 60,
       {"Invalid Command...security shutdown...", "Connection Closed"}, {"Connecting...", "Closed..."}, "", 0},
      {"a line over the limit closes the link; nothing after it is read",
       {kGreet, kAskOwn, kAccept, kConfirmed, R"({"op": "raw", "data": ")" + longLine + R"("})", kClosed},
       60,
       {"Now Chatting with: Bob", "Connection Closed"},
       {"Connected...", "Closed..."},
       "Incoming line of more than",
       1},
      {"no answer within the wait", {kGreet, kAskOwn, R"({"op": "expect_close", "timeout": 5})"}, 2,
       {"Connected to Bob waiting for authorization...", "Connection Closed"},
       {"Time out in: 1 seconds", "Time out in: 0 seconds", "Timed Out...", "Closed..."},
       "",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Caller a;
    a.chat->SetWaitTimer(c.waitTimer);
    a.chat->SetCountdownInterval(20);
    TScriptedPeer peer(TScriptedPeer::Listen, 0, Steps(c.script));
    a.chat->ConnectToPeer("127.0.0.1", std::to_string(peer.Port()));
    EXPECT_TRUE(peer.Passed()) << peer.Output();
    ASSERT_TRUE(a.WaitClosed());
    ASSERT_GE(a.view.system.size(), c.lastSystem.size());
    EXPECT_EQ(std::vector<std::string>(a.view.system.end() - static_cast<long>(c.lastSystem.size()), a.view.system.end()),
              c.lastSystem);
    ASSERT_GE(a.view.panel2.size(), c.lastPanel2.size());
    EXPECT_EQ(std::vector<std::string>(a.view.panel2.end() - static_cast<long>(c.lastPanel2.size()), a.view.panel2.end()),
              c.lastPanel2);
    EXPECT_EQ(a.view.peerTexts.size(), c.peerTexts);
    if (*c.logged != '\0') EXPECT_TRUE(a.Logged(c.logged));
    else EXPECT_TRUE(a.log.empty());
    EXPECT_FALSE(a.chat->Authorized());
    EXPECT_EQ(a.events.back(), 5);
  }
}

TEST(PrivateChat, ARefusedConnectionIsExplainedAndBeeps) {
  Caller a;
  a.chat->ConnectToPeer("127.0.0.1", std::to_string(testing_support::FreePort()));
  ASSERT_TRUE(a.WaitClosed());
  platform::ProcessMessagesUntil([] { return false; }, 50);
  EXPECT_EQ(a.view.caption, "Could not establish Private Chat");
  ASSERT_GE(a.view.system.size(), 2u);
  EXPECT_EQ(a.view.system[0], "Could not establish connection to Bob");
  EXPECT_EQ(a.view.system[1], "User is behind a firewall...connection refused");
  EXPECT_EQ(a.beeps, 1);
  EXPECT_TRUE(a.Logged("Winsock Error 10061 : User is behind a firewall...connection refused"));
  EXPECT_EQ(ChatSocketErrorText(10060), "User is not online...");
  EXPECT_EQ(ChatSocketErrorText(0), "Undetermined Winsock Error");
  EXPECT_EQ(ChatSocketErrorText(10050).rfind("Winsock Error 10050 : ", 0), 0u);
}

}  // namespace
