#include "platform/StringList.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "platform_test_helpers.h"

using platform::EListError;
using platform::EStreamError;

namespace {

std::vector<std::string> Lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

}  // namespace

TEST(StringList, SettingTextSplitsAtEveryKindOfLineBreak) {
  using V = std::vector<std::string>;
  struct Case {
    std::string text;
    V want;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},  // a trailing break adds no empty item
      {"a\r", {"a"}},
      {"\r\n", {""}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n\rb", {"a", "", "b"}},  // LF CR is two breaks, not one
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},  // a zero byte is data
  };
  for (const auto& c : cases) {
    TStringList list;
    list.Add("stale");
    list.SetText(c.text);
    EXPECT_EQ(Lines(list), c.want) << testing::PrintToString(c.text);
  }
}

TEST(StringList, TextAndValuesRoundTrip) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.SetText("Build=1.2\nUrl=http://h/p?a=b\r\nnoequals\r\n\r\n");
  EXPECT_EQ(list.Text(), "Build=1.2\r\nUrl=http://h/p?a=b\r\nnoequals\r\n\r\n");
  EXPECT_EQ(list.Values("build"), "1.2");           // names ignore ASCII case
  EXPECT_EQ(list.Values("Url"), "http://h/p?a=b");  // only the first '=' splits
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.Values("noequals"), "");  // a line without '=' has no name
  list.SetValues("build", "2.0");          // replaces in place
  list.SetValues("Url", "");               // an empty value removes the line
  list.SetValues("New", "x");              // a new name is appended
  EXPECT_EQ(list.Text(), "build=2.0\r\nnoequals\r\n\r\nNew=x\r\n");
}

TEST(StringList, BadIndexesRaiseAndObjectsTravelWithTheirLines) {
  int x = 1, y = 2, z = 3;
  TStringList list;
  list.AddObject("c", &z);
  list.AddObject("a", &x);
  list.AddObject("b", &y);
  EXPECT_THROW(list.Get(3), EListError);
  EXPECT_THROW(list.Insert(4, "x"), EListError);
  list.Move(0, 2);
  list.Put(0, "A");
  list.SetSorted(true);
  EXPECT_EQ(list.Text(), "A\r\nb\r\nc\r\n");
  EXPECT_EQ(list.GetObject(0), &x);
  EXPECT_EQ(list.GetObject(1), &y);
  EXPECT_EQ(list.GetObject(2), &z);
}

TEST(StringList, SortedListsKeepOrderAndApplyTheDuplicatesRule) {
  struct Case {
    TDuplicates rule;
    bool caseSensitive;
    std::vector<std::string> want;
  } cases[] = {
      {dupIgnore, false, {"alpha", "Beta", "gamma"}},
      {dupAccept, false, {"alpha", "beta", "Beta", "gamma"}},
      {dupIgnore, true, {"Beta", "alpha", "beta", "gamma"}},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetCaseSensitive(c.caseSensitive);
    list.SetDuplicates(c.rule);
    list.SetSorted(true);
    for (const char* s : {"gamma", "Beta", "alpha", "beta"}) list.Add(s);
    EXPECT_EQ(Lines(list), c.want);
    EXPECT_EQ(list.IndexOf(c.want[1]), 1);
    EXPECT_THROW(list.Insert(0, "zz"), EListError);  // would break the order
  }
  TStringList strict;
  strict.SetSorted(true);
  strict.SetDuplicates(dupError);
  strict.Add("a");
  EXPECT_THROW(strict.Add("A"), EListError);
}

TEST(StringList, FilesHoldTheBytesAndFailuresKeepWhatWasThere) {
  TempFolder dir;
  const auto path = dir / "blocked.parlo";
  WriteRawFile(path, "old\r\n");
  TStringList list;
  list.SetText("1001\ncaf\xE9 \x80\n\n");
  list.SaveToFile(path);
  EXPECT_EQ(ReadRawFile(path), "1001\r\ncaf\xE9 \x80\r\n\r\n");
  int files = 0;  // replacing leaves no temporary file beside it
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1);

  TStringList loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(Lines(loaded), Lines(list));
  EXPECT_THROW(loaded.LoadFromFile(dir / "missing.txt"), EStreamError);
  EXPECT_EQ(loaded.Count(), 3);
  EXPECT_THROW(list.SaveToFile(dir / "no-such-folder" / "x.txt"), EStreamError);
}
