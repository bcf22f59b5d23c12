#include "core/session/Reg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <map>

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

// Every home has an entry of its own that starts that home: the default one
// as it is (however PARLO_HOME names it), any other through PARLO_HOME. One
// home's choice neither replaces nor removes another's, and each sees only
// its own entry.
TEST(Reg, EveryHomeHasAnAutostartEntryOfItsOwn) {
  TempHome home;
  const std::filesystem::path defaultHome = home.Config().parent_path() / "data" / "parlo";
  const std::filesystem::path other = home.Home().parent_path() / "other";
  setenv("XDG_DATA_HOME", defaultHome.parent_path().c_str(), 1);
  const std::string program = "\"" + platform::ProgramFile().string() + "\"\n";
  const std::string homes[] = {"", defaultHome.string() + "/", home.Home().string(), other.string() + "/"};
  auto in = [](const std::string& parloHome) { setenv("PARLO_HOME", parloHome.c_str(), 1); };
  for (const auto& h : homes) {
    in(h);
    TReg::SetRunAtStartup(true);
    EXPECT_TRUE(TReg::RunsAtStartup()) << h;
  }
  std::map<std::string, std::string> entries;  // file name -> Exec line
  for (const auto& file : std::filesystem::directory_iterator(home.Config() / "autostart")) {
    const std::string text = ReadFile(file.path());
    const auto exec = text.find("Exec=");
    entries[file.path().filename().string()] = text.substr(exec, text.find('\n', exec) + 1 - exec);
  }
  ASSERT_EQ(entries.size(), 3u);
  auto entry = [&](const std::string& prefix) {
    const auto it = entries.lower_bound(prefix);
    return it != entries.end() && it->first.rfind(prefix, 0) == 0 ? it->second : "no " + prefix;
  };
  EXPECT_EQ(entries["parlo.desktop"], "Exec=" + program);
  EXPECT_EQ(entry("parlo-home-"), "Exec=env \"PARLO_HOME=" + home.Home().string() + "\" " + program);
  EXPECT_EQ(entry("parlo-other-"), "Exec=env \"PARLO_HOME=" + other.string() + "\" " + program);

  in(other.string());
  TReg::SetRunAtStartup(false);
  EXPECT_FALSE(TReg::RunsAtStartup());
  in(home.Home().string());
  EXPECT_TRUE(TReg::RunsAtStartup());
  in("");
  EXPECT_TRUE(TReg::RunsAtStartup());
  // The one entry an earlier program shared between homes, written last from
  // another home, is not the default home's.
  WriteFile(home.Config() / "autostart" / "parlo.desktop",
            "[Desktop Entry]\nExec=env \"PARLO_HOME=" + other.string() + "\" " + program);
  EXPECT_FALSE(TReg::RunsAtStartup());
  TReg::SetRunAtStartup(false);
  in(home.Home().string());
  EXPECT_TRUE(TReg::RunsAtStartup());
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
