#include "platform/Dataset.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace {

namespace fs = std::filesystem;
using platform::Dataset;

Dataset Friends() {
  return Dataset({{"UserID", 20, ""}, {"UserName", 128, "New User"}, {"ListenIP", 20, ""}});
}

// The values the cursor walks over, in order, from First to Eof.
std::vector<std::string> Walk(Dataset& d, const char* field) {
  std::vector<std::string> seen;
  for (d.First(); !d.Eof(); d.Next()) seen.push_back(d.FieldValue(field));
  return seen;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

class DatasetFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("parlo-dataset-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<fs::path> AsideFiles() const {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().find(".unreadable-") != std::string::npos) found.push_back(e.path());
    return found;
  }

  fs::path dir_;
};

TEST(Dataset, CursorCountAndRecNoSeeOnlyFilteredRows) {
  auto d = Friends();
  for (auto [id, name] : {std::pair{"12", "a"}, {"123", "b"}, {"12", "c"}, {"7", "d"}})
    d.AppendRecord({id, name});
  EXPECT_EQ(d.RecordCount(), 4);
  d.SetFilter("UserID", "12");
  EXPECT_EQ(Walk(d, "UserName"), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(d.RecordCount(), 2);
  d.First();
  d.Next();
  EXPECT_EQ(d.RecNo(), 2);
  EXPECT_FALSE(d.Eof());
  d.Next();
  EXPECT_TRUE(d.Eof());
  // A row hidden by the filter cannot be found.
  EXPECT_FALSE(d.Locate("UserID", "7"));
  d.ClearFilter();
  EXPECT_TRUE(d.Locate("UserID", "7"));
  EXPECT_EQ(d.RecNo(), 4);
  d.SetRecNo(2);
  EXPECT_EQ(d.FieldValue("UserName"), "b");
}

TEST(Dataset, LocateMatchesWholeValuesOnly) {
  auto d = Friends();
  d.AppendRecord({"123", "long"});
  d.AppendRecord({"1", "short"});
  struct Case {
    const char* key;
    bool found;
    const char* name;
  };
  for (const Case& c : {Case{"12", false, "short"}, Case{"1", true, "short"}, Case{"123", true, "long"},
                        Case{"", false, "long"}, Case{"1234", false, "long"}}) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(d.Locate("UserID", c.key), c.found);
    // A failed search leaves the cursor where it was.
    EXPECT_EQ(d.FieldValue("UserName"), c.name);
  }
  EXPECT_THROW(d.Locate("NoSuchField", "1"), platform::EDatabaseError);
}

TEST(Dataset, EditPostCancelAndFixedSizes) {
  auto d = Friends();
  EXPECT_THROW(d.Edit(), platform::EDatabaseError);
  d.Append();
  EXPECT_EQ(d.FieldValue("UserName"), "New User");
  d.SetFieldValue("UserID", std::string(30, '9'));
  d.Post();
  EXPECT_EQ(d.FieldValue("UserID"), std::string(20, '9'));

  d.Edit();
  d.SetFieldValue("UserName", "changed");
  d.Cancel();
  EXPECT_EQ(d.FieldValue("UserName"), "New User");
  EXPECT_THROW(d.SetFieldValue("UserName", "x"), platform::EDatabaseError);

  // Moving the cursor posts a pending edit, as a bound form relies on.
  d.Edit();
  d.SetFieldValue("UserName", "kept");
  d.First();
  EXPECT_EQ(d.GetState(), Dataset::State::Browse);
  EXPECT_EQ(d.FieldValue("UserName"), "kept");

  // Deleting a row still being inserted just drops it.
  d.Append();
  d.Delete();
  EXPECT_EQ(d.RecordCount(), 1);
  EXPECT_EQ(d.FieldValue("UserName"), "kept");
}

TEST(Dataset, DeleteMovesToNextThenPreviousAndEmptiesOnlyTheFilteredRows) {
  auto d = Friends();
  for (auto id : {"1", "2", "1", "3", "1"}) d.AppendRecord({id, id});
  d.Locate("UserID", "2");
  d.Delete();
  EXPECT_EQ(d.RecNo(), 2);  // the row after the deleted one
  EXPECT_EQ(d.FieldValue("UserID"), "1");
  d.SetRecNo(d.RecordCount());
  d.Delete();
  EXPECT_EQ(d.FieldValue("UserID"), "3");  // no next row: the previous one

  // The clear-history pattern: first, delete, until the filter shows nothing.
  d.SetFilter("UserID", "1");
  int deleted = 0;
  for (d.First(); !d.Eof(); d.First()) d.Delete(), ++deleted;
  EXPECT_EQ(deleted, 2);
  EXPECT_THROW(d.Delete(), platform::EDatabaseError);
  d.ClearFilter();
  EXPECT_EQ(Walk(d, "UserID"), std::vector<std::string>{"3"});
}

TEST_F(DatasetFiles, SaveAndLoadKeepEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::vector<std::vector<std::string>> rows = {
      {"", "", ""},
      {"1:\n", "\r\n\r\n", "12:x\n0:\n"},
      {all.substr(0, 20), all.substr(0, 128), all.substr(236)},
      {"PARLO-DATASET 1\n", "\x80\xff", " "},
  };
  auto d = Friends();
  for (const auto& r : rows) d.AppendRecord(r);
  d.SaveToFile(dir_ / "t.cds");
  auto e = Friends();
  EXPECT_EQ(e.LoadFromFile(dir_ / "t.cds", {}), Dataset::LoadResult::Loaded);
  ASSERT_EQ(e.RecordCount(), 4);
  e.First();
  for (const auto& r : rows) {
    EXPECT_EQ(e.FieldValue("UserID"), r[0]);
    EXPECT_EQ(e.FieldValue("UserName"), r[1]);
    EXPECT_EQ(e.FieldValue("ListenIP"), r[2]);
    e.Next();
  }
  EXPECT_FALSE(fs::exists(dir_ / "t.cds.tmp"));
}

TEST_F(DatasetFiles, ColumnsAreMatchedByName) {
  Dataset wide({{"Extra", 10, ""}, {"UserID", 20, ""}, {"UserName", 5, ""}});
  wide.AppendRecord({"dropped", "42", "Alice"});
  wide.SaveToFile(dir_ / "t.cds");
  auto d = Friends();
  ASSERT_EQ(d.LoadFromFile(dir_ / "t.cds", {}), Dataset::LoadResult::Loaded);
  EXPECT_EQ(d.FieldValue("UserID"), "42");
  EXPECT_EQ(d.FieldValue("UserName"), "Alice");
  EXPECT_EQ(d.FieldValue("ListenIP"), "");

  Dataset narrow({{"UserID", 1, ""}, {"UserName", 128, "default"}});
  ASSERT_EQ(narrow.LoadFromFile(dir_ / "t.cds", {}), Dataset::LoadResult::Loaded);
  EXPECT_EQ(narrow.FieldValue("UserID"), "4");  // cut to this program's size
}

TEST_F(DatasetFiles, MissingFileGivesEmptyTableWithoutComplaint) {
  auto d = Friends();
  int logged = 0;
  EXPECT_EQ(d.LoadFromFile(dir_ / "none.cds", [&](const std::string&) { ++logged; }),
            Dataset::LoadResult::Missing);
  EXPECT_TRUE(d.IsEmpty());
  EXPECT_TRUE(d.Eof());
  EXPECT_EQ(logged, 0);
}

TEST_F(DatasetFiles, UnreadableFilesAreKeptAsideLoggedAndReplaced) {
  auto good = Friends();
  good.AppendRecord({"1", "one", "10.0.0.1"});
  good.AppendRecord({"2", "two", "10.0.0.2"});
  good.SaveToFile(dir_ / "good.cds");
  const std::string valid = ReadFile(dir_ / "good.cds");

  std::vector<std::string> bad = {
      "garbage",
      "",
      valid + "x",
      "PARLO-DATASET 1\n1\nUserID 20\n99999999999999999999\n",
      "PARLO-DATASET 1\n1\nUserID 20\n1000000000\n0:\n",
      "PARLO-DATASET 1\n0\n5\n",
      "PARLO-DATASET 1\n1\nUserID 20\n1\n18446744073709551615:\n",
      "PARLO-DATASET 2\n0\n0\n",
  };
  // Every cut-off copy of a good file must be refused, not read as fewer rows.
  for (std::size_t n = 1; n < valid.size(); ++n) bad.push_back(valid.substr(0, n));

  for (const auto& bytes : bad) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    fs::path file = dir_ / "t.cds";
    WriteFile(file, bytes);
    auto d = Friends();
    d.AppendRecord({"stale"});
    std::vector<std::string> log;
    EXPECT_EQ(d.LoadFromFile(file, [&](const std::string& m) { log.push_back(m); }),
              Dataset::LoadResult::Replaced);
    EXPECT_TRUE(d.IsEmpty());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("t.cds"), std::string::npos);
    auto aside = AsideFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(aside[0]), bytes);
    EXPECT_FALSE(fs::exists(file));
    // The empty table replaces the bad file on the next save.
    d.AppendRecord({"new"});
    d.SaveToFile(file);
    auto e = Friends();
    EXPECT_EQ(e.LoadFromFile(file, {}), Dataset::LoadResult::Loaded);
    EXPECT_EQ(e.FieldValue("UserID"), "new");
    fs::remove(aside[0]);
  }
}

TEST_F(DatasetFiles, SaveKilledAtAnyMomentLeavesOldOrNewFileWhole) {
  const fs::path file = dir_ / "t.cds";
  // Large enough that a save takes a while, so kills land mid-write.
  auto make = [](const std::string& tag) {
    auto d = Friends();
    for (int i = 0; i < 20000; ++i) d.AppendRecord({tag + std::to_string(i), std::string(100, 'x')});
    return d;
  };
  auto oldTable = make("old");
  oldTable.SaveToFile(file);
  const std::string oldBytes = ReadFile(file);
  auto newTable = make("new");
  std::string newBytes;
  {
    newTable.SaveToFile(dir_ / "reference.cds");
    newBytes = ReadFile(dir_ / "reference.cds");
  }
  std::mt19937 rng(7);
  int sawOld = 0, sawNew = 0;
  for (int round = 0; round < 12; ++round) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        newTable.SaveToFile(file);
        oldTable.SaveToFile(file);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string now = ReadFile(file);
    ASSERT_TRUE(now == oldBytes || now == newBytes) << "file size " << now.size();
    (now == oldBytes ? sawOld : sawNew)++;
    auto d = Friends();
    EXPECT_EQ(d.LoadFromFile(file, {}), Dataset::LoadResult::Loaded);
  }
  EXPECT_EQ(sawOld + sawNew, 12);
}

}  // namespace
