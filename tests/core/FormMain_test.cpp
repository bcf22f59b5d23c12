#include "core/FormMain.h"

#include <gtest/gtest.h>

#include <vector>

#include "../platform/TempHome.h"
#include "Widgets_helpers.h"
#include "core/ContactList.h"
#include "core/DBStuff.h"
#include "core/Paths.h"
#include "core/Reg.h"
#include "transport/CmdParser.h"

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

}  // namespace
