#include "chatrooms/ChatHost.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Rooms_helpers.h"
#include "common/FreePort.h"
#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

namespace {

using Lines = std::vector<std::string>;
using testing_support::TRoomMembersScript;

const std::string kOwn = "41000001{$}Ann{$}1{$}0{$}127.0.0.1{$}2960";
const std::string kBob = "52000002{$}Bob{$}1{$}0{$}127.0.0.1{$}2961";
// A comma in a name travels as it is: it must neither split the name nor the frame.
const std::string kCid = "63000003{$}Cid, Jr{$}1{$}3{$}127.0.0.1{$}2962";

// A room with what it shows, plays and logs recorded; `events` holds the
// system lines and members' texts in the order shown.
struct Room : TChatHostView {
  Lines info, peerTexts, ownTexts, log, events;
  std::vector<int> sounds;
  std::unique_ptr<TChatHost> host;
  int port = testing_support::FreeListenPort();

  void AddInfoText(const std::string& text) override {
    info.push_back(text);
    events.push_back(text);
  }
  void ShowPeerText(const std::string& name, const std::string& text) override {
    peerTexts.push_back(name + ": " + text);
    events.push_back(peerTexts.back());
  }
  void ShowOwnText(const std::string& text) override { ownTexts.push_back(text); }
  void MembersChanged() override {}
  void ShowInformation(const std::string& text, const std::string&) override { info.push_back("box: " + text); }

  explicit Room(int limit = 0, int idleMs = 0) {
    testing_support::WidgetApp();
    TChatHostHooks hooks;
    hooks.LogError = [this](const std::string&, const std::string&, const std::string& m) { log.push_back(m); };
    hooks.PlayChatSound = [this](int n) { sounds.push_back(n); };
    TChatRoomSetup setup{"41000001", "Ann", 0, "2960", "127.0.0.1", std::to_string(port), "Lobby", "Welcome, all",
                         limit};
    host = std::make_unique<TChatHost>(*this, std::move(hooks), std::move(setup));
    if (idleMs > 0) host->SetIdleInterval(idleMs);
    EXPECT_TRUE(host->StartListening());
    host->AddOwnRow();
  }
  const TRoomMembers::Row* RowOf(const std::string& name) const {
    for (const auto& row : host->Members().Rows())
      if (row.UserName == name) return &row;
    return nullptr;
  }
};

std::string Step(int m, const std::string& op, const std::string& rest = "") {
  return R"({"m": )" + std::to_string(m) + R"(, "op": ")" + op + "\"" + (rest.empty() ? "" : ", " + rest) + "}";
}
std::string Expect(int m, int code, const std::string& params) {
  return Step(m, "expect", "\"code\": " + std::to_string(code) + R"(, "params": ")" + params + "\"");
}
std::string Send(int m, int code, const std::string& params) {
  return Step(m, "send", "\"code\": " + std::to_string(code) + R"(, "params": ")" + params + "\"");
}
std::string Silence(int m) { return Step(m, "expect_silence", R"("seconds": 0.3)"); }

// The whole life of a room with two members who log on and one who never
// does: the join order, the lists, text and sounds relayed once to everybody
// else and never back, the host's own text, leaves announced with 2008, and
// "Remove from Chat". Along the way every frame a hostile or careless member
// might send: a second logon, logons with the host's id and name and with a
// member's (let in under names of their own, and only the one removed goes),
// texts and sounds under another's name, a line over the limit, sounds
// outside the table, a line that is no frame, a code nobody handles, a text
// record without its text.
TEST(ChatHost, RunsARoomForScriptedMembers) {
  Room room;
  const std::string asBob = R"(Bob{$}hi$c a>b {$} c)";
  const std::string greeting = "Lobby{$}Welcome$c all";
  const std::string ann2 = "41000001{$}Ann (2){$}1{$}0{$}127.0.0.1{$}2999";
  const std::string bob2 = "52000002{$}bob (2){$}1{$}0{$}127.0.0.1{$}2999";
  TRoomMembersScript members(room.port, {
      Step(0, "connect"), Expect(0, 2000, "127.0.0.1"),
      Send(0, 2001, "52000002{$}Bob{$}2961{$}0"),
      Expect(0, 2006, kBob), Expect(0, 2002, "Lobby{$}Welcome$c all"),
      Send(0, 2005, ""), Expect(0, 2004, kOwn + "||" + kBob),
      Send(0, 2001, "63000003{$}Mallory{$}2999{$}0"), Silence(0),
      Step(1, "connect"), Expect(1, 2000, "127.0.0.1"),
      Step(2, "connect"), Expect(2, 2000, "127.0.0.1"),
      Send(1, 2001, "63000003{$}Cid, Jr{$}2962{$}3"),
      Expect(0, 2006, kCid), Expect(2, 2006, kCid), Expect(1, 2006, kCid), Expect(1, 2002, "Lobby{$}Welcome$c all"),
      Send(1, 2005, ""), Expect(1, 2004, kOwn + "||" + kBob + "||" + kCid),
      // The host's id and name, and what reads as a member's, from other programs.
      Step(3, "connect"), Expect(3, 2000, "127.0.0.1"), Send(3, 2001, "41000001{$}Ann{$}2999{$}0"),
      Expect(0, 2006, ann2), Expect(1, 2006, ann2), Expect(2, 2006, ann2), Expect(3, 2006, ann2),
      Expect(3, 2002, greeting),
      Step(4, "connect"), Expect(4, 2000, "127.0.0.1"), Send(4, 2001, "52000002{$} bob {$}2999{$}0"),
      Expect(0, 2006, bob2), Expect(1, 2006, bob2), Expect(2, 2006, bob2), Expect(3, 2006, bob2),
      Expect(4, 2006, bob2), Expect(4, 2002, greeting),
      Send(3, 2007, "Ann{$}I am your host"), Expect(0, 2010, "Ann (2){$}I am your host"),
      Expect(1, 2010, "Ann (2){$}I am your host"), Expect(2, 2010, "Ann (2){$}I am your host"),
      Expect(4, 2010, "Ann (2){$}I am your host"),
      // The host removes the second Bob once it has shown this.
      Send(4, 2007, "Bob{$}remove me"), Expect(0, 2010, "bob (2){$}remove me"), Expect(1, 2010, "bob (2){$}remove me"),
      Expect(2, 2010, "bob (2){$}remove me"), Expect(3, 2010, "bob (2){$}remove me"), Step(4, "expect_close"),
      Expect(0, 2008, bob2), Expect(1, 2008, bob2), Expect(2, 2008, bob2), Expect(3, 2008, bob2),
      Step(3, "close"), Expect(0, 2008, ann2), Expect(1, 2008, ann2), Expect(2, 2008, ann2),
      Step(0, "long_line", R"("bytes": 70000)"),
      Step(0, "raw", R"("data": "hello\r\n  2003<x>\r\n")"),
      Send(0, 2007, R"(Ann{$}hi$c a>b {$} c)"), Expect(1, 2010, asBob), Expect(2, 2010, asBob), Silence(0),
      Send(2, 2007, "Ann{$}not a member"), Send(2, 2011, "Ann{$}5"), Silence(0), Silence(1),
      Send(1, 2011, "Ann{$}5"), Expect(0, 2012, "Cid, Jr{$}5"), Expect(2, 2012, "Cid, Jr{$}5"),
      Send(1, 2011, "Cid, Jr{$}48"), Send(1, 2011, "Cid, Jr"),
      Expect(0, 2012, "Cid, Jr{$}48"), Expect(0, 2012, "Cid, Jr"), Expect(2, 2012, "Cid, Jr{$}48"),
      Expect(2, 2012, "Cid, Jr"),
      // The host answers this one (below).
      Send(0, 2007, "Bob{$}your turn"), Expect(1, 2010, "Bob{$}your turn"), Expect(2, 2010, "Bob{$}your turn"),
      Expect(0, 2010, "Ann{$}from the host :)"), Expect(1, 2010, "Ann{$}from the host :)"),
      Expect(2, 2010, "Ann{$}from the host :)"),
      Step(2, "close"), Expect(0, 2008, ""), Expect(1, 2008, ""),
      // The host removes Cid once it has shown this.
      Send(1, 2007, "Cid, Jr{$}remove me"), Expect(0, 2010, "Cid, Jr{$}remove me"),
      Step(1, "expect_close"), Expect(0, 2008, kCid),
      Send(0, 2007, "Bob without a text"), Step(0, "expect_close")});
  const platform::TConnection reply =
      room.host->PeerTextShown.Connect([&](const std::string& name, const std::string& text) {
        QTimer::singleShot(0, [&room, name, text] {
          if (text == "your turn") room.host->SendText("from the host :)");
          if (text == "remove me") room.host->RemoveFromChat(*room.RowOf(name));
        });
      });
  ASSERT_TRUE(members.Passed()) << members.Output();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return room.host->ClientCount() == 0; }, 3000));

  EXPECT_EQ(room.info, (Lines{"Bob has joined the chat", "Cid, Jr has joined the chat", "Ann (2) has joined the chat",
                              "bob (2) has joined the chat", "bob (2) has left the chat", "Ann (2) has left the chat",
                              "Cid, Jr sent a sound...", "Cid, Jr sent a sound...", "Cid, Jr sent a sound...",
                              "Cid, Jr has left the chat", "Bob has left the chat"}));
  EXPECT_EQ(room.peerTexts, (Lines{"Ann (2): I am your host\r\n", "bob (2): remove me\r\n", "Bob: hi, a>b {$} c\r\n", "Bob: your turn\r\n", "Cid, Jr: remove me\r\n"}));
  EXPECT_EQ(room.ownTexts, (Lines{"from the host :)\r\n"}));
  EXPECT_EQ(room.sounds, (std::vector<int>{5, 48}));
  ASSERT_EQ(room.log.size(), 4u) << ::testing::PrintToString(room.log);
  EXPECT_EQ(room.log[0], "Second chat logon on one connection refused");
  EXPECT_EQ(room.log[1].rfind("Room frame of more than", 0), 0u) << room.log[1];
  EXPECT_EQ(room.log[2], "ChatServer Error: Error Host sound play");
  EXPECT_EQ(room.log[3], "Error sending text to chatclient");
  ASSERT_EQ(room.host->Members().Count(), 1);
  EXPECT_EQ(room.host->Members().Rows()[0].Record, kOwn);
}

// Past the room's places, the connection that has waited longest without
// logging on is let go for a newcomer; once every place is a member's, the
// newcomer is turned away before any greeting; and one that never logs on
// goes after the logon interval. None of these goings is a leave; each
// reason is shown once.
TEST(ChatHost, KeepsItsPlacesForMembers) {
  Room room;
  room.host->MaxConnections = 2;
  room.host->SetLogonInterval(500);
  const std::string dan = "85000005{$}Dan{$}1{$}0{$}127.0.0.1{$}2964";
  TRoomMembersScript members(room.port, {
      Step(0, "connect"), Expect(0, 2000, "127.0.0.1"), Send(0, 2001, "52000002{$}Bob{$}2961{$}0"),
      Expect(0, 2006, kBob), Expect(0, 2002, "Lobby{$}Welcome$c all"),
      Step(1, "connect"), Expect(1, 2000, "127.0.0.1"),
      Step(2, "connect"), Step(1, "expect_close"), Expect(2, 2000, "127.0.0.1"),
      Step(3, "connect"), Step(2, "expect_close"), Expect(3, 2000, "127.0.0.1"),
      Send(3, 2001, "85000005{$}Dan{$}2964{$}0"), Expect(0, 2006, dan), Expect(3, 2006, dan),
      Expect(3, 2002, "Lobby{$}Welcome$c all"),
      Step(4, "connect"), Step(4, "expect_close"), Silence(0),
      Step(3, "close"), Expect(0, 2008, dan),
      Step(5, "connect"), Expect(5, 2000, "127.0.0.1"), Step(5, "expect_close", R"("timeout": 3)"),
      Send(0, 2005, ""), Expect(0, 2004, kOwn + "||" + kBob)});
  ASSERT_TRUE(members.Passed()) << members.Output();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return room.host->ClientCount() == 0; }, 3000));
  const std::string away = "A member was turned away from 127.0.0.1: ";
  EXPECT_EQ(room.info, (Lines{"Bob has joined the chat", away + "the room holds all it can; it had not logged on",
                              "Dan has joined the chat", away + "the room holds all it can", "Dan has left the chat",
                              away + "it did not log on in time", "Bob has left the chat"}));
  EXPECT_TRUE(room.log.empty()) << ::testing::PrintToString(room.log);
}

// A link stays while it carries frames either way, as a member who only
// reads does: a dead one stays while the room talks to it, and goes once
// nothing but list answers to others has passed for the idle interval. Its
// member comes back at once, under a name of its own while the dead link
// still holds the first.
TEST(ChatHost, KeepsLinksWhileFramesPassAndTakesADeadLinksMemberBackAtOnce) {
  Room room(0, 1000);
  const std::string greeting = "Lobby{$}Welcome$c all";
  const std::string eve = "85000005{$}Eve{$}1{$}0{$}127.0.0.1{$}2964";
  const std::string bob2 = "52000002{$}Bob (2){$}1{$}0{$}127.0.0.1{$}2961";
  std::vector<std::string> steps{
      Step(0, "connect"), Expect(0, 2000, "127.0.0.1"), Send(0, 2001, "52000002{$}Bob{$}2961{$}0"),
      Expect(0, 2006, kBob), Expect(0, 2002, greeting),
      Step(1, "connect"), Expect(1, 2000, "127.0.0.1"), Send(1, 2001, "85000005{$}Eve{$}2964{$}0"),
      Expect(1, 2006, eve), Expect(1, 2002, greeting),
      Step(2, "connect"), Expect(2, 2000, "127.0.0.1"), Send(2, 2001, "52000002{$}Bob{$}2961{$}0"),
      Expect(1, 2006, bob2), Expect(2, 2006, bob2), Expect(2, 2002, greeting)};
  // Eve talks for twice the interval; then she and Bob, back, only ask for
  // the list, which goes to nobody else, for twice the interval; then Eve
  // says she is done.
  for (int i = 1; i <= 8; ++i) {
    steps.push_back(Send(1, 2007, "Eve{$}" + std::to_string(i)));
    steps.push_back(Step(0, "sleep", R"("seconds": 0.25)"));
  }
  for (int i = 1; i <= 8; ++i) {
    steps.push_back(Send(1, 2005, ""));
    steps.push_back(Send(2, 2005, ""));
    steps.push_back(Step(0, "sleep", R"("seconds": 0.25)"));
  }
  steps.push_back(Send(1, 2007, "Eve{$}done"));
  steps.push_back(Step(0, "sleep", R"("seconds": 0.25)"));
  TRoomMembersScript members(room.port, steps);
  ASSERT_TRUE(members.Passed()) << members.Output();
  const auto at = [&](const std::string& event) {
    return std::find(room.events.begin(), room.events.end(), event) - room.events.begin();
  };
  const std::vector<std::string> order{"Bob (2) has joined the chat", "Eve: 8\r\n", "Bob has left the chat",
                                       "Eve: done\r\n"};
  for (std::size_t i = 1; i < order.size(); ++i)
    EXPECT_LT(at(order[i - 1]), at(order[i])) << ::testing::PrintToString(room.events);
  EXPECT_TRUE(room.log.empty()) << ::testing::PrintToString(room.log);
}

}  // namespace
