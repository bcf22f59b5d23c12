#include "conversations/RandomContact.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/DirectoryServer_helpers.h"
#include "core/Widgets_helpers.h"
#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/Prompts.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/TempHome.h"

namespace {

struct Prompts : TPrompts {
  std::vector<std::string> Opened;
  bool AskGreeting(const std::string&, std::string& greeting) override {
    greeting = "hi";
    return true;
  }
  void OpenURL(const std::string& address, std::function<void(bool)> done) override {
    Opened.push_back(address);
    done(true);
  }
};

// One user of the local directory server, logged on in a home of its own.
struct User {
  std::unique_ptr<testing_support::TempHome> home = std::make_unique<testing_support::TempHome>();
  Prompts prompts;
  std::unique_ptr<TSession> session;

  User(testing_support::TDirectoryServer& server, const std::string& uid, const std::string& port) {
    server.AddAccount("secret1", uid);
    for (const auto& [name, value] : {std::pair{"ServerIP", "127.0.0.1"}, {"UserPass", "secret1"}})
      TReg::WriteString(TReg::SettingsSection, name, value);
    TReg::WriteString(TReg::SettingsSection, "UserID", uid);
    TReg::WriteString(TReg::SettingsSection, "ListenPort", port);
    TReg::WriteString(TReg::SettingsSection, "ServerPort", std::to_string(server.Port()));
    for (const char* off : {"AutoUpdate", "AutoListen"}) TReg::WriteBool(TReg::SettingsSection, off, false);
    session = std::make_unique<TSession>(prompts);
    session->LoadCurrentSelections();
    session->CreateLocalStores();
  }
  void Profile(const std::vector<std::pair<const char*, const char*>>& fields) {
    TDBStuff& db = session->DB();
    db.NewProfile("Home");
    db.Profiles.Edit();
    for (const auto& [name, value] : fields) db.Profiles.SetFieldValue(name, value);
    db.Profiles.Post();
    session->Settings.CurrentProfile = "Home";
  }
};

// The search against the local directory server: nobody else online, then
// another user found with the public profile as sent, and the found user's
// commands reach the session's handlers; disconnected, nothing is sent.
TEST(RandomContact, FindsAnotherUserOrNobody) {
  testing_support::WidgetApp();
  testing_support::TDirectoryServer server;
  User ann(server, "41000001", "2961");
  TRandomContact search(*ann.session);
  int changes = 0;
  search.Changed = [&] { ++changes; };
  search.Search();
  EXPECT_EQ(search.Buttons(), TRandomButtons{});
  EXPECT_TRUE(server.Frames().empty());

  ASSERT_TRUE(ann.session->StartAfterShow());
  server.WaitFrame(9015, "in");
  search.Search();
  // Cancel is as the window had it: not yet usable in a first search.
  EXPECT_EQ(search.Buttons(), (TRandomButtons{false, false, false, false, false, true}));
  server.WaitFrame(9020, "out");
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !search.Buttons().Animating; }, 5000));
  EXPECT_EQ(search.Item(1), "No User found...");
  EXPECT_EQ(search.NameText(), "Try again later ");
  EXPECT_EQ(search.Buttons(), (TRandomButtons{true, true, false, false, false, false}));

  User bea(server, "41000002", "2962");
  bea.Profile({{"UserName", "beatrice"}, {"FirstName", "Bea"}, {"LastName", "Smith"}, {"Country", "Norway"},
               {"Hobbies", "chess, go"}, {"Description", "Likes tea\r\nand walks, long ones"}});
  ASSERT_TRUE(bea.session->StartAfterShow());
  const size_t since = server.Frames().size();
  server.WaitFrame(9015, "in", since);
  search.Search();
  server.WaitFrame(9018, "out", since);
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return search.Buttons().Chat; }, 5000));
  EXPECT_EQ(search.Item(0), "41000002");
  EXPECT_EQ(search.Item(1), "beatrice");
  EXPECT_EQ(search.NameText(), "Bea Smith");
  EXPECT_EQ(search.Item(11), "Norway");
  EXPECT_EQ(search.Item(12), "chess, go");
  EXPECT_EQ(search.Item(13), "Likes tea\r\nand walks, long ones");
  // A user found leaves the animation running, as only "no user" stops it.
  EXPECT_EQ(search.Buttons(), (TRandomButtons{true, false, true, true, true, true}));

  std::vector<TContactCall> calls;
  for (auto command : {TContactCommand::PrivateChat, TContactCommand::Message})
    ann.session->Router().SetContactHandler(command, [&](const TContactCall& call) { calls.push_back(call); });
  search.StartChat();
  search.SendMessage();
  search.ViewProfile();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Contact.UserName, "beatrice");
  EXPECT_EQ(calls[0].Contact.ListenIP, "127.0.0.1");
  EXPECT_EQ(calls[0].Contact.ListenPort, "2962");
  EXPECT_EQ(calls[0].Greeting, "hi");
  EXPECT_EQ(calls[1].Command, TContactCommand::Message);
  EXPECT_EQ(calls[1].Contact.UserID, "41000002");
  EXPECT_EQ(calls[1].Contact.Status, "Available");
  EXPECT_FALSE(calls[1].List.has_value());
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return !ann.prompts.Opened.empty(); }, 5000));
  EXPECT_EQ(ann.prompts.Opened, std::vector<std::string>{"http://127.0.0.1/cgi-bin/profiles.exe/user?41000002"});
  EXPECT_GT(changes, 0);
}

TEST(RandomContact, RecordsAreReadByTheirSeparatorsAlone) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  TPrompts prompts;
  TSession session(prompts);
  TRandomContact search(session);
  struct Case {
    std::string record;
    std::string name, description, hobbies;
    bool found;
  };
  const std::string head = "7{$}ann{$}1{$}0{$}10.0.0.1{$}2960{$}General{$}Ann{$}Lee{$}F{$}30{$}NZ{$}";
  const std::vector<Case> cases = {
      {" \t\r\n", "No User found...", "", "", false},
      {head + "a$cb", "ann", "", "a,b", true},
      {head + "a$cb{$}one$r$ntwo$c three", "ann", "one\r\ntwo, three", "a,b", true},
      // A stray line break inside an item moves nothing after it.
      {"7{$}an\r\nn{$}1{$}0{$}10.0.0.1{$}2960{$}G{$}Ann{$}Lee{$}F{$}30{$}NZ{$}x{$}d", "an\r\nn", "d", "x", true},
      {"", "No User found...", "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    search.ShowFoundContact(c.record);
    EXPECT_EQ(search.Item(1), c.name);
    EXPECT_EQ(search.Item(13), c.description);
    EXPECT_EQ(search.Item(12), c.hobbies);
    EXPECT_EQ(search.Buttons().Message, c.found);
  }
}

}  // namespace
