#include "conversations/PrivateChat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Conversations_helpers.h"
#include "common/Settle.h"
#include "core/Loopback_helpers.h"
#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

namespace {

using testing_support::TScriptedPeer;
using TextLines = std::vector<std::string>;

std::string Record(const std::string& id, const std::string& name, const std::string& banner) {
  return id + "||General||2962||" + name + std::string(14 * 2, '|') + "||" + banner + "||||0";
}
const std::string kOwn = Record("41000001", "Ann", "");
const std::string kPeer = Record("52000002", "Bob", "Welcome$c friend");

// Side A, calling the scripted peer, with everything it shows, plays and logs recorded.
struct Caller : TPrivateChatView {
  TextLines system, peerTexts, ownTexts, info, panel1, panel2, log;
  std::string caption;
  std::vector<int> events, chatSounds;
  int beeps = 0;
  std::unique_ptr<TPrivateChat> chat;

  void AddSystemLine(const std::string& text) override { system.push_back(text); }
  void SetCaption(const std::string& text) override { caption = text; }
  void SetPanel(int panel, const std::string& text) override { (panel == 1 ? panel1 : panel2).push_back(text); }
  void ShowPeerText(const std::string& text) override { peerTexts.push_back(text); }
  void ShowOwnText(const std::string& text) override { ownTexts.push_back(text); }
  void ShowInformation(const std::string& text, const std::string&) override { info.push_back(text); }

  Caller() {
    testing_support::WidgetApp();
    TPrivateChatHost host;
    // "port message"
    host.LogError = [this](const std::string&, const std::string& p, const std::string& m) {
      log.push_back(p + " " + m);
    };
    host.PlayEventSound = [this](int e) { events.push_back(e); };
    host.PlayChatSound = [this](int n) { chatSounds.push_back(n); };
    host.Beep = [this] { ++beeps; };
    chat = std::make_unique<TPrivateChat>(*this, std::move(host), std::make_unique<TParloSocket>());
    chat->SetOwnProfile(kOwn);
    chat->SetPeerUserName("Bob");
    chat->SetCountdownInterval(20);
  }
  bool WaitClosed() {
    return platform::ProcessMessagesUntil([&] { return chat->ChatState() == TPrivateChat::StateClosed; }, 5000);
  }
  static TextLines Last(const TextLines& all, std::size_t n) { return TextLines(all.end() - std::min(n, all.size()), all.end()); }
};

std::string Steps(const TextLines& steps) {
  std::string json;
  for (const std::string& step : steps) json += (json.empty() ? "[" : ",\n") + step;
  return json + "]";
}

const std::string kGreet = R"({"op": "send", "code": 1000})";
const std::string kAskOwn = R"({"op": "expect", "code": 1001, "params": ")" + kOwn + R"(", "text": ""})";
const std::string kAccept = R"({"op": "send", "code": 1002, "params": ")" + kPeer + R"("})";
const std::string kConfirmed = R"({"op": "expect", "code": 1003, "params": "", "text": ""})";
const std::string kClosed = R"({"op": "expect_close"})";

// A whole conversation with a peer written from the protocol: the handshake,
// text both ways with its escapes, typing notices and sounds (a number outside
// the table plays nothing and the chat goes on), a cam offer this window
// cannot take, and a line that is no command, which ends the chat.
TEST(PrivateChat, HoldsAConversationWithTheScriptedPeer) {
  Caller a;
  TScriptedPeer peer(TScriptedPeer::Listen, 0,
                     Steps({kGreet, kAskOwn, kAccept, kConfirmed,
                            R"({"op": "expect", "code": 1006, "params": "", "text": "hi$c there$r$nsecond"})",
                            R"j({"op": "send_frames", "frames": [[1006, "", "one$ctwo$r$nthree"], [1007, "", ""],
                                [1008, "5", ""], [1008, "99", ""], [1037, "x", ""],
                                [1006, "", "$->zz :-)"]]})j",
                            R"({"op": "expect", "code": 1008, "params": "7", "text": ""})",
                            R"({"op": "raw", "data": "hello\r\n"})", kClosed}));
  auto sub = a.chat->ChatAuthorized.Connect([&] { a.chat->SendText("hi, there\r\nsecond"); });
  a.chat->ConnectToPeer("127.0.0.1", std::to_string(peer.Port()));
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return a.peerTexts.size() >= 3; }, 5000)) << peer.Output();
  a.chat->SendChatSound(7);
  EXPECT_TRUE(peer.Passed()) << peer.Output();
  ASSERT_TRUE(a.WaitClosed());

  EXPECT_EQ(a.system, (TextLines{"Connected to Bob waiting for authorization...", "Now Chatting with: Bob",
                             "Bob is sending sound...", "Bob is sending sound...",
                             "Invalid Command...security shutdown...", "Connection Closed"}));
  EXPECT_EQ(a.peerTexts, (TextLines{"Welcome, friend\r\n", "one,two\r\nthree\r\n", "$->zz :-)\r\n"}));
  EXPECT_EQ(a.ownTexts, TextLines{"hi, there\r\nsecond\r\n"});
  EXPECT_EQ(a.caption, "Bob - 52000002  Private Chat");
  EXPECT_EQ(a.chatSounds, (std::vector<int>{5, 7}));
  EXPECT_EQ(a.events, (std::vector<int>{4, 5}));
  EXPECT_EQ(a.panel1, (TextLines{"", "Bob is typing a message...", "", ""}));
  EXPECT_EQ(a.panel2.front(), "Attempting Connection...");
  EXPECT_EQ(a.panel2.back(), "Closed...");
  EXPECT_EQ(a.chat->PeerAddr(), "127.0.0.1");
  EXPECT_TRUE(a.log.empty());
  // Text typed after the end is refused and stays with the user.
  EXPECT_FALSE(a.chat->SendText("late"));
  EXPECT_EQ(a.info, TextLines{"The connection is either not established yet, or has been closed."});
}

// A peer named with 60,000 bytes that refuses with a reason as long: the
// lines and the notice show the name cut, the caption and the reason whole.
TEST(PrivateChat, ShowsALongNameCutInLinesOnly) {
  const std::string name(60000, 'N'), reason(60000, 'r'), shown = name.substr(0, 64) + "...";
  Caller a;
  a.chat->SetPeerUserName(name);
  TScriptedPeer peer(TScriptedPeer::Listen, 0,
                     Steps({kGreet, kAskOwn, R"({"op": "send", "code": 1002, "params": ")" + Record("52", name, "") +
                                                 R"("})", kConfirmed, R"({"op": "send_frames", "frames": [[1007, "", ""],
                                [1008, "5", ""], [1004, ")" + reason + R"(", ""]]})", kClosed}));
  a.chat->ConnectToPeer("127.0.0.1", std::to_string(peer.Port()));
  EXPECT_TRUE(peer.Passed()) << peer.Output();
  ASSERT_TRUE(a.WaitClosed());
  EXPECT_EQ(a.system, (TextLines{"Connected to " + shown + " waiting for authorization...", "Now Chatting with: " + shown,
                             shown + " is sending sound...", reason, "Connection Closed"}));
  EXPECT_EQ(a.panel1, TextLines{shown + " is typing a message..."});
  EXPECT_EQ(a.caption, name + " - 52  Private Chat");
}

// Every way the caller's side ends, each with the user told why.
TEST(PrivateChat, EndsOnRefusalErrorsLongLinesTheCountdownAndNoListener) {
  struct Case {
    const char* name;
    TextLines script;  // empty: nobody listens
    int waitTimer;
    TextLines lastSystem, lastPanel2;
    const char* logged;  // "" nothing
    const char* addr = "127.0.0.1";
  };
  const std::string longLine = "  1006<>" + std::string(70000, 'a') + R"(\r\n  1006<>after\r\n)";
  const std::vector<Case> cases = {
      {"refused with a reason", {kGreet, kAskOwn, R"({"op": "send", "code": 1004, "params": "back$c soon"})", kClosed},
       60, {"back, soon", "Connection Closed"}, {"Connected...", "Closed..."}, ""},
      {"rejected", {kGreet, kAskOwn, R"({"op": "send", "code": 1005})", kClosed}, 60,
       {"Connection was rejected", "Connection Closed"}, {"Connecting...", "Closed..."}, ""},
      {"error frame", {kGreet, kAskOwn, R"({"op": "send", "code": 9999})", kClosed}, 60,
       {"Invalid Command...security shutdown...", "Connection Closed"}, {"Connecting...", "Closed..."}, ""},
      {"a line over the limit closes the link; nothing after it is read",
       {kGreet, kAskOwn, kAccept, kConfirmed, R"({"op": "raw", "data": ")" + longLine + R"("})", kClosed}, 60,
       {"Now Chatting with: Bob", "Connection Closed"}, {"Connected...", "Closed..."}, "Incoming line of more than"},
      {"a sound that is no number", {kGreet, kAskOwn, kAccept, kConfirmed,
                                     R"({"op": "send", "code": 1008, "params": "abc"})", kClosed},
       // Logged with the port the peer's record says it listens on.
       60, {"Bob is sending sound...", "Connection Closed"}, {"Connected...", "Closed..."},
       "2962 ProcessClientCommand: "},
      {"no answer within the wait", {kGreet, kAskOwn, kClosed}, 2,
       {"Connected to Bob waiting for authorization...", "Connection Closed"},
       {"Time out in: 1 seconds", "Time out in: 0 seconds", "Timed Out...", "Closed..."}, ""},
      {"nobody listens", {}, 60,
       {"Could not establish connection to Bob", "User is behind a firewall...connection refused", "Connection Closed"},
       {"Attempting Connection...", "Closed..."}, "Winsock Error 10061 : User is behind a firewall...connection refused"},
      // Told as a refused connection; the log says why.
      {"an address that cannot be looked up", {}, 60,
       {"Could not establish connection to Bob", "User is behind a firewall...connection refused", "Connection Closed"},
       {"Attempting Connection...", "Closed..."}, "Cannot convert host address '999.1.1.1'", "999.1.1.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Caller a;
    a.chat->SetWaitTimer(c.waitTimer);
    std::unique_ptr<TScriptedPeer> peer;
    if (!c.script.empty()) peer = std::make_unique<TScriptedPeer>(TScriptedPeer::Listen, 0, Steps(c.script));
    a.chat->ConnectToPeer(c.addr, std::to_string(peer ? peer->Port() : testing_support::FreePort()));
    if (peer) {
      EXPECT_TRUE(peer->Passed()) << peer->Output();
    }
    ASSERT_TRUE(a.WaitClosed());
    testing_support::Settle(30);
    EXPECT_EQ(Caller::Last(a.system, c.lastSystem.size()), c.lastSystem);
    EXPECT_EQ(Caller::Last(a.panel2, c.lastPanel2.size()), c.lastPanel2);
    if (*c.logged) {
      EXPECT_NE(a.log.empty() ? std::string::npos : a.log[0].find(c.logged), std::string::npos);
    } else {
      EXPECT_TRUE(a.log.empty());
    }
    EXPECT_EQ(std::count(a.peerTexts.begin(), a.peerTexts.end(), "after\r\n"), 0);
    EXPECT_EQ(a.beeps, peer ? 0 : 1);
    if (!peer) {
      EXPECT_EQ(a.caption, "Could not establish Private Chat");
    }
    EXPECT_EQ(a.events, std::vector<int>{5});  // the closing sound, once
    EXPECT_FALSE(a.chat->Authorized());
  }
}

}  // namespace
