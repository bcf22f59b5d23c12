#include "core/session/RelayedMessages.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Widgets_helpers.h"
#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/IncomingMessages.h"
#include "core/session/MessageRecord.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/StringList.h"
#include "platform/TempHome.h"
#include "transport/CommandCodes.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

// A record as the link hands it on: the parameter parser has turned every
// comma into CR LF.
std::string Params(const std::string& id, const std::string& name, const std::string& message,
                   const std::string& online = "1", const std::string& status = "0",
                   const std::string& ip = "10.0.0.7") {
  std::string record =
      id + "{$}" + name + "{$}" + online + "{$}" + status + "{$}" + ip + "{$}2960{$}1/2/26 9:00:00{$}" + message;
  std::string params;
  for (char c : record) params += c == ',' ? std::string("\r\n") : std::string(1, c);
  return params;
}

// A session on a home whose "incoming.msg" holds `stored` before it starts,
// with message windows that keep what they are asked to show.
struct RelayFixture {
  testing_support::TempHome home;
  TPrompts prompts;
  std::unique_ptr<TSession> session;
  std::vector<std::string> shown, announced;
  std::vector<std::string> open;  // ids with a window
  std::string poison;             // a message text the windows fail on
  std::vector<platform::TConnection> links;

  explicit RelayFixture(const std::string& stored = "", bool windows = true) {
    testing_support::WidgetApp();
    if (!stored.empty()) WriteFile(home.Home() / "Data" / "incoming.msg", stored);
    session = std::make_unique<TSession>(prompts);
    session->CreateLocalStores();
    if (windows) {
      TMessageWindows w;
      w.IsOpen = [this](const std::string& id) { return std::find(open.begin(), open.end(), id) != open.end(); };
      w.Show = [this](const TRelayedMessage& m) {
        if (!poison.empty() && UnescapeMessageText(m.Message) == poison) throw std::runtime_error("cannot render");
        shown.push_back(m.UserID + ": " + UnescapeMessageText(m.Message));
      };
      session->Messages().SetWindows(std::move(w));
    }
    links.push_back(session->Messages().MessageAnnounced.Connect(
        [this](const std::string& id, const std::string& name, const std::string&) { announced.push_back(id + " " + name); }));
    links.push_back(session->Messages().NoMessagesWaiting.Connect([this] { announced.push_back("none"); }));
  }
  std::string Stored() { return ReadFile(home.Home() / "Data" / "incoming.msg"); }
  std::string Log() { return ReadFile(home.Home() / "errorlog.txt"); }
  // 9012 as the server sends it, through the link's blocked test.
  void Receive(const std::string& params) { session->Link().ProcessServerCommand(cmd::MessageIn, params, ""); }
  std::vector<std::string> History() {
    std::vector<std::string> rows;
    platform::Dataset& h = session->DB().History;
    h.ClearFilter();
    for (h.First(); !h.Eof(); h.Next()) rows.push_back(h.FieldValue("UserID") + " " + h.FieldValue("Message"));
    return rows;
  }
};

// The queue keeps every message until it was shown, in the order they came:
// a new key is one past the highest, whatever the file holds, and keys are
// read by their number. Each change is on disk at once.
TEST(RelayedMessages, QueueNeverOverwritesAndKeepsArrivalOrder) {
  const std::string r = "{$}Bea{$}1{$}0{$}ip{$}1{$}t{$}";
  RelayFixture f("[111]\r\nmsg0=111" + r + "zero\r\nmsg2=111" + r + "two\r\nMSG10=111" + r + "ten\r\n", true);
  f.session->Settings.ShowMsg = false;
  f.Receive(Params("111", "Bea", "eleven"));
  EXPECT_EQ(f.session->Messages().Store().Keys("111"), (std::vector<std::string>{"msg0", "msg2", "MSG10", "msg11"}));
  EXPECT_NE(f.Stored().find("msg11=111{$}Bea{$}1{$}0{$}10.0.0.7{$}2960{$}1/2/26 9:00:00{$}eleven"), std::string::npos);
  EXPECT_EQ(f.announced, std::vector<std::string>{"111 Bea"});

  f.session->Messages().OpenMessagesFrom("111");
  EXPECT_EQ(f.shown, (std::vector<std::string>{"111: zero", "111: two", "111: ten", "111: eleven"}));
  EXPECT_EQ(f.Stored(), "");
  f.session->Messages().CheckMessages();
  EXPECT_EQ(f.announced.back(), "none");
}

// What arrives is stored, listed and shown or announced as the settings and
// the open windows say; what must not be (a blocked sender, an id that is no
// number, a short record) leaves no trace but the log.
TEST(RelayedMessages, ReceivingFollowsTheSettingsAndDropsWhatItMustNot) {
  struct Case {
    const char* name;
    std::string params;
    bool showMsg, windowOpen, windows;
    std::string shown, announced, listed, stored, logged;
  };
  const std::vector<Case> cases = {
      {"shown at once", Params("111", "Bea", "hi, you"), true, false, true, "111: hi, you", "", "Bea=Available", "", ""},
      {"announced", Params("111", "Bea", "hi"), false, false, true, "", "111 Bea", "Bea=Available", "[111]", ""},
      {"into the open window", Params("111", "Bea", "hi"), false, true, true, "111: hi", "", "Bea=Available", "", ""},
      {"no windows yet", Params("111", "Bea", "hi"), true, false, false, "", "111 Bea", "Bea=Available", "[111]", ""},
      {"offline sender", Params("111", "Bea", "hi", "0", "3"), false, false, true, "", "111 Bea", "Bea=Offline", "[111]",
       ""},
      {"unknown status", Params("111", "Bea", "hi", "1", "9"), false, false, true, "", "111 Bea", "Bea=", "[111]", ""},
      {"blocked sender", Params("666", "Pest", "buy"), true, false, true, "", "", "", "", ""},
      {"id is no number", Params("1]x", "Odd", "hi"), true, false, true, "", "", "", "", "is no user id"},
      {"short record", "111{$}Bea{$}1{$}0{$}ip{$}1{$}t", true, false, true, "", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RelayFixture f("", c.windows);
    f.session->BlockedList.Add("666,Pest");
    f.session->Settings.ShowMsg = c.showMsg;
    if (c.windowOpen) f.open.push_back("111");
    f.Receive(c.params);
    EXPECT_EQ(f.shown.empty() ? "" : f.shown[0], c.shown);
    EXPECT_EQ(f.announced.empty() ? "" : f.announced[0], c.announced);
    std::string listed;
    for (const auto& [key, contact] : f.session->Incoming.Entries()) listed += contact.UserName + "=" + contact.Status;
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(f.Stored().substr(0, c.stored.size()), c.stored);
    if (c.stored.empty()) {
      EXPECT_EQ(f.Stored(), "");
    }
    if (!c.logged.empty()) {
      EXPECT_NE(f.Log().find(c.logged), std::string::npos);
    }
  }
}

// One message that cannot be read or shown never holds up the others: the
// check walks past (and drops) what is unreadable, and a message whose window
// fails is logged and taken out.
TEST(RelayedMessages, PoisonDrainsAndTheRestGoOn) {
  const std::string r = "{$}Cy{$}1{$}0{$}ip{$}1{$}t{$}";
  RelayFixture f("[12a]\r\nmsg0=12a" + r + "x\r\n"          // no user id
            "[111]\r\nmsg0=111{$}short\r\n"            // fewer than eight fields
            "[222]\r\nnotes=whatever\r\n"              // no message key
            "[333]\r\nmsg0=333" + r + "bad\r\nmsg1=333" + r + "good\r\n"
            "[444]\r\nmsg0=444" + r + "later\r\n");
  f.poison = "bad";
  f.session->Messages().CheckMessages();
  EXPECT_EQ(f.announced, std::vector<std::string>{"333 Cy"});
  EXPECT_EQ(f.session->Messages().Store().Senders(), (std::vector<std::string>{"333", "444"}));

  f.session->Messages().OpenMessagesFrom("333");
  EXPECT_EQ(f.shown, std::vector<std::string>{"333: good"});
  // The next sender waiting is announced.
  EXPECT_EQ(f.announced.back(), "444 Cy");
  EXPECT_EQ(f.session->Messages().Store().Senders(), std::vector<std::string>{"444"});
  // Shown as it arrives: one that fails is not kept to fail again at every check.
  f.session->Settings.ShowMsg = true;
  f.Receive(Params("555", "Dee", "bad"));
  f.Receive(Params("555", "Dee", "fine"));
  EXPECT_EQ(f.shown.back(), "555: fine");
  EXPECT_EQ(f.session->Messages().Store().Senders(), std::vector<std::string>{"444"});
  const std::string log = f.Log();
  for (const char* entry : {"\"12a\" is no user id", "111 msg0 cannot be read", "Error Message: Showing new message\r\n",
                            "Error Message: Receiving message\r\n"})
    EXPECT_NE(log.find(entry), std::string::npos) << entry;
}

// Storing appends: a message costs one write whatever waits, and a crash in
// the middle of one loses that one only. What waits is bounded, and the
// windows too: past their bound a message waits as with ShowMsg off.
TEST(RelayedMessages, StoreAppendsSurvivesACutAndIsBounded) {
  const std::string r = "{$}Bea{$}1{$}0{$}ip{$}1{$}t{$}";
  RelayFixture f("[111]\r\nmsg0=111" + r + "zero\r\n\r\n[111]\r\nmsg1=111" + r + "one, cut sh");
  EXPECT_EQ(f.session->Messages().Store().Keys("111"), std::vector<std::string>{"msg0"});
  EXPECT_NE(f.Log().find("a message cut short"), std::string::npos);
  f.session->Settings.ShowMsg = false;
  f.Receive(Params("222", "Cy", "hi"));
  f.Receive(Params("111", "Bea", "again"));
  const std::string sent = "{$}1{$}0{$}10.0.0.7{$}2960{$}1/2/26 9:00:00{$}";
  EXPECT_EQ(f.Stored(), "[111]\r\nmsg0=111" + r + "zero\r\n\r\n[111]\r\n[222]\r\nmsg0=222{$}Cy" + sent + "hi\r\n\r\n" +
                            "[111]\r\nmsg1=111{$}Bea" + sent + "again\r\n\r\n");

  for (int i = 0; i < TIncomingMessages::kMaxWaitingPerSender + 5; ++i) f.Receive(Params("333", "Dee", "flood"));
  EXPECT_EQ(f.session->Messages().Store().Keys("333").size(), std::size_t(TIncomingMessages::kMaxWaitingPerSender));
  f.Receive(Params("444", "Eve", "still kept"));
  EXPECT_EQ(f.session->Messages().Store().Keys("444").size(), 1u);
  const std::string log = f.Log();
  EXPECT_EQ(log.find("new ones are not kept"), log.rfind("new ones are not kept"));
  EXPECT_NE(log.find("new ones are not kept"), std::string::npos);

  // Windows full: the message waits and the main window is told.
  f.session->Settings.ShowMsg = true;
  bool room = false;
  TMessageWindows w;
  w.IsOpen = [](const std::string&) { return false; };
  w.Show = [&f](const TRelayedMessage& m) { f.shown.push_back(m.UserID); };
  w.HasRoom = [&room] { return room; };
  f.session->Messages().SetWindows(std::move(w));
  f.Receive(Params("555", "Fay", "wait"));
  EXPECT_EQ(f.session->Messages().Store().Keys("555").size(), 1u);
  EXPECT_NE(f.session->StatusText().find("Too many message windows"), std::string::npos);
  room = true;
  f.Receive(Params("666", "Gus", "show"));
  EXPECT_EQ(f.shown, std::vector<std::string>{"666"});
  EXPECT_TRUE(f.session->Messages().Store().Keys("666").empty());
}

// A store left fuller than its bounds is cut to them as it is read, at a
// cost in proportion to the file, and written back so. Full, it still keeps
// a friend's message: strangers' messages make way, those of the stranger
// holding the most first. Only the friend's own address makes a friend.
TEST(RelayedMessages, FullStoreIsReadWithinItsBoundsAndKeepsFriends) {
  const std::string r = "{$}S{$}1{$}0{$}10.0.0.9{$}2960{$}t{$}flood";
  std::string stored;
  // 2,400 messages of 12 senders, each section repeated as appends leave it.
  for (int n = 0; n < 200; ++n)
    for (int sender = 0; sender < 12; ++sender) {
      const std::string id = std::to_string(700 + sender);
      stored += "[" + id + "]\r\nmsg" + std::to_string(n) + "=" + id + r + "\r\n\r\n";
    }
  RelayFixture f(stored);
  TIncomingMessages& store = f.session->Messages().Store();
  const auto waiting = [&store] {
    std::size_t count = 0;
    for (const std::string& sender : store.Senders()) count += store.Keys(sender).size();
    return count;
  };
  EXPECT_EQ(waiting(), std::size_t(TIncomingMessages::kMaxWaiting));
  // Kept as they came: each sender's first messages, up to the bound in all.
  EXPECT_EQ(store.Keys("700").size(), 167u);
  EXPECT_EQ(store.Keys("711").size(), 166u);
  EXPECT_NE(f.Log().find("held 400 more messages than may wait"), std::string::npos);
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = f.Stored().find("=", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, std::size_t(TIncomingMessages::kMaxWaiting));

  f.session->Settings.ShowMsg = false;
  f.session->DB().AddFriend("111", "Bea", "10.0.0.7", "2960");
  f.session->DB().AddFriend("222", "Cy", "10.0.0.8", "2960");
  f.Receive(Params("800", "Stranger", "not kept"));
  f.Receive(Params("111", "Bea", "kept"));
  f.Receive(Params("111", "Bea", "kept too"));
  f.Receive(Params("222", "Cy", "from elsewhere: a stranger", "1", "0", "10.0.0.7"));
  EXPECT_TRUE(store.Keys("800").empty());
  EXPECT_TRUE(store.Keys("222").empty());
  EXPECT_EQ(store.Keys("111"), (std::vector<std::string>{"msg0", "msg1"}));
  EXPECT_EQ(waiting(), std::size_t(TIncomingMessages::kMaxWaiting));
  EXPECT_EQ(store.Keys("700").size(), 166u);
  EXPECT_EQ(store.Keys("701").size(), 166u);
  EXPECT_NE(f.Stored().find("msg1=111{$}Bea"), std::string::npos);
  EXPECT_EQ(f.Stored().find("msg166=700{$}"), std::string::npos);
  EXPECT_NE(f.Stored().find("msg166=702{$}"), std::string::npos);
  const std::string log = f.Log();
  const std::string madeWay = "strangers' messages are dropped to keep a friend's";
  EXPECT_NE(log.find(madeWay), std::string::npos);
  EXPECT_EQ(log.find(madeWay), log.rfind(madeWay));
}

// History rows follow LogHistory and LogHistoryOnly in both directions, with
// the text as the user wrote it.
TEST(RelayedMessages, HistoryFollowsTheSettings) {
  struct Case {
    const char* name;
    bool log, onlyFriends, friendPeer;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {"everyone", true, false, false, {"111 out > {$}, ok", "111 in"}},
      {"friends only, a friend", true, true, true, {"111 out > {$}, ok", "111 in"}},
      {"friends only, a stranger", true, true, false, {}},
      {"off", false, false, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RelayFixture f;
    f.session->Settings.LogHistory = c.log;
    f.session->Settings.LogHistoryOnly = c.onlyFriends;
    if (c.friendPeer) f.session->DB().AddFriend("111", "Bea", "", "");
    // Not connected: nothing is sent, the row is written all the same.
    EXPECT_FALSE(f.session->Messages().SendMessageViaServer(EscapeMessageText("out > {$}, ok"), "111"));
    f.Receive(Params("111", "Bea", "in"));
    EXPECT_EQ(f.History(), c.rows);
    // On disk at once, not only at the end of the run.
    const std::string saved = ReadFile(f.home.Home() / "Data" / "History.cds");
    EXPECT_EQ(saved.find("out > {$}, ok") != std::string::npos, !c.rows.empty());
  }
}

}  // namespace
