#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "platform/Autostart.h"
#include "platform/ErrorSink.h"
#include "platform/TempHome.h"

namespace {

using platform::RegDataType;
using platform::RegRoot;
using platform::TRegistry;
using testing_support::ReadFile;
using testing_support::TempHome;
using testing_support::WriteFile;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetErrorHandler([this](const std::string&, const std::string&, const std::string& m) {
      reports.push_back(m);
    });
  }
  void TearDown() override { platform::SetErrorHandler(nullptr); }

  TempHome home;
  std::vector<std::string> reports;
};

std::string EveryByte() {
  std::string s = " lead";
  for (int c = 0; c < 256; ++c) s += static_cast<char>(c);
  return s + "= [x] #; trail ";
}

TEST_F(RegistryTest, EveryTypeSurvivesTheFile) {
  const std::vector<uint8_t> bytes = {0, 1, 0x7F, 0x80, 0xFF};
  const double serial = 46363.5 + 0.25 / 24;  // 2026-12-07 12:15
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Test\\Sub", true));
    reg.WriteString(" odd=name\\", EveryByte());
    reg.WriteString("Empty", "");
    reg.WriteInteger("Min", INT32_MIN);
    reg.WriteInteger("Max", INT32_MAX);
    reg.WriteBool("Flag", true);
    reg.WriteBinaryData("Blob", bytes);
    reg.WriteFloat("Ratio", 0.1);
    reg.WriteFloat("Huge", -1.5e300);
    reg.WriteDate("When", serial);
  }
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("software\\TEST\\sub", false));
  EXPECT_EQ(reg.ReadString(" odd=name\\"), EveryByte());
  EXPECT_EQ(reg.ReadString("EMPTY"), "");
  EXPECT_EQ(reg.ReadInteger("Min"), INT32_MIN);
  EXPECT_EQ(reg.ReadInteger("Max"), INT32_MAX);
  EXPECT_TRUE(reg.ReadBool("Flag"));
  EXPECT_EQ(reg.ReadBinaryData("Blob"), bytes);
  EXPECT_EQ(reg.ReadFloat("Ratio"), 0.1);
  EXPECT_EQ(reg.ReadFloat("Huge"), -1.5e300);
  EXPECT_NEAR(reg.ReadDate("When"), serial, 1e-8);
  EXPECT_EQ(reg.GetValueNames().size(), 9u);

  const std::string text = ReadFile(platform::RegistryFile(RegRoot::CurrentUser));
  EXPECT_NE(text.find("When = date:2026-12-07 12:15:00.000"), std::string::npos) << text;
  for (unsigned char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
  EXPECT_TRUE(reports.empty());
}

TEST_F(RegistryTest, ReadingCreatesNothingAndWritingCreatesTheKey) {
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\Software\\Missing", false));
  EXPECT_FALSE(reg.KeyExists("Software"));
  EXPECT_FALSE(std::filesystem::exists(platform::RegistryFile(RegRoot::CurrentUser)));
  EXPECT_FALSE(std::filesystem::exists(home.Home()));

  ASSERT_TRUE(reg.OpenKey("\\Software\\Made\\Here", true));
  EXPECT_TRUE(reg.KeyExists("Software"));
  EXPECT_TRUE(reg.KeyExists("\\software\\made"));
  reg.OpenKey("Software\\Made", false);
  EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Here"});

  struct stat st {};
  ASSERT_EQ(stat(platform::RegistryFile(RegRoot::CurrentUser).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.Home()), {}), 1);
}

TEST_F(RegistryTest, TypedReadsRaiseOnMissingOrOtherType) {
  TRegistry reg;
  EXPECT_THROW(reg.ReadString("Anything"), platform::ERegistryException);  // no key open
  reg.OpenKey("K", true);
  reg.WriteString("Text", "12");
  reg.WriteInteger("Number", 12);
  EXPECT_THROW(reg.ReadInteger("Text"), platform::ERegistryException);
  EXPECT_THROW(reg.ReadBool("Text"), platform::ERegistryException);
  EXPECT_THROW(reg.ReadString("Number"), platform::ERegistryException);
  EXPECT_THROW(reg.ReadFloat("Number"), platform::ERegistryException);
  EXPECT_THROW(reg.ReadInteger("Absent"), platform::ERegistryException);
  EXPECT_EQ(reg.GetDataType("Text"), RegDataType::String);
  EXPECT_EQ(reg.GetDataType("Absent"), RegDataType::None);
}

TEST_F(RegistryTest, InstancesDoNotLoseEachOthersWrites) {
  TRegistry a, b;
  a.OpenKey("K", true);
  b.OpenKey("K", true);
  a.WriteString("A", "1");
  b.WriteString("B", "2");
  a.WriteString("C", "3");
  TRegistry c;
  c.OpenKey("K", false);
  EXPECT_EQ(c.GetValueNames(), (std::vector<std::string>{"A", "B", "C"}));

  EXPECT_TRUE(c.DeleteValue("b"));
  EXPECT_FALSE(c.DeleteValue("b"));
  EXPECT_TRUE(c.DeleteKey("k"));
  EXPECT_FALSE(c.KeyExists("K"));
}

TEST_F(RegistryTest, ReadsAHandWrittenFile) {
  WriteFile(platform::RegistryFile(RegRoot::CurrentUser),
            "# written by hand\r\n"
            "[\\Software\\Hand]\r\n"
            "  Name   =   str:  two leading blanks\\x20\r\n"
            "Accent = str:caf\\xE9\\n2nd line\r\n"
            "Typed = str:caf\xC3\xA9 \xE2\x82\xAC" "5\n"  // UTF-8 from an editor
            "Raw = str:caf\xE9\n"
            "Big = int:4294967295\n"
            "Hex = int:0x10\n"
            "Neg = int:-7\n"
            "Bytes = bin:0a,0B ff\n"
            "Day = date:2000-01-01\n"
            "Dup = int:1\n"
            "dup = int:2\n"
            "; a comment\n"
            "Broken line\n"
            "Bad = int:12abc\n"
            "Unknown = blob:1\n"
            "[Unclosed\n"
            "Orphan = int:1\n");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Hand", false));
  EXPECT_EQ(reg.ReadString("name"), "  two leading blanks ");
  EXPECT_EQ(reg.ReadString("Accent"), "caf\xE9\n2nd line");
  EXPECT_EQ(reg.ReadString("Typed"), "caf\xE9 \x80" "5");
  EXPECT_EQ(reg.ReadString("Raw"), "caf\xE9");
  EXPECT_EQ(reg.ReadInteger("Big"), -1);
  EXPECT_EQ(reg.ReadInteger("Hex"), 16);
  EXPECT_EQ(reg.ReadInteger("Neg"), -7);
  EXPECT_EQ(reg.ReadBinaryData("Bytes"), (std::vector<uint8_t>{0x0A, 0x0B, 0xFF}));
  EXPECT_EQ(reg.ReadDate("Day"), 36526.0);
  EXPECT_EQ(reg.ReadInteger("DUP"), 2);
  EXPECT_FALSE(reg.ValueExists("Bad"));
  EXPECT_FALSE(reg.ValueExists("Unknown"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("5 unreadable line(s)"), std::string::npos) << reports[0];

  // Reading again reports nothing new; the next write keeps the original aside.
  TRegistry again;
  again.OpenKey("Software\\Hand", false);
  EXPECT_EQ(reports.size(), 1u);
  again.WriteInteger("New", 1);
  auto aside = platform::RegistryFile(RegRoot::CurrentUser);
  aside += ".bad";
  EXPECT_NE(ReadFile(aside).find("Broken line"), std::string::npos);
  TRegistry after;
  after.OpenKey("Software\\Hand", false);
  EXPECT_EQ(after.ReadString("Accent"), "caf\xE9\n2nd line");
}

TEST_F(RegistryTest, MachineRootFallsBackToTheUserFile) {
  {
    TRegistry machine(RegRoot::LocalMachine);
    machine.OpenKey("Shared", true);
    machine.WriteInteger("Value", 1);
  }
  EXPECT_TRUE(std::filesystem::exists(platform::RegistryFile(RegRoot::LocalMachine)));
  // A machine file that cannot be replaced: a folder in its place.
  std::filesystem::remove(platform::RegistryFile(RegRoot::LocalMachine));
  std::filesystem::create_directories(platform::RegistryFile(RegRoot::LocalMachine));
  reports.clear();
  TRegistry machine(RegRoot::LocalMachine);
  ASSERT_TRUE(machine.OpenKey("Shared", true));
  machine.WriteInteger("Value", 2);
  EXPECT_EQ(machine.ReadInteger("Value"), 2);
  EXPECT_FALSE(reports.empty());
  TRegistry user(RegRoot::CurrentUser);
  ASSERT_TRUE(user.OpenKey("Shared", false));
  EXPECT_EQ(user.ReadInteger("Value"), 2);
}

TEST(Autostart, EntryPassesTheDesktopFileValidatorAndGoesAway) {
  TempHome home;
  const std::filesystem::path program = "/opt/my apps/par\"lo$ 100%\\`x`/parlo";
  platform::SetAutostart("parlo", "Parlo", program, true);
  const auto file = platform::AutostartFile("parlo");
  EXPECT_EQ(file, home.Config() / "autostart" / "parlo.desktop");
  const std::string command = "desktop-file-validate '" + file.string() + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buf[512];
  while (fgets(buf, sizeof buf, pipe)) output += buf;
  EXPECT_EQ(pclose(pipe), 0) << output;
  EXPECT_EQ(output, "");
  EXPECT_NE(ReadFile(file).find("Exec=\"/opt/my apps/par\\\\\"lo\\\\$ 100%%\\\\\\\\\\\\`x\\\\`/parlo\""),
            std::string::npos)
      << ReadFile(file);
  platform::SetAutostart("parlo", "Parlo", program, false);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_NO_THROW(platform::SetAutostart("parlo", "Parlo", program, false));
}

}  // namespace
