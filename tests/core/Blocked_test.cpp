#include "core/session/Blocked.h"

#include <gtest/gtest.h>

#include "platform/StringList.h"
#include "platform/platform_test_helpers.h"

namespace {

TEST(BlockedUsers, IdsAndRecordsMatchTheWholeKeyOnly) {
  TStringList list;
  list.SetText("123,Alice\r\n456\r\n789,Bob, the builder\r\nAbC,x\r\n");
  const std::pair<std::string, bool> ids[] = {
      {"123", true},  {"1234", false}, {"12", false},  {"456", false},  // a line without a comma blocks nobody
      {"789", true},  {"abc", false},  {"AbC", true},  {"", false},     {" 123", false},
  };
  for (const auto& [id, blocked] : ids) EXPECT_EQ(TBlockedUsers::IsIdBlocked(list, id), blocked) << id;

  const std::pair<std::string, bool> records[] = {
      {"123||General||2960||Alice", true},  // a profile record
      {"123{$}456{$}Alice{$}1", true},      // a relayed message record
      {"1234||General", false},
      {"123", true},
      {"", false},
      {"||123", false},
      {"789\r\n123||x", true},
  };
  for (const auto& [record, blocked] : records)
    EXPECT_EQ(TBlockedUsers::IsUserBlocked(list, record), blocked) << record;
}

TEST(BlockedUsers, FileRoundTripAcceptsAnyLineEndAndWritesCrLf) {
  TempFolder dir;
  const std::string file = (dir / "blocked.parlo").string();
  TStringList list;
  TBlockedUsers::Load(list, file);  // missing: empty, nothing created
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(file));

  WriteRawFile(file, "1,a\n2,b\r3,c\r\n");
  TBlockedUsers::Load(list, file);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_TRUE(TBlockedUsers::IsIdBlocked(list, "2"));

  EXPECT_TRUE(TBlockedUsers::Add(list, file, "40000001", "Smith, John"));
  EXPECT_EQ(ReadRawFile(file), "1,a\r\n2,b\r\n3,c\r\n40000001,Smith, John\r\n");
  TStringList again;
  TBlockedUsers::Load(again, file);
  EXPECT_TRUE(TBlockedUsers::IsIdBlocked(again, "40000001"));
  EXPECT_FALSE(TBlockedUsers::IsIdBlocked(again, "Smith"));
}

TEST(BlockedUsers, AddRefusesWhatWouldNotReadBackAsTheSameId) {
  TempFolder dir;
  const std::string file = (dir / "blocked.parlo").string();
  TStringList list;
  ASSERT_TRUE(TBlockedUsers::Add(list, file, "11", "first"));
  const std::pair<std::string, std::string> refused[] = {
      {"11", "again"}, {"", "name"}, {"12", ""}, {"1,2", "comma in id"}, {"13\r\n", "line break"},
  };
  for (const auto& [id, name] : refused) EXPECT_FALSE(TBlockedUsers::Add(list, file, id, name)) << id;
  // A line break in a name would start a new entry: it is blanked.
  EXPECT_TRUE(TBlockedUsers::Add(list, file, "14", "x\r\n15,y"));
  EXPECT_EQ(ReadRawFile(file), "11,first\r\n14,x  15,y\r\n");
  EXPECT_FALSE(TBlockedUsers::IsIdBlocked(list, "15"));
}

TEST(BlockedUsers, BlockUserAsksFirstAndAddsOnlyOnYes) {
  TempFolder dir;
  const std::string file = (dir / "blocked.parlo").string();
  TStringList list;
  std::vector<std::string> asked;
  auto answer = [&](bool yes) {
    return [&asked, yes](const std::string& name) {
      asked.push_back(name);
      return yes;
    };
  };
  EXPECT_FALSE(TBlockedUsers::BlockUser(list, file, "21", "Ann", answer(false)));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(TBlockedUsers::BlockUser(list, file, "21", "Ann", answer(true)));
  // Already blocked: still asked, nothing added.
  EXPECT_FALSE(TBlockedUsers::BlockUser(list, file, "21", "Ann", answer(true)));
  EXPECT_EQ(asked, (std::vector<std::string>{"Ann", "Ann", "Ann"}));
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
