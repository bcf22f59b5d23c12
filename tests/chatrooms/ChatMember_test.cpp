#include "chatrooms/ChatMember.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "conversations/Conversations_helpers.h"
#include "core/session/PeerBounds.h"
#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

namespace {

using Lines = std::vector<std::string>;
using testing_support::TScriptedPeer;

const std::string kAnnRecord = "41000001{$}Ann{$}1{$}0{$}127.0.0.1{$}2960";
const std::string kBobRecord = "52000002{$}Bob{$}1{$}1{$}10.1.2.3{$}2961";
const std::string kEve = "74000004{$}Eve{$}1{$}3{$}127.0.0.1{$}2963";

// Bob's side of a room, with everything it shows, plays and logs recorded.
struct Member : TChatMemberView {
  Lines info, peerTexts, ownTexts, boxes, panel1, log;
  std::string caption;
  std::vector<int> events, sounds;
  std::unique_ptr<TChatMember> member;

  void AddInfoText(const std::string& text) override { info.push_back(text); }
  void SetCaption(const std::string& text) override { caption = text; }
  void SetPanel(int panel, const std::string& text) override {
    if (panel == 1) panel1.push_back(text);
  }
  void ShowPeerText(const std::string& name, const std::string& text) override { peerTexts.push_back(name + ": " + text); }
  void ShowOwnText(const std::string& text) override { ownTexts.push_back(text); }
  std::vector<Lines> lists;  // the member list after each change
  void MembersChanged() override {
    Lines records;
    for (const auto& row : member->Members().Rows()) records.push_back(row.Record);
    lists.push_back(records);
  }
  void ShowInformation(const std::string& text, const std::string&) override { boxes.push_back(text); }

  Member() {
    testing_support::WidgetApp();
    TChatMemberHooks hooks;
    // "[address:port] message"
    hooks.LogError = [this](const std::string& a, const std::string& p, const std::string& m) {
      log.push_back("[" + a + ":" + p + "] " + m);
    };
    hooks.PlayChatSound = [this](int n) { sounds.push_back(n); };
    hooks.PlayEventSound = [this](int e) { events.push_back(e); };
    hooks.Identity = [] { return TRoomIdentity{"52000002", "Bob", "2961", 1}; };
    member = std::make_unique<TChatMember>(*this, std::move(hooks), std::make_unique<TParloSocket>());
  }
};

// A member against a host written from the protocol: the logon answer, the
// greeting and the list, its own text and sound on the wire, the room's
// texts (a ">" and a "{$}" inside from our build, escapes from an older
// sender), sounds outside the table handed to the player, one that is no
// number logged (the member stays), a leave, short records and unknown codes
// ignored, and a text record without its text, which ends the link.
TEST(ChatMember, TakesPartInARoomOfAScriptedHost) {
  Member bob;
  TScriptedPeer host(TScriptedPeer::Listen, 0, R"([
    {"op": "send", "code": 2000, "params": "10.1.2.3"},
    {"op": "expect", "code": 2001, "params": "52000002{$}Bob{$}2961{$}1", "text": ""},
    {"op": "send", "code": 2006, "params": ")" + kBobRecord + R"("},
    {"op": "send", "code": 2002, "params": "Lobby{$}Welcome$c all"},
    {"op": "expect", "code": 2005, "params": "", "text": ""},
    {"op": "expect", "code": 2007, "params": "Bob{$}hello$c room$r$nsecond line", "text": ""},
    {"op": "expect", "code": 2011, "params": "Bob{$}3", "text": ""},
    {"op": "send", "code": 2004, "params": ")" + kAnnRecord + "||" + kBobRecord + "||" + kEve + R"("},
    {"op": "raw", "data": "  2010<Eve{$}a > b {$} c>\r\n"},
    {"op": "send", "code": 2010, "params": "Eve{$}old$c text"},
    {"op": "send_frames", "frames": [[2012, "Eve{$}7", ""], [2012, "Eve{$}48", ""], [2012, "Eve{$}x", ""]]},
    {"op": "send_frames", "frames": [[2008, ")" + kEve + R"(", ""], [2008, "short{$}record", ""], [2003, "x", ""]]},
    {"op": "raw", "data": "no frame at all\r\n"},
    {"op": "send", "code": 2010, "params": "Eve without a text"},
    {"op": "expect_close", "timeout": 5}])");
  const platform::TConnection say = bob.member->LoggedIn.Connect([&] {
    EXPECT_TRUE(bob.member->SendText("hello, room\r\nsecond line"));
    bob.member->SendSound(3);
  });
  bob.member->ConnectToChat("127.0.0.1", std::to_string(host.Port()), "Lobby");
  ASSERT_TRUE(host.Passed()) << host.Output();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return bob.panel1.back() == "Connection Closed..."; }, 3000));

  EXPECT_EQ(bob.caption, "Multi-Chat: Lobby");
  EXPECT_EQ(bob.info, (Lines{"Connecting to chat: Lobby", "Logging on to chat: Lobby", "Logged in to chat: Lobby",
                             "Eve sent a sound...", "Eve sent a sound...", "Eve sent a sound...",
                             "Eve has left the chat", "Connection to chat closed..."}));
  EXPECT_EQ(bob.peerTexts, (Lines{"Lobby: Welcome, all\r\n", "Eve: a > b {$} c\r\n", "Eve: old, text\r\n"}));
  EXPECT_EQ(bob.ownTexts, (Lines{"hello, room\r\nsecond line\r\n"}));
  EXPECT_EQ(bob.sounds, (std::vector<int>{3, 7, 48}));
  EXPECT_EQ(bob.events, (std::vector<int>{4, 5}));
  // The list as the room left it, kept once the link is gone.
  EXPECT_EQ(bob.lists.back(), (Lines{kAnnRecord, kBobRecord}));
  // The room's own entries name no address.
  EXPECT_EQ(bob.log, (Lines{"[:] ChatServer Error: Error Chat client sound play",
                            "[:] ChatServer Error: Error chatclient receiving text"}));

  // Closed: a text is refused and stays; a sound still plays here.
  EXPECT_FALSE(bob.member->SendText("anyone?"));
  EXPECT_EQ(bob.boxes, (Lines{"The connection is either not established yet, or has been closed."}));
  bob.member->SendSound(9);
  EXPECT_EQ(bob.sounds.back(), 9);
}

// A host may list more members than any room has, or names of tens of
// kilobytes: past either bound a list's further records and joins are left
// out until a leave makes room, and the log says so once.
TEST(ChatMember, ListsNoMoreRowsThanItsBoundsAllow) {
  Member bob;
  TChatMember& m = *bob.member;
  auto user = [](int n, std::size_t name) {
    return std::to_string(60000000 + n) + "{$}" + std::string(name, 'u') + std::to_string(n) + "{$}1{$}0{$}{$}1";
  };
  std::string list = user(0, 3);
  for (int n = 1; n < peerbounds::kRoomRows + 50; ++n) list += "||" + user(n, 3);
  const std::string zed = "69999999{$}zed{$}1{$}0{$}{$}1";
  m.DispatchChatCommand(2004, list);
  m.DispatchChatCommand(2006, zed);
  EXPECT_EQ(m.ClientCount(), peerbounds::kRoomRows);
  m.DispatchChatCommand(2008, user(7, 3));
  m.DispatchChatCommand(2006, zed);
  EXPECT_EQ(m.Members().Records().back(), zed);
  m.DispatchChatCommand(2004, "");
  for (int n = 0; n < 100; ++n) m.DispatchChatCommand(2006, user(n, 60000));
  // Each row holds its name twice (the name and the record), and is counted so.
  ASSERT_GT(m.ClientCount(), 0);
  EXPECT_GT(TRoomMembers::Cost(m.Members().Rows()[0]), 2 * 60000);
  EXPECT_LE(m.Members().Bytes(), peerbounds::kRoomListBytes);
  EXPECT_GT(m.Members().Bytes() + TRoomMembers::Cost(m.Members().Rows()[0]), peerbounds::kRoomListBytes);
  EXPECT_EQ(bob.log, (Lines{"[:] Room list of more than 257 members or 4194304 bytes; the rest are not listed"}));
}

}  // namespace
