#include "core/session/Reg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "core/FormPos.h"
#include "core/Widgets_helpers.h"
#include "platform/Autostart.h"
#include "platform/Registry.h"
#include "platform/TempHome.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempHome;
using testing_support::WriteFile;

std::filesystem::path SettingsFile() { return platform::RegistryFile(platform::RegRoot::CurrentUser); }

TEST(Reg, FreshHomeReadsEveryDefaultAndCreatesNothing) {
  TempHome home;
  EXPECT_EQ(TReg::KeyPath(), "\\Software\\Vantorel\\Parlo\\");
  for (const auto& setting : SettingDefaults) {
    SCOPED_TRACE(setting.Name);
    switch (setting.Type) {
      case 'S': EXPECT_EQ(TReg::ReadSettingString(setting.Name), setting.Value); break;
      case 'I': EXPECT_EQ(TReg::ReadSettingInteger(setting.Name), std::stoi(setting.Value)); break;
      case 'B': EXPECT_EQ(TReg::ReadSettingBool(setting.Name), setting.Value[0] == '1'); break;
      default: ADD_FAILURE() << "type " << setting.Type;
    }
  }
  // A few defaults that other parts of the program lean on.
  EXPECT_EQ(TReg::ReadSettingString("ServerIP"), PARLO_DEFAULT_SERVER_IP);
  EXPECT_EQ(TReg::ReadSettingString("ListenPort"), "2960");
  EXPECT_EQ(TReg::ReadSettingString("CurrentGroup"), "General");
  EXPECT_TRUE(TReg::ReadSettingBool("WindowsStart"));
  EXPECT_EQ(TReg::ReadSettingInteger("ChatLimitCount"), 10);
  EXPECT_FALSE(std::filesystem::exists(home.Home()));
  EXPECT_FALSE(std::filesystem::exists(platform::AutostartFile("parlo")));

  TReg::WriteBool("Settings", "RemUserPass", false);
  EXPECT_FALSE(TReg::ReadSettingBool("RemUserPass"));
  EXPECT_NE(ReadFile(SettingsFile()).find("[Software\\Vantorel\\Parlo\\Settings]\nRemUserPass = int:0\n"),
            std::string::npos);
  // Each value keeps its type: an integer written is no string to read.
  EXPECT_EQ(TReg::ReadString("Settings", "RemUserPass", "fallback"), "fallback");
}

TEST(Reg, ReadsAFileWrittenByHandInTheDocumentedFormat) {
  TempHome home;
  WriteFile(SettingsFile(),
            "[Software\\Vantorel\\Parlo\\Settings]\n"
            "UserID = str:100234\n"
            "ServerIP = str:192.168.1.20\n"
            "BusyTimer = int:45\n"
            "AutoLogon = int:0\n"
            "ShowMsg = int:2\n"
            "AwayText = str:Out for lunch\\nback at two\n"
            "StatusMode = str:3\n"  // a text where a number belongs
            "\n"
            "[Software\\Vantorel\\Parlo\\Settings\\Fonts]\n"
            "ClientStyle = int:4\n");
  EXPECT_EQ(TReg::ReadString("Settings", "UserID", ""), "100234");
  EXPECT_EQ(TReg::ReadSettingString("ServerIP"), "192.168.1.20");
  EXPECT_EQ(TReg::ReadSettingInteger("BusyTimer"), 45);
  EXPECT_FALSE(TReg::ReadSettingBool("AutoLogon"));
  EXPECT_TRUE(TReg::ReadSettingBool("ShowMsg"));  // any non-zero integer is true
  EXPECT_EQ(TReg::ReadSettingString("AwayText"), "Out for lunch\nback at two");
  EXPECT_EQ(TReg::ReadInteger("Settings\\Fonts", "ClientStyle", 0), 4);

  // The wrongly typed value is logged and read as its default, not fatal.
  EXPECT_EQ(TReg::ReadSettingInteger("StatusMode"), 0);
  EXPECT_NE(ReadFile(home.Home() / "errorlog.txt").find("StatusMode"), std::string::npos);
}

QApplication& App() { return testing_support::WidgetApp(); }

TEST(Reg, WindowPositionKeepsWhatIsNotStored) {
  TempHome home;
  App();
  QWidget form;
  form.setObjectName("FormMain");
  form.setGeometry(30, 40, 260, 480);
  const QPoint designed = form.pos();

  TReg::WriteInteger("FormMain", "Top", 200);
  RestoreMainFormPos(&form);
  EXPECT_EQ(form.x(), designed.x());
  EXPECT_EQ(form.y(), 200);
  EXPECT_EQ(form.height(), 480);

  form.move(11, 22);
  form.resize(260, 333);
  SaveMainFormPos(&form);
  QWidget other;
  other.setObjectName("FormMain");
  other.setGeometry(0, 0, 260, 100);
  RestoreMainFormPos(&other);
  EXPECT_EQ(other.pos(), QPoint(11, 22));
  EXPECT_EQ(other.height(), 333);
  EXPECT_EQ(other.width(), 260);
  EXPECT_FALSE(TReg::ReadBool("FormMain", "MaxState", true));
  EXPECT_EQ(TReg::ReadInteger("FormMain", "Width", -1), -1);

  // Minimised, the last good position stays.
  form.showMinimized();
  form.move(500, 500);
  SaveMainFormPos(&form);
  EXPECT_EQ(TReg::ReadInteger("FormMain", "Left", 0), 11);
}

// The entry starts the home it was written from: the default one as it is,
// any other through PARLO_HOME.
TEST(Reg, RunAtStartupWritesAndRemovesTheAutostartEntry) {
  TempHome home;
  const std::filesystem::path defaultHome = home.Config().parent_path() / "data" / "parlo";
  setenv("XDG_DATA_HOME", defaultHome.parent_path().c_str(), 1);
  const std::string program = "\"" + platform::ProgramFile().string() + "\"\n";
  const auto entry = platform::AutostartFile("parlo");
  const std::pair<std::string, std::string> cases[] = {
      {"", "Exec=" + program},
      {defaultHome.string() + "/", "Exec=" + program},
      {home.Home().string(), "Exec=env \"PARLO_HOME=" + home.Home().string() + "\" " + program}};
  for (const auto& [parloHome, exec] : cases) {
    setenv("PARLO_HOME", parloHome.c_str(), 1);
    TReg::SetRunAtStartup(true);
    EXPECT_NE(ReadFile(entry).find(exec), std::string::npos) << parloHome << ReadFile(entry);
  }
  EXPECT_EQ(entry.parent_path(), home.Config() / "autostart");
  TReg::SetRunAtStartup(false);
  EXPECT_FALSE(std::filesystem::exists(entry));
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
