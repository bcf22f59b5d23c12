// What every conversation does with a text too long for the receiving side:
// the private chat, the message window, and both ends of a room.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Rooms_helpers.h"
#include "chatrooms/ChatHost.h"
#include "chatrooms/ChatMember.h"
#include "chatrooms/RoomFrames.h"
#include "common/FreePort.h"
#include "conversations/Conversations_helpers.h"
#include "conversations/MessageConversation.h"
#include "conversations/PrivateChat.h"
#include "core/DirectoryServer_helpers.h"
#include "core/Widgets_helpers.h"
#include "core/session/DirectoryLink.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"

namespace {

using Lines = std::vector<std::string>;
using testing_support::TScriptedPeer;

const std::string kTooLong = "The message is too long to send, please send it in parts.";
const std::string kOwnRecord = "41000001||General||2962||Ann" + std::string(28, '|') + "||||||0";

// Every view records the boxes the user is shown and nothing else.
struct Boxes {
  Lines shown;
  void Box(const std::string& text) { shown.push_back(text); }
};
struct ChatView : TPrivateChatView, Boxes {
  void AddSystemLine(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void SetPanel(int, const std::string&) override {}
  void ShowPeerText(const std::string&) override {}
  void ShowOwnText(const std::string&) override {}
  void ShowInformation(const std::string& text, const std::string&) override { Box(text); }
};
struct MessageView : TMessageView, Boxes {
  void ShowPeerText(const std::string&) override {}
  void ShowOwnText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void ShowStatus(const std::string&, int) override {}
  void ShowInformation(const std::string& text, const std::string&) override { Box(text); }
};
struct HostView : TChatHostView, Boxes {
  void AddInfoText(const std::string&) override {}
  void ShowPeerText(const std::string&, const std::string&) override {}
  void ShowOwnText(const std::string&) override {}
  void MembersChanged() override {}
  void ShowInformation(const std::string& text, const std::string&) override { Box(text); }
};
struct MemberView : TChatMemberView, Boxes {
  void AddInfoText(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void SetPanel(int, const std::string&) override {}
  void ShowPeerText(const std::string&, const std::string&) override {}
  void ShowOwnText(const std::string&) override {}
  void MembersChanged() override {}
  void ShowInformation(const std::string& text, const std::string&) override { Box(text); }
};

// One conversation, linked and ready: `send` types a text; `arrived` waits
// until the longest text that fits and then "still here" reached the other
// side, whole and in that order, with nothing (no part of the text that is
// too long) before, between or after them.
struct Linked {
  std::function<bool(const std::string&)> send;
  std::function<bool()> arrived;
  Boxes* boxes = nullptr;
  std::function<std::string()> report = [] { return std::string(); };
};

bool Wait(const std::function<bool()>& done) { return platform::ProcessMessagesUntil(done, 8000); }

// The longest text a side sends: both ends marked, so that a cut one shows.
std::string Longest(std::size_t characters) { return "[" + std::string(characters - 2, 'a') + "]"; }

// Room frames are kept within their budget whole: two blanks, the code, the
// brackets, the sender's name with its separator and the line end.
std::size_t RoomTextRoom(int code, const std::string& name) {
  return kRoomFrameBudget - ("  " + std::to_string(code) + "<" + name + "{$}>\r\n").size();
}

TEST(SendLimits, TheLongestTextArrivesWholeAndOneMoreIsRefusedWithTheLinkKept) {
  testing_support::WidgetApp();
  struct Row {
    const char* name;
    std::size_t longest;  // characters the receiving side still takes in one frame
    std::function<void(const std::string& longest, const std::function<void(Linked&)>&)> run;
  };
  const std::vector<Row> rows = {
      // The private chat's sender keeps 16 bytes of the peer's line limit for
      // the frame's code, brackets and line end.
      {"private chat", TPrivateChat::kLineLimit - 16,
       [](const std::string& longest, const auto& test) {
         ChatView view;
         TScriptedPeer peer(TScriptedPeer::Listen, 0, R"([
           {"op": "send", "code": 1000},
           {"op": "expect", "code": 1001, "params": ")" + kOwnRecord + R"(", "text": ""},
           {"op": "send", "code": 1002, "params": "52000002||General||2963||Bob"},
           {"op": "expect", "code": 1003, "params": "", "text": ""},
           {"op": "expect", "code": 1006, "params": "", "text": ")" + longest + R"("},
           {"op": "expect", "code": 1006, "params": "", "text": "still here"},
           {"op": "send", "code": 1006, "text": "ack"},
           {"op": "expect_close"}])");
         TPrivateChat chat(view, TPrivateChatHost{}, std::make_unique<TParloSocket>());
         chat.SetOwnProfile(kOwnRecord);
         chat.ConnectToPeer("127.0.0.1", std::to_string(peer.Port()));
         bool acked = false;
         const auto sub = chat.PeerTextShown.Connect([&](const std::string& t) { acked = t.rfind("ack", 0) == 0; });
         ASSERT_TRUE(Wait([&] { return chat.Authorized(); })) << peer.Output();
         Linked linked{[&](const std::string& t) { return chat.SendText(t); },
                       [&] { return Wait([&] { return acked; }) && chat.Authorized(); }, &view,
                       [&] { return peer.Output(); }};
         test(linked);
         chat.Close();
         EXPECT_TRUE(peer.Passed()) << peer.Output();
       }},
      {"instant message", TMessageConversation::kMessageLimit,
       [](const std::string& longest, const auto& test) {
         testing_support::TempHome home;
         testing_support::TDirectoryServer server;
         server.AddAccount("secret1", "41000001");
         testing_support::UseLocalServer(server.Port(), "41000001", "secret1");
         TPrompts prompts;
         TSession session(prompts);
         session.LoadCurrentSelections();
         session.CreateLocalStores();
         ASSERT_TRUE(session.StartAfterShow());
         server.WaitFrame(9013, "in");
         MessageView view;
         TMessageConversation conversation(session, view);
         conversation.SetPeer(TMessagePeer{"41000001", "Ann", "", ""});
         const size_t since = server.Frames().size();
         Linked linked{[&](const std::string& t) { return conversation.SendMessage(t); },
                       [&] {
                         Wait([&] { return server.Codes("in", since).size() >= 2; });
                         Lines in;
                         for (const auto& f : server.Frames(since))
                           if (f.Dir == "in") in.push_back(f.Raw);
                         return server.Codes("in", since) == std::vector<int>{9011, 9011} &&
                                in[0].find(longest) != std::string::npos &&
                                in[1].find("still here") != std::string::npos && session.Link().Connected();
                       },
                       &view};
         test(linked);
       }},
      {"room host", RoomTextRoom(2010, "Ann"),
       [](const std::string& longest, const auto& test) {
         HostView view;
         const int port = testing_support::FreeListenPort();
         TChatHost host(view, TChatHostHooks{},
                        TChatRoomSetup{"41000001", "Ann", 0, "2960", "127.0.0.1", std::to_string(port), "Lobby", "", 0});
         ASSERT_TRUE(host.StartListening());
         host.AddOwnRow();
         testing_support::TRoomMembersScript member(port, {
             R"({"m": 0, "op": "connect"})", R"({"m": 0, "op": "expect", "code": 2000, "params": "127.0.0.1"})",
             R"({"m": 0, "op": "send", "code": 2001, "params": "52000002{$}Bob{$}2961{$}0"})",
             R"({"m": 0, "op": "expect", "code": 2006, "params": "52000002{$}Bob{$}1{$}0{$}127.0.0.1{$}2961"})",
             R"({"m": 0, "op": "expect", "code": 2002, "params": "Lobby{$}"})",
             R"({"m": 0, "op": "expect", "code": 2010, "params": "Ann{$})" + longest + R"("})",
             R"({"m": 0, "op": "expect", "code": 2010, "params": "Ann{$}still here"})",
             R"({"m": 0, "op": "send", "code": 2007, "params": "Bob{$}ack"})", R"({"m": 0, "op": "expect_close"})"});
         bool acked = false;
         const auto sub = host.PeerTextShown.Connect([&](const std::string&, const std::string& t) { acked = t.rfind("ack", 0) == 0; });
         ASSERT_TRUE(Wait([&] { return host.Members().Count() == 2; })) << member.Output();
         Linked linked{[&](const std::string& t) { return host.SendText(t); },
                       [&] { return Wait([&] { return acked; }) && host.ClientCount() == 1; }, &view,
                       [&] { return member.Output(); }};
         test(linked);
         host.Close();
         EXPECT_TRUE(member.Passed()) << member.Output();
       }},
      {"room member", RoomTextRoom(2007, "Bob"),
       [](const std::string& longest, const auto& test) {
         MemberView view;
         TScriptedPeer room(TScriptedPeer::Listen, 0, R"([
           {"op": "send", "code": 2000, "params": "127.0.0.1"},
           {"op": "expect", "code": 2001, "params": "52000002{$}Bob{$}2961{$}0", "text": ""},
           {"op": "send", "code": 2002, "params": "Lobby{$}"},
           {"op": "expect", "code": 2005, "params": "", "text": ""},
           {"op": "expect", "code": 2007, "params": "Bob{$})" + longest + R"(", "text": ""},
           {"op": "expect", "code": 2007, "params": "Bob{$}still here", "text": ""},
           {"op": "send", "code": 2010, "params": "Ann{$}ack"},
           {"op": "expect_close"}])");
         TChatMemberHooks hooks;
         hooks.Identity = [] { return TRoomIdentity{"52000002", "Bob", "2961", 0}; };
         TChatMember member(view, std::move(hooks), std::make_unique<TParloSocket>());
         bool logged = false, acked = false;
         const auto in = member.LoggedIn.Connect([&] { logged = true; });
         const auto sub = member.PeerTextShown.Connect([&](const std::string&, const std::string& t) { acked = t.rfind("ack", 0) == 0; });
         member.ConnectToChat("127.0.0.1", std::to_string(room.Port()), "Lobby");
         ASSERT_TRUE(Wait([&] { return logged; })) << room.Output();
         Linked linked{[&](const std::string& t) { return member.SendText(t); },
                       [&] { return Wait([&] { return acked; }) && member.Connected(); }, &view,
                       [&] { return room.Output(); }};
         test(linked);
         member.Close();
         EXPECT_TRUE(room.Passed()) << room.Output();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string longest = Longest(row.longest);
    row.run(longest, [&longest](Linked& linked) {
      EXPECT_TRUE(linked.send(longest));
      EXPECT_EQ(linked.boxes->shown, Lines{});
      EXPECT_FALSE(linked.send(longest + "b"));
      EXPECT_EQ(linked.boxes->shown, Lines{kTooLong});
      EXPECT_TRUE(linked.send("still here"));
      EXPECT_TRUE(linked.arrived()) << linked.report().substr(0, 4000);
    });
  }
}

}  // namespace
