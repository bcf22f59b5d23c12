#include "core/session/DirectoryLink.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DirectoryServer_helpers.h"
#include "Loopback_helpers.h"
#include "Widgets_helpers.h"
#include "common/Settle.h"
#include "core/session/DBStuff.h"
#include "core/session/Paths.h"
#include "core/session/Prompts.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"
#include "transport/CmdParser.h"
#include "transport/ParloSocket.h"

namespace {

using testing_support::TDirectoryServer;

// The user's answers: a registration that sets RegisterPassword (none: the
// user cancels), and every message box kept as "caption: text".
struct AnsweringPrompts : TPrompts {
  std::string RegisterPassword;
  int Registrations = 0;
  std::vector<std::string> Shown;

  void ShowError(const std::string& text, const std::string& caption) override {
    Shown.push_back(caption + ": " + text);
  }
  bool AskRegistration(TDBStuff&, TRegistrationHost host) override {
    ++Registrations;
    if (RegisterPassword.empty()) return false;
    host.SetAccountPassword(RegisterPassword);
    return true;
  }
};

// A session on a fresh home, set up for the local directory server, started
// as the main window's first show starts it.
struct Client {
  testing_support::TempHome home;
  AnsweringPrompts prompts;
  std::unique_ptr<TSession> session;

  Client(int serverPort, const std::string& uid, const std::string& password,
         const std::vector<std::vector<std::string>>& friends = {}) {
    testing_support::WidgetApp();
    testing_support::UseLocalServer(serverPort, uid, password);
    TReg::WriteBool(TReg::SettingsSection, "NoSound", true);
    session = std::make_unique<TSession>(prompts);
    for (const auto& f : friends) session->DB().AddFriend(f[0], f[1], f[2], f[3]);
    session->LoadCurrentSelections();
    session->CreateLocalStores();
  }
  TDirectoryLink& Link() { return session->Link(); }
  // "id=status" of every entry, in the order added.
  std::vector<std::string> Entries(const TContacts& list) {
    std::vector<std::string> out;
    for (const auto& [key, c] : list.Entries()) out.push_back(c.UserID + "=" + c.Status);
    return out;
  }
};

const std::string kUid = "12345678", kPass = "secret1", kFriend = "87654321";

// The log-on as the server sees it, then everything the server may push at
// will, each answered (or not) as the protocol says, into the lists and the
// events the other windows subscribe to.
TEST(DirectoryLink, LogsOnAndAnswersWhatTheServerPushes) {
  TDirectoryServer server;
  server.AddAccount(kPass, kUid);
  server.AddAccount("secret2", kFriend);
  Client client(server.Port(), kUid, kPass, {{kFriend, "Bea", "", ""}});
  std::vector<std::string> events;
  std::vector<platform::TConnection> links;
  TDirectoryLink& link = client.Link();
  links.push_back(link.IncomingMessage.Connect([&](const std::string& p) { events.push_back("message " + p); }));
  links.push_back(link.ShowRandomContact.Connect([&](const std::string& p) { events.push_back("random " + p); }));
  links.push_back(link.ShowNoRandomContact.Connect([&] { events.push_back("no random"); }));
  links.push_back(link.UpdateInformation.Connect([&](const std::string& p) { events.push_back("update " + p); }));
  links.push_back(link.PhotoAnswer.Connect([&](const std::string& p, const std::string&) {
    events.push_back("photo " + p);
  }));
  links.push_back(link.LoggedOn.Connect([&] { events.push_back("logged on"); }));

  ASSERT_TRUE(client.session->StartAfterShow());
  server.WaitFrame(9013, "in");
  EXPECT_EQ(server.Codes("in"), (std::vector<int>{9003, 9005, 9007, 9009, 9015, 9017, 9013}));
  EXPECT_EQ(client.Entries(client.session->Friends), std::vector<std::string>{kFriend + "=Offline"});
  EXPECT_EQ(client.session->Settings.ListenIP, "127.0.0.1");
  EXPECT_EQ(events, std::vector<std::string>{"logged on"});
  events.clear();

  client.session->BlockedList.Add("66666666,Pest");
  struct Push {
    int code;
    std::string params;
    std::vector<int> answers;
    std::function<void()> check;
  };
  const std::vector<Push> pushes = {
      {9016, kFriend + "{$}Bea{$}1{$}3{$}10.0.0.2{$}2961", {},
       [&] { EXPECT_EQ(client.Entries(client.session->Friends), std::vector<std::string>{kFriend + "=Away"}); }},
      {9032, kFriend + "{$}Bea{$}1{$}1{$}10.0.0.2{$}2961", {9027},
       [&] { EXPECT_EQ(client.Entries(client.session->Friends), std::vector<std::string>{kFriend + "=Busy"}); }},
      {9010, "11111111{$}Ann{$}1{$}0{$}10.0.0.4{$}2960||22222222{$}Cy{$}1{$}2{$}10.0.0.5{$}2960", {9015},
       [&] {
         EXPECT_EQ(client.Entries(client.session->Online),
                   (std::vector<std::string>{"11111111=Available", "22222222=Invisible"}));
       }},
      {9028, "", {9027}, [] {}},
      {9012, "66666666{$}Pest{$}1{$}0{$}10.0.0.9{$}2960{$}now{$}hi", {},
       [&] { EXPECT_TRUE(events.empty()); }},
      {9012, "55555555{$}Dan{$}1{$}0{$}10.0.0.8{$}2960{$}now{$}hello", {},
       [&] {
         EXPECT_EQ(events, std::vector<std::string>{"message 55555555{$}Dan{$}1{$}0{$}10.0.0.8{$}2960{$}now{$}hello"});
       }},
      {9018, "11111111{$}Ann{$}1", {}, [&] { EXPECT_EQ(events.back(), "random 11111111{$}Ann{$}1"); }},
      {9020, "", {}, [&] { EXPECT_EQ(events.back(), "no random"); }},
      {9026, "1.0.0.1{$}http://h/u.exe", {}, [&] { EXPECT_EQ(events.back(), "update 1.0.0.1{$}http://h/u.exe"); }},
      {9101, "", {}, [&] { EXPECT_EQ(events.back(), "photo "); }},
  };
  for (const auto& push : pushes) {
    SCOPED_TRACE(push.code);
    const size_t since = server.Frames().size();
    const size_t seen = events.size();
    server.Send(kUid, push.code, push.params);
    for (const int answer : push.answers) server.WaitFrame(answer, "in", since);
    // Events and list changes have no frame to wait for: give them a moment.
    platform::ProcessMessagesUntil([&] { return events.size() > seen; }, push.answers.empty() ? 300 : 50);
    EXPECT_EQ(server.Codes("in", since), push.answers);
    push.check();
  }

  // A blocked sender's message changes nothing, not even the status line.
  client.session->SetStatusText("Checking messages...");
  events.clear();
  size_t since = server.Frames().size();
  server.Send(kUid, 9012, "66666666{$}Pest{$}1{$}0{$}10.0.0.9{$}2960{$}now{$}hi");
  server.Send(kUid, 9028);
  server.WaitFrame(9027, "in", since);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(client.session->StatusText(), "Checking messages...");

  // The keep-alive's listing is answered 9013, never 9015.
  since = server.Frames().size();
  link.SetAliveInterval(50);
  const auto alive = server.WaitFrame(9031, "in", since);
  EXPECT_EQ(alive.Params, std::vector<std::string>{kFriend});
  server.WaitFrame(9013, "in", since);
  link.EnableKeepAlive(false);
  testing_support::Settle(100);
  const auto after = server.Codes("in", since);
  ASSERT_GE(after.size(), 3u);
  EXPECT_EQ(std::vector<int>(after.begin(), after.begin() + 3), (std::vector<int>{9031, 9027, 9013}));

  // A code the client does not take ends the link.
  server.Send(kUid, 4711);
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return !link.Connected(); }, 3000));
}

// Without an account the user registers first: the password goes out in
// 9001, the new id is stored and shown, and the log-on follows. A 9002 that
// answers no 9001 of this connection sets nothing and ends the link; an
// answer to one that cannot be read empties what was stored and asks again.
TEST(DirectoryLink, RegistersAnAccountThenLogsOn) {
  TDirectoryServer server;
  Client client(server.Port(), "", "");
  client.prompts.RegisterPassword = "secret9";
  int captions = 0, ends = 0;
  auto caption = client.session->IdentityChanged.Connect([&] { ++captions; });
  auto end = client.session->EndRequested.Connect([&] { ++ends; });
  ASSERT_TRUE(client.session->StartAfterShow());
  const auto reg = server.WaitFrame(9001, "in");
  EXPECT_EQ(reg.Params, std::vector<std::string>{"secret9"});
  const auto logon = server.WaitFrame(9003, "in");
  const std::string uid = client.session->Settings.UserID;
  ASSERT_EQ(uid.size(), 8u);
  EXPECT_EQ(logon.Params, (std::vector<std::string>{uid, "secret9"}));
  EXPECT_EQ(TReg::ReadSettingString("UserID"), uid);
  EXPECT_EQ(TReg::ReadSettingString("UserPass"), "secret9");
  EXPECT_EQ(client.session->Caption(), "Parlo - " + uid);
  EXPECT_EQ(captions, 1);
  server.WaitFrame(9015, "in");

  server.Send(uid, 9002, "99999999,stolen");
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return !client.Link().Connected(); }, 3000));
  EXPECT_EQ(TReg::ReadSettingString("UserID"), uid);
  EXPECT_EQ(TReg::ReadSettingString("UserPass"), "secret9");
  EXPECT_EQ(client.session->Settings.UserID, uid);
  EXPECT_TRUE(client.prompts.Shown.empty());

  client.prompts.RegisterPassword.clear();
  server.ReplyOnce(9001, "  9002<no-comma>\r\n");
  client.session->Settings.HasUserID = false;
  client.Link().ConnectToServer();
  EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return ends == 1; }, 3000));
  EXPECT_EQ(client.prompts.Shown,
            std::vector<std::string>{"Registration Error: There was an error in the registration process."});
  EXPECT_EQ(client.prompts.Registrations, 2);
  EXPECT_EQ(TReg::ReadSettingString("UserID"), "");
  EXPECT_FALSE(client.Link().Connected());
}

TEST(DirectoryLink, RegistrationReplyStoresTheAccountOrClearsIt) {
  struct Case {
    const char* frame;
    bool ok;
    std::string id, pass;
  };
  const std::vector<Case> cases = {
      {"  9002<12345678,secret1>", true, "12345678", "secret1"},
      {"  9002<12345678,secret1,extra>", true, "12345678", "secret1"},
      {"  9002<12345678>", false, "", ""},
      {"  9002<>", false, "", ""},
      {"  9002<,secret1>", false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    Client client(1, "old", "old");
    client.session->Settings.HasUserID = false;
    EXPECT_EQ(client.Link().HandleRegistrationReply(TCmdParser::ExtractParameters(c.frame)), c.ok);
    EXPECT_EQ(client.session->Settings.HasUserID, c.ok);
    EXPECT_EQ(TReg::ReadSettingString("UserID"), c.id);
    EXPECT_EQ(TReg::ReadSettingString("UserPass"), c.pass);
    if (c.ok) {
      EXPECT_EQ(client.session->Caption(), "Parlo - " + c.id);
    }
  }
}

// A refused connect ends as any closed link does, without an entry; a
// connect the system turns down at once is a socket error; an address that
// cannot be resolved is logged, never raised out of the action. The status
// says the link is closed in each case.
TEST(DirectoryLink, FailedConnectsEndClosed) {
  struct Case {
    std::string ip, port, entry;
  };
  const std::vector<Case> cases = {
      {"127.0.0.1", std::to_string(testing_support::FreePort()), ""},
      {"127.0.0.1", "port", "Connecting to the server: NetSocketResolvePort: Cannot convert port 'port'"},
      {"224.0.0.1", "9961", "Winsock Error 10051 : Network is unreachable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ip + ":" + c.port);
    Client client(1, "12345678", "secret1");
    client.session->SetStatusText("before");
    client.session->Settings.ServerIP = c.ip;
    client.session->Settings.ServerPort = c.port;
    client.Link().ConnectToServer();
    const std::string want = c.port == "port" ? "before" : "Server connection closed";
    platform::ProcessMessagesUntil([&] { return client.session->StatusText() == want; }, 3000);
    testing_support::Settle(100);
    EXPECT_EQ(client.session->StatusText(), want);
    EXPECT_FALSE(client.Link().Connected());
    const std::string log = testing_support::ReadFile(client.home.Home() / "errorlog.txt");
    if (c.entry.empty()) {
      EXPECT_EQ(log, "");
    } else {
      // A connect that failed has no peer: the socket names it "error".
      const bool socketError = c.entry.starts_with("Winsock");
      EXPECT_NE(log.find(" IP: " + (socketError ? std::string("error") : c.ip) + " - Port: " +
                         (socketError ? std::string("error") : c.port) + "\r\nError Message: " + c.entry),
                std::string::npos)
          << log;
    }
  }
}

// Refused credentials are tried again at the next keep-alive once the box is gone.
TEST(DirectoryLink, KeepAliveTriesARefusedLogOnAgain) {
  TDirectoryServer server;
  server.AddAccount(kPass, kUid);
  Client client(server.Port(), kUid, "wrong1");
  client.session->Settings.AutoLogon = true;
  client.Link().ActionServerConnectExecute();
  for (size_t shown = 1; shown <= 2; ++shown) {
    const size_t since = server.Frames().size();
    if (shown == 2) client.Link().TimerAliveTimer();
    server.WaitFrame(9003, "in", since);
    EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return client.prompts.Shown.size() == shown; }, 3000));
    EXPECT_FALSE(client.Link().Connected());
  }
  EXPECT_EQ(client.prompts.Shown.back(),
            "Invalid Username or Password: You have tried to logon with an Invalid User ID and Password, please "
            "correct this and try again.");
}

TEST(DirectoryLink, FriendUpdatesNeverRevealAnInvisibleUser) {
  Client client(1, "", "");
  TContacts& friends = client.session->Friends;
  auto status = [&](const std::string& id) {
    const TContact* c = friends.Find(friends.FindById(id));
    return c == nullptr ? std::string("-") : c->Status + "/" + std::to_string(c->Image);
  };
  struct Step {
    const char* record;
    const char* id;
    std::string want;
  };
  const std::vector<Step> steps = {
      // An empty friends list takes the user in, invisible as offline.
      {"41000001{$}Ann{$}1{$}2{$}10.0.0.1{$}2960", "41000001", "Offline/-1"},
      {"41000001{$}Ann{$}1{$}0{$}10.0.0.1{$}2960", "41000001", "Available/0"},
      {"41000001{$}Ann{$}1{$}2{$}10.0.0.1{$}2960", "41000001", "Offline/-1"},
      {"41000001{$}Ann{$}1{$}4{$}10.0.0.1{$}2960||", "41000001", "Unavailable/4"},
      {"41000001{$}Ann{$}0{$}1{$}10.0.0.1{$}2960", "41000001", "Offline/-1"},
      {"41000001{$}Ann{$}1{$}3{$}10.0.0.1{$}2960", "41000001", "Away/3"},
      // A status that is no number in range changes nothing.
      {"41000001{$}Ann{$}1{$}9{$}10.0.0.1{$}2960", "41000001", "Away/3"},
      // Another user, not a friend: the non-empty list is left alone, and an
      // id that merely starts like a friend's is another user.
      {"4100000{$}Bob{$}1{$}0{$}10.0.0.2{$}2960", "4100000", "-"},
      {"41000001{$}Ann{$}1", "41000001", "Away/3"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.record);
    client.Link().UpdateOnlineList(step.record);
    EXPECT_EQ(status(step.id), step.want);
  }
  EXPECT_EQ(friends.Count(), 1);
  // A listing adds a user the server lists as online and invisible as it says.
  client.Link().FillContactList(client.session->Online, "41000002{$}Cy{$}1{$}2{$}10.0.0.3{$}2960");
  const TContact* cy = client.session->Online.Find(client.session->Online.FindById("41000002"));
  ASSERT_NE(cy, nullptr);
  EXPECT_EQ(cy->Status, "Invisible");
}

// Each user list changes its own list: a single update and a friends list the
// friends alone, a group listing its own alone, where a user listed twice
// updates the friend the second time. A status is read by its decimal value,
// and a line break ends a record as "||" does.
TEST(DirectoryLink, EachUserListChangesOnlyItsOwnList) {
  Client client(1, "", "");
  TSession& s = *client.session;
  auto bob = [](const std::string& mode) { return "52000002{$}Bob{$}1{$}" + mode + "{$}10.0.0.2{$}2960"; };
  const std::string cy = "63000003{$}Cy{$}1{$}0{$}10.0.0.3{$}2960";
  client.Link().FillContactList(s.Friends, bob("0"));
  client.Link().FillContactList(s.Online, bob("0") + "||" + cy);
  s.Incoming.Add(TContact{"Bob", 0, "Available", "10.0.0.2", "2960", "52000002", "1"});
  auto states = [&](const std::string& id) {
    std::string out;
    for (const TContacts* list : {&s.Friends, &s.Online, &s.Incoming})
      out += list->FindById(id) == 0 ? "- " : list->At(list->FindById(id)).Status + " ";
    return out;
  };
  client.Link().UpdateOnlineList(bob("3"));
  EXPECT_EQ(states("52000002"), "Away Available Available ");
  client.Link().FillContactList(s.Friends, bob("1"));
  EXPECT_EQ(states("52000002"), "Busy Available Available ");
  s.Online.Clear();  // as a new listing does
  client.Link().FillContactList(s.Online, bob("03") + "\r\n" + cy + "||" + bob("4"));
  EXPECT_EQ(states("52000002"), "Unavailable Away Available ");
  EXPECT_EQ(states("63000003"), "- Available - ");
  EXPECT_EQ(s.Online.Count(), 2);
}

}  // namespace
