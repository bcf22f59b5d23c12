#include "core/FormMain.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <vector>

#include "../platform/TempHome.h"
#include "Dialogs_helpers.h"
#include "Widgets_helpers.h"
#include "core/FormGreet.h"
#include "core/ContactList.h"
#include "core/DBStuff.h"
#include "core/Paths.h"
#include "core/Reg.h"
#include "transport/CmdParser.h"
#include "transport/NetSocket.h"
#include "transport/NetSocketFunctions.h"
#include "transport/ParloSocket.h"

namespace {

TEST(FormMain, RegistrationReplyStoresTheAccountOrClearsIt) {
  testing_support::WidgetApp();
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
    testing_support::TempHome home;
    TReg::WriteString(TReg::SettingsSection, "UserID", "old");
    TReg::WriteString(TReg::SettingsSection, "UserPass", "old");
    TFormMain form;
    EXPECT_EQ(form.HandleRegistrationReply(TCmdParser::ExtractParameters(c.frame)), c.ok);
    EXPECT_EQ(form.HasUserID, c.ok);
    EXPECT_EQ(TReg::ReadSettingString("UserID"), c.id);
    EXPECT_EQ(TReg::ReadSettingString("UserPass"), c.pass);
    if (c.ok) {
      EXPECT_EQ(form.windowTitle().toStdString(), "Parlo - " + c.id);
    }
  }
}

TEST(FormMain, StatusTextsTranslateBackToTheirDigit) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Available", "0"}, {"Busy", "1"}, {"Invisible", "2"}, {"Away", "3"},
      {"Unavailable", "4"}, {"Offline", "0"}, {"", "0"}, {"busy", "0"},
  };
  for (const auto& [text, digit] : cases) EXPECT_EQ(TFormMain::StatusModeFromText(text), digit) << text;
}

TEST(FormMain, FriendUpdatesNeverRevealAnInvisibleUser) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  TFormMain form;
  TPaths paths;
  paths.NoSound = true;
  Paths = &paths;
  TDBStuff db(home.Home() / "Data", form.MakeDBStuffHooks());
  DBStuff = &db;
  auto status = [&](const std::string& id) {
    const QTreeWidgetItem* item = form.ListF->FindById(id);
    return item == nullptr ? std::string("-") : form.ListF->Text(item, TContactList::ColStatus) + "/" +
                                                    std::to_string(form.ListF->Image(item));
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
    form.UpdateOnlineList(step.record);
    EXPECT_EQ(status(step.id), step.want);
  }
  EXPECT_EQ(form.ListF->Count(), 1);
  // A listing adds an online invisible user as offline too.
  form.FillContactList(form.ListO, "41000002{$}Cy{$}1{$}2{$}10.0.0.3{$}2960");
  const QTreeWidgetItem* cy = form.ListO->FindById("41000002");
  ASSERT_NE(cy, nullptr);
  EXPECT_EQ(form.ListO->Text(cy, TContactList::ColStatus), "Offline");
  DBStuff = nullptr;
  Paths = nullptr;
}

// The greeting editor opens on the current profile's greeting and named for the
// user called; only Connect goes on towards the chat (not built yet, so logged).
TEST(FormMain, PrivateChatAsksForTheGreetingFirst) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  TFormMain form;
  TPaths paths;
  paths.NoSound = true;
  Paths = &paths;
  TDBStuff db(home.Home() / "Data", form.MakeDBStuffHooks());
  DBStuff = &db;
  db.NewProfile("Home");
  db.Profiles.Edit();
  db.Profiles.SetFieldValue("Greeting", "Hi$c there$r$nit's me");
  db.Profiles.Post();
  const auto log = home.Home() / "errorlog.txt";
  for (const bool connect : {false, true}) {
    SCOPED_TRACE(connect ? "Connect" : "Cancel");
    std::string shownText, shownTitle;
    testing_support::WhenModal([&] {
      auto* greet = qobject_cast<TFormGreet*>(QApplication::activeModalWidget());
      ASSERT_NE(greet, nullptr);
      shownText = greet->Memo->toPlainText().toStdString();
      shownTitle = greet->windowTitle().toStdString();
      connect ? greet->ConnectClick() : greet->CancelClick();
    });
    form.OpenPrivateChat("Ann", "2960", "10.0.0.1");
    EXPECT_EQ(shownText, "Hi, there\nit's me");
    EXPECT_EQ(shownTitle, "Greeting for Ann");
    EXPECT_EQ(testing_support::ReadFile(log).find("Private chat") != std::string::npos, connect);
  }
  EXPECT_TRUE(form.findChildren<TFormGreet*>().isEmpty());
  DBStuff = nullptr;
  Paths = nullptr;
}

TEST(FormMain, SocketErrorsAreLoggedWithTheirDescription) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  TFormMain form;
  TParloSocket socket;
  form.ReportSocketError(&socket, 0);
  form.ReportSocketError(&socket, 10061);
  EXPECT_EQ(socket.State(), wsClosed);
  const std::string log = testing_support::ReadFile(home.Home() / "errorlog.txt");
  EXPECT_NE(log.find("\r\nError Message: Winsock Error 0 : Undetermined Winsock Error\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\nError Message: Winsock Error 10061 : " + NetSocketErrorDesc(10061) + "\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(NetSocketErrorDesc(10061), "Undetermined Winsock Error");
}

}  // namespace
