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
      {"a\n", {"a"}},
      {"a\r", {"a"}},
      {"\r\n", {""}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n\rb", {"a", "", "b"}},  // LF CR is two breaks, not one
      {"a\r\r\nb", {"a", "", "b"}},
      {"\r\na", {"", "a"}},
      {"1001\r\n2002\r\n", {"1001", "2002"}},
      {std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},  // a zero byte is data
      {" \xE9 \r\n", {" \xE9 "}},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.Add("stale");
    list.SetText(c.text);
    EXPECT_EQ(Lines(list), c.want) << testing::PrintToString(c.text);
  }
}

TEST(StringList, GettingTextEndsEveryItemWithCrLf) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("a");
  list.Add("");
  list.Add("b");
  EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");
  // Round trip: an empty last item survives because its break is written.
  TStringList copy;
  copy.SetText(list.Text());
  EXPECT_EQ(Lines(copy), Lines(list));
}

TEST(StringList, ValuesReadAndWriteNameValueLines) {
  TStringList list;
  list.SetText("Build=1.2\r\nUrl=http://h/p?a=b\r\nnoequals\r\n=anon\r\n");
  EXPECT_EQ(list.Values("Build"), "1.2");
  EXPECT_EQ(list.Values("build"), "1.2");        // names ignore ASCII case
  EXPECT_EQ(list.Values("Url"), "http://h/p?a=b");  // only the first '=' splits
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.Values("noequals"), "");  // a line without '=' has no name
  EXPECT_EQ(list.Values(""), "anon");
  EXPECT_EQ(list.Names(1), "Url");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.ValueFromIndex(1), "http://h/p?a=b");
  EXPECT_EQ(list.IndexOfName("BUILD"), 0);

  list.SetValues("build", "2.0");  // replaces in place
  EXPECT_EQ(list[0], "build=2.0");
  list.SetValues("New", "x");  // appends
  EXPECT_EQ(list[list.Count() - 1], "New=x");
  list.SetValues("Url", "");  // an empty value removes the line
  EXPECT_EQ(list.IndexOfName("Url"), -1);
  EXPECT_EQ(list.Count(), 4);
}

TEST(StringList, BadIndexesRaiseListErrorsAndChangeNothing) {
  TStringList list;
  list.SetText("a\r\nb");
  EXPECT_THROW(list.Get(2), EListError);
  EXPECT_THROW(list.Get(-1), EListError);
  EXPECT_THROW(list.Delete(2), EListError);
  EXPECT_THROW(list.Put(5, "x"), EListError);
  EXPECT_THROW(list.Insert(3, "x"), EListError);
  EXPECT_THROW(list.GetObject(2), EListError);
  EXPECT_THROW(list.Exchange(0, 2), EListError);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b"}));
  list.Insert(2, "c");  // inserting at Count appends
  EXPECT_EQ(list[2], "c");
  EXPECT_EQ(list.IndexOf("B"), 1);
  EXPECT_EQ(list.IndexOf("zz"), -1);
}

TEST(StringList, ObjectsTravelWithTheirLines) {
  int x = 1, y = 2, z = 3;
  TStringList list;
  list.AddObject("10.0.0.3", &z);
  list.AddObject("10.0.0.1", &x);
  list.AddObject("10.0.0.2", &y);
  list.Exchange(0, 2);
  list.Move(0, 1);
  EXPECT_EQ(list.GetObject(list.IndexOf("10.0.0.1")), &x);
  EXPECT_EQ(list.GetObject(list.IndexOf("10.0.0.3")), &z);
  list.Put(list.IndexOfObject(&y), "renamed");
  EXPECT_EQ(list.GetObject(list.IndexOf("renamed")), &y);
  list.SetSorted(true);
  EXPECT_EQ(list.GetObject(0), &x);
  EXPECT_EQ(list.GetObject(1), &z);
  EXPECT_EQ(list.GetObject(2), &y);
  list.Delete(list.IndexOfObject(&z));
  EXPECT_EQ(list.IndexOfObject(&z), -1);
}

TEST(StringList, SortedListsKeepOrderAndApplyTheDuplicatesRule) {
  struct Case {
    TDuplicates rule;
    bool caseSensitive;
    std::vector<std::string> want;
    int deltaAt;  // where Find places a missing line
  } cases[] = {
      {dupIgnore, false, {"alpha", "Beta", "gamma"}, 2},
      {dupAccept, false, {"alpha", "beta", "Beta", "gamma"}, 3},
      {dupIgnore, true, {"Beta", "alpha", "beta", "gamma"}, 3},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetCaseSensitive(c.caseSensitive);
    list.SetDuplicates(c.rule);
    list.SetSorted(true);
    for (const char* s : {"gamma", "Beta", "alpha", "beta"}) list.Add(s);
    EXPECT_EQ(Lines(list), c.want);
    int at = -1;
    EXPECT_FALSE(list.Find("delta", at));
    EXPECT_EQ(at, c.deltaAt);
    EXPECT_EQ(list.IndexOf(c.want[1]), 1);
    EXPECT_THROW(list.Insert(0, "zz"), EListError);
  }
  TStringList strict;
  strict.SetSorted(true);
  strict.SetDuplicates(dupError);
  strict.Add("a");
  EXPECT_THROW(strict.Add("A"), EListError);
  EXPECT_EQ(strict.Count(), 1);
}

TEST(StringList, FilesHoldTheBytesWithCrLfAfterEveryLine) {
  TempFolder dir;
  const auto path = dir / "blocked.parlo";
  TStringList list;
  list.Add("1001");
  list.Add("caf\xE9 \x80");
  list.Add("");
  list.SaveToFile(path);
  EXPECT_EQ(ReadRawFile(path), "1001\r\ncaf\xE9 \x80\r\n\r\n");

  WriteRawFile(path, "a\nb\r\nc");
  TStringList loaded;
  loaded.Add("old");
  loaded.LoadFromFile(path);
  EXPECT_EQ(Lines(loaded), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(StringList, FailedFileOperationsRaiseAndKeepWhatWasThere) {
  TempFolder dir;
  TStringList list;
  list.Add("keep");
  EXPECT_THROW(list.LoadFromFile(dir / "missing.txt"), EStreamError);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.SaveToFile(dir / "no-such-folder" / "x.txt"), EStreamError);

  // Replacing a file never leaves a temporary beside it.
  const auto path = dir / "groups.grp";
  WriteRawFile(path, "old\r\n");
  list.SaveToFile(path);
  EXPECT_EQ(ReadRawFile(path), "keep\r\n");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1);
}
