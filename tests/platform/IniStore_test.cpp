#include "platform/IniStore.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ErrorSink.h"
#include "platform_test_helpers.h"

namespace {

namespace fs = std::filesystem;
using platform::IniStore;

class IniStoreFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetErrorHandler([this](const std::string&, const std::string&, const std::string& m) { logged.push_back(m); });
  }
  void TearDown() override { platform::SetErrorHandler(nullptr); }
  fs::path File() const { return dir / "messages.msg"; }
  TempFolder dir;
  std::vector<std::string> logged;
};

TEST_F(IniStoreFiles, RoundTripKeepsOrderValuesAndCaseInsensitiveNames) {
  {
    IniStore ini(File());
    ini.WriteString("Away", "Message 0", "out$c back soon");
    ini.WriteString("Away", "Message 1", "  spaced = value  ");
    ini.WriteString("Unavailable", "Message 0", "");
    ini.WriteString("away", "MESSAGE 0", "lunch");  // the same key, other case
    ini.WriteString("Gone", "k", "v");
    ini.EraseSection("gone");
    ini.WriteString("Away", "Message 9", "v");
    ini.DeleteKey("AWAY", "message 9");
  }  // pending changes are written when the store goes
  EXPECT_EQ(ReadRawFile(File()),
            "[Away]\r\nMessage 0=lunch\r\nMessage 1=  spaced = value  \r\n\r\n[Unavailable]\r\nMessage 0=\r\n\r\n");
  IniStore again(File());
  EXPECT_EQ(again.ReadSections(), (std::vector<std::string>{"Away", "Unavailable"}));
  EXPECT_EQ(again.ReadSection("AWAY"), (std::vector<std::string>{"Message 0", "Message 1"}));
  EXPECT_EQ(again.ReadString("Away", "message 1", "x"), "  spaced = value  ");
  EXPECT_EQ(again.ReadString("Unavailable", "Message 0", "x"), "");
  EXPECT_EQ(again.ReadString("Nowhere", "Message 0", "d"), "d");
  EXPECT_FALSE(again.Modified());
}

TEST_F(IniStoreFiles, ReadsFilesWrittenByHandWithAnyLineEnds) {
  WriteRawFile(File(),
               "stray=before any section\n"
               "; comment\r"
               "[A]\r\n"
               "k1=v1\n"
               "no equals sign\n"
               "=empty key\n"
               "K1=second k1 is ignored\r"
               "[B\n"          // damaged header: its keys are dropped
               "lost=1\n"
               "[a]\n"         // the same section again: merged
               "k2=v=2");     // no line end at the very end
  IniStore ini(File());
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"k1", "k2"}));
  EXPECT_EQ(ini.ReadString("A", "k1", ""), "v1");
  EXPECT_EQ(ini.ReadString("A", "k2", ""), "v=2");
  EXPECT_TRUE(logged.empty());
}

TEST_F(IniStoreFiles, RefusesNamesAndValuesTheFileCouldNotHold) {
  IniStore ini(File());
  const std::tuple<std::string, std::string, std::string> bad[] = {
      {"S", "k", "line\r\nbreak"}, {"S", "a=b", "v"}, {"S", "", "v"}, {"S", "[k", "v"},
      {"S]", "k", "v"},            {"S\n", "k", "v"},
  };
  for (const auto& [section, key, value] : bad) {
    EXPECT_THROW(ini.WriteString(section, key, value), platform::EIniError) << section << "/" << key;
  }
  EXPECT_TRUE(ini.ReadSections().empty());
  EXPECT_FALSE(ini.Modified());
}

TEST_F(IniStoreFiles, UnreadableFileIsKeptAsideAndTheStoreStartsEmpty) {
  WriteRawFile(File(), std::string("[A]\r\nk=v\0\r\n", 12));
  IniStore ini(File());
  EXPECT_TRUE(ini.ReadSections().empty());
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("could not be read"), std::string::npos);
  EXPECT_FALSE(fs::exists(File()));
  int aside = 0;
  for (const auto& e : fs::directory_iterator(dir.Path()))
    aside += e.path().filename().string().rfind("messages.msg.unreadable-", 0) == 0;
  EXPECT_EQ(aside, 1);
  ini.WriteString("A", "k", "fresh");
  ini.Save();
  EXPECT_EQ(IniStore(File()).ReadString("A", "k", ""), "fresh");
}

TEST_F(IniStoreFiles, FailedSaveRaisesAndLeavesTheOldFile) {
  {
    IniStore ini(File());
    ini.WriteString("A", "k", "old");
  }
  fs::create_directories(dir / "sub");
  IniStore blocked(dir / "sub");  // a folder where the file should be
  blocked.WriteString("A", "k", "new");
  EXPECT_THROW(blocked.Save(), platform::EStreamError);
  EXPECT_TRUE(blocked.Modified());
  EXPECT_TRUE(fs::is_directory(dir / "sub"));  // never moved aside
  EXPECT_EQ(IniStore(File()).ReadString("A", "k", ""), "old");
}

}  // namespace
