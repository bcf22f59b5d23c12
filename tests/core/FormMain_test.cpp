#include "core/FormMain.h"

#include <gtest/gtest.h>

#include <vector>

#include "../platform/TempHome.h"
#include "Widgets_helpers.h"
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

}  // namespace
