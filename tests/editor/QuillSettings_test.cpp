#include "editor/QuillSettings.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

using namespace quill;
namespace fs = std::filesystem;

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    static const fs::path home = fs::temp_directory_path() / ("parlo-editor-settings-" + std::to_string(getpid()));
    home_ = home;
    fs::remove_all(home_);
    fs::create_directories(home_);
    setenv("PARLO_HOME", home_.c_str(), 1);
    SetSettingsFileName("");
    StoreSettingsToRegistry = true;
  }
  void TearDown() override {
    StoreSettingsToRegistry = true;
    fs::remove_all(home_);
  }
  static void Fill(TQuillSearchSettings& s) {
    s.TextToFind = "needle \xe9";
    s.ReplaceWith = "thread";
    s.PromptOnReplace = false;
    s.CaseSensitive = true;
    s.RegularExpr = true;
    s.Direction = TQuillSearchDirection::srBackward;
    s.Origin = TQuillSearchOrigin::sgFromCursor;
    s.ShowNotFound = false;
    s.GotoLineNumber = 42;
  }
  static void ExpectFilled(const TQuillSearchSettings& s) {
    EXPECT_EQ(s.TextToFind, "needle \xe9");
    EXPECT_EQ(s.ReplaceWith, "thread");
    EXPECT_FALSE(s.PromptOnReplace);
    EXPECT_TRUE(s.CaseSensitive);
    EXPECT_TRUE(s.RegularExpr);
    EXPECT_EQ(s.Direction, TQuillSearchDirection::srBackward);
    EXPECT_EQ(s.Origin, TQuillSearchOrigin::sgFromCursor);
    EXPECT_FALSE(s.ShowNotFound);
    EXPECT_EQ(s.GotoLineNumber, 42);
  }
  static void ExpectDefaults(const TQuillSearchSettings& s) {
    EXPECT_EQ(s.TextToFind, "");
    EXPECT_TRUE(s.PromptOnReplace);
    EXPECT_TRUE(s.ShowNotFound);
    EXPECT_EQ(s.Origin, TQuillSearchOrigin::sgEntireScope);
  }
  fs::path home_;
};

TEST_F(Settings, RoundTripThroughBothStores) {
  for (bool registry : {true, false}) {
    StoreSettingsToRegistry = registry;
    {
      TQuillSearchSettings s;
      ExpectDefaults(s);
      Fill(s);
    }  // stored when destroyed
    TQuillSearchSettings back;
    ExpectFilled(back);
  }
  platform::TRegistry reg(platform::RegRoot::CurrentUser);
  ASSERT_TRUE(reg.OpenKey("Software\\Halvergate\\Quillset\\Settings\\SearchSettings", false));
  EXPECT_EQ(reg.ReadString("TextToFind"), "needle \xe9");
  EXPECT_EQ(reg.ReadInteger("GotoLineNumber"), 42);
  EXPECT_EQ(reg.ReadInteger("ShowNotFound"), 0);
}

TEST_F(Settings, FileFormIsOneHexLineInTheUsersHome) {
  StoreSettingsToRegistry = false;
  EXPECT_EQ(fs::path(SettingsFileName()).parent_path(), home_);
  {
    TQuillSearchSettings s;
    Fill(s);
  }
  std::ifstream in(home_ / "QuillSettings.txt");
  std::string line, rest;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_FALSE(std::getline(in, rest));
  ASSERT_EQ(line.rfind("SearchSettings=", 0), 0u);
  std::string hex = line.substr(15);
  EXPECT_EQ(StringToHex(HexToString(hex)), hex) << "upper-case hexadecimal digits";
}

// A store that cannot be read is an error for the caller, and it is never
// taken as empty: the file's other lines stay. What could be read is stored
// again, so the next use starts from a sound store.
TEST_F(Settings, StoresThatCannotBeReadRaiseAndKeepTheirOtherLines) {
  StoreSettingsToRegistry = false;
  const fs::path file = home_ / "QuillSettings.txt";
  std::string good;
  {
    TQuillSearchSettings s(TQuillSearchSettings::NoLoad{});
    Fill(s);
    std::ostringstream out;
    WritePersistentToStream(out, s);
    good = StringToHex(out.str());
  }
  const std::string bad[] = {"ZZZZ", "00", good.substr(0, good.size() / 2), "5150533104", good + "FF"};
  for (const auto& contents : bad) {
    std::ofstream(file) << "Other=1\nSearchSettings=" << contents << "\n";
    EXPECT_THROW(TQuillSearchSettings s, platform::EStreamError) << contents;
    TQuillSearchSettings again;
    ExpectDefaults(again);
    TQuillIniFile ini(file.string());
    EXPECT_EQ(ini.ReadString("Other", ""), "1") << contents;
  }

  // A file that is there but cannot be read is left as it is.
  fs::remove(file);
  fs::create_directory(file);
  EXPECT_THROW(TQuillSearchSettings s, platform::EStreamError);
  EXPECT_TRUE(fs::is_directory(file));
  fs::remove(file);

  // The key/value file writes its lines back when it goes.
  { TQuillIniFile(file.string()).WriteString("Other", "2"); }
  EXPECT_EQ(TQuillIniFile(file.string()).ReadString("Other", ""), "2");

  // A registry value of the wrong type.
  StoreSettingsToRegistry = true;
  WriteVarToRegistry(TQuillSearchSettings(TQuillSearchSettings::NoLoad{}).GetSettingsKey(), "GotoLineNumber",
                     std::string("twelve"));
  EXPECT_THROW(TQuillSearchSettings s, platform::Exception);
  TQuillSearchSettings again;
  EXPECT_EQ(again.GotoLineNumber, 0);
}

// The search settings outlive the program that changed them, whether or
// not it frees them itself.
TEST_F(Settings, SearchSettingsAreStoredWhenTheProgramEnds) {
  EXPECT_EXIT(
      {
        SearchSettings().TextToFind = "kept";
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(TQuillSearchSettings().TextToFind, "kept");

  // A key that already ends in the separator gets no second one.
  const std::string saved = SettingsKey;
  SettingsKey = DefaultKey;
  EXPECT_EQ(TQuillSearchSettings(TQuillSearchSettings::NoLoad{}).GetSettingsKey(), DefaultKey + "SearchSettings");
  SettingsKey = saved;
}

TEST_F(Settings, IntegerValuesThatDoNotFitAreRefused) {
  TQuillSearchSettings s(TQuillSearchSettings::NoLoad{});
  const TQuillPropInfo* line = nullptr;
  for (const auto& p : s.Properties())
    if (p.Name == "GotoLineNumber") line = &p;
  ASSERT_NE(line, nullptr);
  struct Case {
    TQuillVariant value;
    int expect;  // -1: refused
  };
  const Case cases[] = {
      {std::string("123"), 123},         {std::string("-2147483648"), INT32_MIN},
      {std::string("2147483648"), -1},   {std::string("99999999999999999999"), -1},
      {std::string("12x"), -1},          {42.9, 42},
      {1e100, -1},                       {-3e9, -1},
      {std::numeric_limits<double>::quiet_NaN(), -1},
  };
  for (const auto& c : cases) {
    s.GotoLineNumber = 7;
    if (c.expect == -1) {
      EXPECT_THROW(SetPropertyValue(s, line, c.value), platform::EConvertError) << c.value.index();
      EXPECT_EQ(s.GotoLineNumber, 7);
    } else {
      SetPropertyValue(s, line, c.value);
      EXPECT_EQ(s.GotoLineNumber, c.expect);
    }
  }
}

TEST_F(Settings, MissingKeyKeepsDefaultsAndUnknownTypesRaise) {
  TQuillSearchSettings s;
  ExpectDefaults(s);
  TQuillVariant value = std::monostate{};
  EXPECT_THROW(WriteVarToRegistry(SettingsKey, "x", value), platform::Exception);
  TQuillVariant stays = int32_t{7};
  ReadVarFromRegistry("Software\\Nowhere", "x", stays);
  EXPECT_EQ(std::get<int32_t>(stays), 7);
}

struct CountingSettings : TQuillSearchSettings {
  CountingSettings() : TQuillSearchSettings(NoLoad{}) {}
  int applied = 0;
  void Apply() override { ++applied; }
};

TEST_F(Settings, AssignAppliesOnceOnTheReceiver) {
  CountingSettings from, to;
  Fill(from);
  to.Assign(from);
  EXPECT_EQ(to.applied, 1);
  EXPECT_EQ(from.applied, 0);
  ExpectFilled(to);
}

TEST_F(Settings, SearchPlainAndExpression) {
  TQuillStrings lines;
  lines.SetText("alpha beta\r\n\r\ngamma alpha\r\n");
  TQuillSearchSettings s(TQuillSearchSettings::NoLoad{});
  s.TextToFind = "ALPHA";
  s.FirstSearch = true;
  TPoint pos{5, 1};
  int len = 0;
  ASSERT_TRUE(s.Search(lines, pos, len, DelimSet()));
  EXPECT_EQ(pos, (TPoint{1, 0})) << "a first search over the entire scope starts at the top";
  pos.X += 1;
  ASSERT_TRUE(s.Search(lines, pos, len, DelimSet()));
  EXPECT_EQ(pos, (TPoint{7, 2}));

  s.RegularExpr = true;
  s.TextToFind = "g[a-m]+";
  pos = {1, 0};
  ASSERT_TRUE(s.Search(lines, pos, len, DelimSet()));
  EXPECT_EQ(pos, (TPoint{1, 2}));
  EXPECT_EQ(len, 5);

  s.TextToFind = "x*";  // matches empty text everywhere
  pos = {1, 2};
  std::vector<TPoint> seen;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(s.Search(lines, pos, len, DelimSet()));
    seen.push_back(pos);
  }
  EXPECT_EQ(seen, (std::vector<TPoint>{{2, 2}, {3, 2}, {4, 2}})) << "each search moves on";
}

TEST_F(Settings, GlobalSettingsAreMadeOnceForTheFirstClassThatAccepts) {
  static int made = 0;
  static const TQuillSettingsClass klass{
      "TTestSettings",
      [] {
        ++made;
        return std::unique_ptr<TQuillSettings>(new CountingSettings);
      },
      [](TQuillObject* target) { return target != nullptr; }};
  AddGlobalSetting(&klass);
  TQuillObject target;
  TQuillSettings* a = GlobalSettings(&target);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GlobalSettings(&target), a);
  EXPECT_EQ(GlobalClassSettings(&klass), a);
  EXPECT_EQ(GlobalSettings(nullptr), nullptr);
  EXPECT_EQ(made, 1);
  FreeGlobalSettings();
}

}  // namespace
