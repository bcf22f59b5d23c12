#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "chatrooms/ChatInvite.h"
#include "chatrooms/ChatRoomRoutes.h"
#include "chatrooms/RoomFrames.h"
#include "chatrooms/RoomMembers.h"
#include "conversations/Conversations_helpers.h"
#include "core/Loopback_helpers.h"
#include "core/Widgets_helpers.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"

namespace {

// What receivers of every build make of a line, and what a sender never puts out.
TEST(RoomFrames, ReadsLinesAndNeverWritesALineBreakInsideAFrame) {
  struct Case {
    std::string line;
    int code;
    std::string parameter;
  } cases[] = {
      {"  2010<Bob{$}a>b>\r\n", 2010, "Bob{$}a>b"},       // a ">" inside stays
      {"\t 2007<Cid, Jr{$}x$cy>", 2007, "Cid, Jr{$}x$cy"},  // commas stay commas
      {"  2004<>\r\n", 2004, ""},
      {"  2003<x>", 2003, "x"},
      {"hello", 9999, ""},
      {"  20a7<x>", 9999, "x"},
      {"  2008>x<", 2008, ""},
      {std::string("  2010<a>\0<b>", 13), 2010, "a"},
  };
  for (const Case& c : cases) {
    const TRoomLine got = ReadRoomLine(c.line);
    EXPECT_EQ(got.Code, c.code) << c.line;
    EXPECT_EQ(got.Parameter, c.parameter) << c.line;
  }
  EXPECT_EQ(RoomFrame(2010, "Bob{$}a\r\nb\rc\n"), "  2010<Bob{$}a$r$nb$rc$n>\r\n");
  EXPECT_EQ(ReadTextRecord(TextRecord("Bob", "a, {$} b\r\n$c")).Text, "a, {$} b\r\n,");
  EXPECT_THROW(ReadTextRecord("Bob"), std::invalid_argument);
  EXPECT_EQ(RenamedRecord("Ann{$}hi{$}there", "Bob"), "Bob{$}hi{$}there");
  EXPECT_EQ(RenamedRecord("Ann", "Bob"), "Bob");
}

// A sound is any number: one the table has not plays nothing, as the player decides.
TEST(RoomFrames, ReadsSoundsAsNumbers) {
  const std::pair<std::string, int> cases[] = {
      {"Bob{$}0", 0}, {"Bob{$}47", 47}, {"Bob{$}48", 48}, {"Bob{$}-1", -1}, {"Bob{$}x", 999}, {"Bob", 999}, {"Bob{$}", 999}};
  for (const auto& [record, want] : cases) {
    std::string name;
    int index = 0;
    const bool ok = ReadSoundRecord(record, name, index);
    EXPECT_EQ(ok ? index : 999, want) << record;
    EXPECT_EQ(name, "Bob");
  }
}

// Rows sort by name without case; a member's copy takes out the exact record first, the
// host takes out only the row of the connection that goes.
TEST(RoomMembers, KeepsRowsByNameAndByConnection) {
  TRoomMembers list;
  const int a = 0, b = 0;
  EXPECT_TRUE(list.Add("2{$}Zed{$}1{$}9{$}ip{$}1", &a));
  EXPECT_TRUE(list.Add("1{$}amy{$}0{$}1{$}ip{$}2"));
  EXPECT_TRUE(list.Add("2{$}Zed{$}1{$}1{$}ip2{$}3", &b));
  EXPECT_FALSE(list.Add("3{$}Short{$}1"));
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Rows()[0].Status, "Offline");
  EXPECT_EQ(list.Rows()[0].Image, -1);
  EXPECT_EQ(list.Rows()[1].Status, "");  // a status outside 0..4
  EXPECT_EQ(list.Rows()[2].Status, "Busy");
  EXPECT_FALSE(list.RemoveOwned(nullptr));
  EXPECT_TRUE(list.RemoveOwned(&b));
  EXPECT_EQ(list.Rows()[1].Owner, &a);
  EXPECT_TRUE(list.Add("2{$}Zed{$}1{$}1{$}ip2{$}3"));
  EXPECT_TRUE(list.RemoveRecord("2{$}Zed{$}1{$}1{$}ip2{$}3"));
  EXPECT_EQ(list.Rows()[1].Owner, &a);
  EXPECT_TRUE(list.RemoveRecord("2{$}Other{$}1{$}0{$}x{$}y"));  // by id when no record matches
  EXPECT_FALSE(list.RemoveRecord("2{$}Zed"));
  EXPECT_EQ(list.Count(), 1);
}

// Nobody joins under a name that reads as one already in the room, nor with
// an id standing for one already there, without a mark of its own; the mark
// shows where a window cuts a long name.
TEST(RoomMembers, NamesEachNewcomerApart) {
  const std::vector<std::pair<std::string, std::string>> present{
      {"Owner", "41000001"}, {"Bob", "52000002"}, {"Bob (2)", "77"}, {std::string(70, 'W'), "88"}};
  const struct {
    std::string name, id, named;
  } cases[] = {
      {"Eve", "63000003", "Eve"},
      {"Owner", "63000003", "Owner (2)"},
      {" oWNER\t", "63000003", "oWNER (2)"},
      {"Own\x01" "er", "63000003", "Own\x01" "er (2)"},
      {"Owner\xA0\xAD", "63000003", "Owner (2)"},
      {"Bob", "63000003", "Bob (3)"},
      {"BOB  (2)", "63000003", "BOB  (2) (2)"},
      {"Eve", " 41000001", "Eve (2)"},
      {"Eve", "041000001", "Eve (2)"},
      {"Eve", "+41000001", "Eve (2)"},
      {"Eve", "41000001\t", "Eve (2)"},
      {"Eve", "\xA0" "52000002", "Eve (2)"},
      {"Eve", "410000010", "Eve"},
      {" \t", "0041000001", "(2)"},
      {std::string(64, 'W') + "X", "63000003", std::string(60, 'W') + " (2)"},
      {std::string(63, 'W'), "63000003", std::string(63, 'W')},
  };
  for (const auto& c : cases) EXPECT_EQ(DistinctRoomName(c.name, c.id, present), c.named) << c.name << " / " << c.id;
}

TEST(ChatInvite, ReadsWhatTheListenerHandsOver) {
  TChatInvite invite;
  EXPECT_FALSE(TChatInvite::Read("Ann{$}127.0.0.1{$}2959", invite));
  ASSERT_TRUE(TChatInvite::Read("Ann\r\n Lee{$}10.0.0.1{$}2959{$}Fun\r\n games{$}and more", invite));
  EXPECT_EQ(invite.HostUser, "Ann, Lee");
  EXPECT_EQ(invite.ChatIP, "10.0.0.1");
  EXPECT_EQ(invite.ChatPort, "2959");
  EXPECT_EQ(invite.ChatName, "Fun, games");
  EXPECT_EQ(invite.Parameter(), "Ann, Lee{$}10.0.0.1{$}2959{$}Fun, games");
}

struct Session {
  testing_support::TempHome home;
  TPrompts prompts;
  std::unique_ptr<TSession> session;
  Session() {
    testing_support::WidgetApp();
    session = std::make_unique<TSession>(prompts);
    session->CreateLocalStores();
  }
};

// The invitee decides: its availability, its blocked list (by name, or by the
// id of a contact of that name) and, when asked, its friends.
TEST(ChatInvite, IsWelcomeOnlyAsTheInviteeAllows) {
  Session s;
  TSession& session = *s.session;
  session.Friends.Add(TContact{"Fay", 0, "Available", "", "", "11", "1"});
  session.Online.Add(TContact{"Gus", 0, "Available", "", "", "12", "1"});
  session.BlockedList.Add("12,Gustav");
  session.BlockedList.Add("13,Mallory");
  struct Case {
    bool chatYes, onlyFriends;
    std::string host;
    bool welcome;
  } cases[] = {
      {true, false, "Fay", true},     {true, false, "Stranger", true}, {true, false, "Mallory", false},
      {true, false, "Gus", false},    {true, true, "Fay", true},       {true, true, "Stranger", false},
      {false, false, "Fay", false},
  };
  for (const Case& c : cases) {
    session.Settings.ChatYes = c.chatYes;
    session.Settings.ChatYesOnly = c.onlyFriends;
    EXPECT_EQ(InvitationWelcome(session, c.host), c.welcome) << c.host << " " << c.chatYes << c.onlyFriends;
  }
}

// An invitation of fewer than four fields shows nothing, is logged and its
// connection closes; so does one the invitee does not take.
TEST(ChatInvite, ClosesInvitationsItDoesNotShow) {
  Session s;
  testing_support::TRecordingFactory factory;
  TSession& session = *s.session;
  session.Settings.ListenPort = std::to_string(testing_support::FreePort());
  session.StartListening();
  TChatRoomRoutes routes(session);
  int shown = 0;
  routes.RequestShown = [&](TFormChatRequest&) { ++shown; };
  session.Settings.ChatYes = false;
  for (const std::string& invite : {std::string("Ann{$}127.0.0.1{$}2959"), std::string("Ann{$}1.2.3.4{$}2959{$}x")}) {
    testing_support::TLoopbackCaller caller(session.Settings.ListenPort);
    ASSERT_TRUE(caller.WaitLines(1)) << invite;
    caller.socket.SendCommand(2020, invite, "");
    EXPECT_TRUE(caller.WaitClosed()) << invite;
  }
  EXPECT_EQ(shown, 0);
  std::ifstream log(s.home.Home() / "errorlog.txt");
  const std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(logged.find("Incoming multi chat request"), std::string::npos) << logged;
}

// A contact whose listener never greets does not keep the invitation for
// the rest of the run; one whose listener cannot be reached is a socket
// error in the log.
TEST(ChatInvite, GivesUpAnInvitationThatIsNeverAnswered) {
  Session s;
  testing_support::TScriptedPeer silent(testing_support::TScriptedPeer::Listen, 0,
                                        R"([{"op": "expect_close", "timeout": 5}])");
  TChatInvitations invitations;
  invitations.SetTimeout(200);
  invitations.CreateInviteSocket("127.0.0.1", std::to_string(silent.Port()), TChatInvite{"Ann", "127.0.0.1", "2959", "Lobby"});
  EXPECT_EQ(invitations.Pending(), 1);
  EXPECT_TRUE(silent.Passed(5000)) << silent.Output();
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return invitations.Pending() == 0; }, 2000));

  const std::string nobody = std::to_string(testing_support::FreePort());
  invitations.CreateInviteSocket("127.0.0.1", nobody, TChatInvite{"Ann", "127.0.0.1", "2959", "Lobby"});
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return invitations.Pending() == 0; }, 2000));
  std::ifstream log(s.home.Home() / "errorlog.txt");
  const std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(logged.find(" IP: error - Port: error\r\nError Message: Winsock Error 10061 : "), std::string::npos) << logged;
}

}  // namespace
