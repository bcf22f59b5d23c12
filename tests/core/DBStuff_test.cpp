#include "core/session/DBStuff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <memory>

#include "Widgets_helpers.h"
#include "common/Settle.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& s, const std::string& sep) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  for (std::size_t hit; (hit = s.find(sep, pos)) != std::string::npos; pos = hit + sep.size())
    parts.push_back(s.substr(pos, hit - pos));
  parts.push_back(s.substr(pos));
  return parts;
}

class DBStuffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("parlo-dbstuff-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name()) /
           "Data";
    fs::remove_all(dir_.parent_path());
    hooks_.LogError = [this](const std::string& m) { log_.push_back(m); };
    hooks_.SetCurrentProfile = [this](const std::string& n) { currentProfile_ = n; };
    hooks_.SetUserName = [this](const std::string& n) { userName_ = n; };
    hooks_.AddFriendItem = [this](const std::string& caption, const std::vector<std::string>& sub) {
      items_.push_back(caption);
      for (const auto& s : sub) items_.back() += "|" + s;
    };
    hooks_.ShowInformation = [this](const std::string& text, const std::string&) { info_.push_back(text); };
    Open();
  }
  void TearDown() override {
    db_.reset();
    fs::remove_all(dir_.parent_path());
  }
  void Open() {
    db_.reset();
    db_ = std::make_unique<TDBStuff>(dir_, hooks_);
  }
  fs::file_time_type Stamp(const char* file) { return fs::last_write_time(dir_ / file); }

  void AddProfile(const std::string& name) {
    db_->NewProfile(name);
    db_->Profiles.Edit();
    db_->Profiles.SetFieldValue("UserName", name + "-user");
    db_->Profiles.SetFieldValue("Greeting", name + " greets");
    db_->Profiles.Post();
  }

  fs::path dir_;
  TDBStuffHooks hooks_;
  std::unique_ptr<TDBStuff> db_;
  std::vector<std::string> log_, items_, info_;
  std::string currentProfile_, userName_;
};

TEST_F(DBStuffTest, ProfileRecordHasTwentyOneFieldsEscapedAsTheyTravel) {
  AddProfile("Work");
  db_->Profiles.Edit();
  db_->Profiles.SetFieldValue("Description", "a,b\r\nc");
  db_->Profiles.SetFieldValue("Hobbies", "chess, go");
  db_->Profiles.SetFieldValue("Age", "");
  db_->Profiles.Post();
  AddProfile("Work2");

  auto f = Split(db_->BuildProfileRecord("Work", "12345678", "General", 3, "2960", ""), "||");
  ASSERT_EQ(f.size(), 21u);
  EXPECT_EQ(f[0], "12345678");
  EXPECT_EQ(f[1], "General");
  EXPECT_EQ(f[2], "2960");
  EXPECT_EQ(f[3], "Work-user");  // "Work", not the later "Work2"
  EXPECT_EQ(f[6], "");
  EXPECT_EQ(f[8], "Undefined");
  EXPECT_EQ(f[10], "chess$c go");
  EXPECT_EQ(f[11], "a$cb$r$nc");
  EXPECT_EQ(f[16], "Work greets");
  EXPECT_EQ(f[17], "Sorry busy right now...");
  EXPECT_EQ(f[18], "Welcome");
  EXPECT_EQ(f[19], "No WebCam");
  EXPECT_EQ(f[20], "3");

  f = Split(db_->BuildProfileRecord("Work2", "1", "g", 0, "1", "Hi,\nthere"), "||");
  EXPECT_EQ(f[3], "Work2-user");
  EXPECT_EQ(f[16], "Hi$c$nthere");
  // An unknown profile name uses the row the cursor is on.
  f = Split(db_->BuildProfileRecord("Nobody", "1", "g", 0, "1", ""), "||");
  EXPECT_EQ(f[3], "Work2-user");
}

TEST_F(DBStuffTest, NoFieldValueCanBreakTheRecordOrTheFrame) {
  const std::vector<std::string> hostile = {"a||b", "x{$}y", "p>q", "|lead", "trail|", "|{$}|",
                                            "{{$}$}}", "line\r\nbreak", "a,b", "||||", "|", ">>"};
  const std::vector<std::string> fields = {"UserName", "Hobbies", "Description", "BusyMsg", "WebCam"};
  for (const auto& field : fields) {
    for (const auto& value : hostile) {
      SCOPED_TRACE(field + " = " + ::testing::PrintToString(value));
      db_->Profiles = platform::Dataset(db_->Profiles.Fields());
      db_->Profiles.Append();
      db_->Profiles.SetFieldValue("Name", "p");
      db_->Profiles.SetFieldValue(field, value);
      db_->Profiles.Post();
      const auto record = db_->BuildProfileRecord("p", value, value, 1, value, "");
      EXPECT_EQ(Split(record, "||").size(), 21u);
      EXPECT_EQ(record.find_first_of("\r\n>,"), std::string::npos);
      EXPECT_EQ(record.find("{$}"), std::string::npos);
      EXPECT_EQ(record.back(), '1');
      // Single fields that go into other records and frames are cleaned too.
      for (const auto& single : {db_->ProfileField("p", field), db_->BusyMessage()}) {
        EXPECT_EQ(single.find_first_of("\r\n>,"), std::string::npos);
        EXPECT_EQ(single.find("{$}"), std::string::npos);
        EXPECT_EQ(single.find("||"), std::string::npos);
      }
    }
  }
}

// The store keeps what the user typed, also what no record could carry; the
// record built for the wire is the one made safe.
TEST_F(DBStuffTest, ProfilesAreStoredAsTyped) {
  AddProfile("Home");
  const std::vector<std::pair<const char*, const char*>> typed = {
      {"UserName", "a||b"}, {"Country", "x{$}y"}, {"Description", "I like <b>bold</b> text"},
      {"Hobbies", "a\nb"}, {"Banner", "a,b"}};
  db_->Profiles.Edit();
  for (const auto& [field, value] : typed) db_->Profiles.SetFieldValue(field, value);
  db_->Profiles.Post();
  db_->SaveProfiles();
  EXPECT_EQ(currentProfile_, "Home");
  for (bool atExit : {false, true}) {
    SCOPED_TRACE(atExit ? "written when the run ends" : "saved");
    Open();
    ASSERT_TRUE(db_->Profiles.Locate("Name", "Home"));
    for (const auto& [field, value] : typed) EXPECT_EQ(db_->Profiles.FieldValue(field), value) << field;
  }
  const auto f = Split(db_->BuildProfileRecord("Home", "1", "g", 0, "1", ""), "||");
  ASSERT_EQ(f.size(), 21u);
  EXPECT_EQ(f[3], "ab");
  EXPECT_EQ(f[11], "I like <bbold</b text");
  EXPECT_TRUE(log_.empty()) << log_.front();
}

TEST_F(DBStuffTest, ProfilesReachTheFileOnSaveOrAtTheEndOfTheRun) {
  AddProfile("One");
  EXPECT_FALSE(fs::exists(dir_ / "Profiles.cds"));  // a new profile is not written at once
  AddProfile("Two");
  AddProfile("Three");
  db_->SelectProfile("Two");
  EXPECT_EQ(userName_, "Two-user");
  EXPECT_EQ(currentProfile_, "Two");
  EXPECT_EQ(db_->ListProfileNames(), "One\nTwo\nThree");
  EXPECT_EQ(db_->Profiles.FieldValue("Name"), "Two");  // the listing keeps the current row
  EXPECT_EQ(db_->ProfileGreeting(), "Two greets");
  EXPECT_EQ(db_->ProfileField("Three", "Hobbies"), "");

  // Left unsaved: the end of the run writes it.
  db_->Profiles.Edit();
  db_->Profiles.SetFieldValue("Country", "Here>There");
  Open();
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(db_->ListProfileNames(), "One\nTwo\nThree");
  ASSERT_TRUE(db_->Profiles.Locate("Name", "Three"));  // ProfileField moved there
  EXPECT_EQ(db_->Profiles.FieldValue("Country"), "Here>There");
}

TEST_F(DBStuffTest, FriendsMatchWholeIdsOnly) {
  EXPECT_EQ(db_->FriendIdList(), "");
  db_->ShowFriendsOffline();
  EXPECT_TRUE(items_.empty());

  EXPECT_TRUE(db_->AddFriend("123", "Carol", "10.0.0.3", "2960"));
  EXPECT_FALSE(db_->IsFriend("12"));
  EXPECT_FALSE(db_->IsFriend(""));
  EXPECT_TRUE(db_->IsFriend("123"));
  // As a caller, only from the address last stored for it.
  EXPECT_TRUE(db_->IsFriendAt("123", "10.0.0.3"));
  EXPECT_FALSE(db_->IsFriendAt("123", "10.0.0.30"));
  EXPECT_FALSE(db_->IsFriendAt("12", "10.0.0.3"));
  EXPECT_EQ(db_->CurrentFriendID(), "123");

  // Updating an unknown id changes and writes nothing; "12" is not "123".
  const auto saved = Stamp("friends.cds");
  db_->UpdateFriend("12", "Mallory", "6.6.6.6", "1");
  EXPECT_EQ(Stamp("friends.cds"), saved);
  db_->AddFriend("12", "Bob", "10.0.0.2", "2960");
  db_->UpdateFriend("123", "Carol2", "10.0.0.33", "2961");
  db_->AddFriend("12", "Bobby", "10.0.0.22", "2962");
  EXPECT_EQ(db_->FriendIdList(), "123,12");
  db_->ShowFriendsOffline();
  EXPECT_EQ(items_, (std::vector<std::string>{"Carol2|Offline|10.0.0.33|2961|123|0",
                                              "Bobby|Offline|10.0.0.22|2962|12|0"}));
  // Ids that would break the frame they travel in are refused.
  for (const char* bad : {"", "1,2", "1>", "1|2", "{$}", "9\r\n"}) EXPECT_FALSE(db_->AddFriend(bad, "x", "", ""));
  Open();  // what AddFriend and UpdateFriend wrote survives
  EXPECT_EQ(db_->FriendIdList(), "123,12");
}

// The server repeats a friend's record with every change of status: an
// update that changes no stored field writes nothing, and the changes of a
// burst reach the file once, a moment later, or at the end of the run.
TEST_F(DBStuffTest, FriendUpdatesAreWrittenOnlyWhenStoredFieldsChangeOnceABurst) {
  testing_support::WidgetApp();  // the program's event loop, which runs the timer
  // A name longer than its field is stored cut; sent again, it is no change.
  const std::string name = "Carol" + std::string(200, 'l');
  db_->AddFriend("123", name, "10.0.0.3", "2960");
  const auto onDisk = [&] {
    std::ifstream in(dir_ / "friends.cds", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  ASSERT_NE(onDisk().find("Carol"), std::string::npos);
  fs::remove(dir_ / "friends.cds");
  for (int i = 0; i < 100; ++i) db_->UpdateFriend("123", name, "10.0.0.3", "2960");
  testing_support::Settle(3 * TDBStuff::kFriendsSaveDelayMs);
  EXPECT_FALSE(fs::exists(dir_ / "friends.cds"));

  for (int i = 0; i < 1000; ++i) db_->UpdateFriend("123", "Carol", "10.0.0.3", std::to_string(3000 + i));
  EXPECT_FALSE(fs::exists(dir_ / "friends.cds"));
  EXPECT_TRUE(testing_support::Settle([&] { return fs::exists(dir_ / "friends.cds"); }, 10 * TDBStuff::kFriendsSaveDelayMs));
  EXPECT_NE(onDisk().find("3999"), std::string::npos);

  // A change the timer has not written yet is written when the program ends.
  db_->UpdateFriend("123", "Dora", "10.0.0.4", "2961");
  db_->SaveAtExit();
  EXPECT_NE(onDisk().find("Dora"), std::string::npos);
  db_->UpdateFriend("123", "Eve", "10.0.0.5", "2962");
  Open();
  EXPECT_TRUE(db_->IsFriendAt("123", "10.0.0.5"));
}

TEST_F(DBStuffTest, HistoryFilterAndClearTouchOnlyThatUser) {
  db_->AddFriend("12", "Bob", "", "");
  db_->AddFriend("123", "Carol", "", "");
  for (const char* id : {"12", "123", "12", "' OR '1'='1"}) db_->AddHistory(id, "n", "today", "hi$c$nthere");
  db_->FilterHistory("12");
  EXPECT_EQ(db_->History.RecordCount(), 2);
  EXPECT_EQ(db_->History.FieldValue("Message"), "hi,\nthere");
  db_->FilterHistory("' OR '1'='1");
  EXPECT_EQ(db_->History.RecordCount(), 1);

  // Deleting someone who is not a friend deletes nothing.
  db_->DeleteFriend("1");
  EXPECT_EQ(db_->FriendIdList(), "12,123");
  EXPECT_TRUE(info_.empty());

  std::vector<int> progress;
  hooks_.SetProgress = [&](int p) { progress.push_back(p); };
  Open();  // history is written at the end of the run
  db_->DeleteFriend("12");
  EXPECT_EQ(progress, (std::vector<int>{1, 2}));
  EXPECT_EQ(info_, std::vector<std::string>{"User 12 history cleared successfully."});
  EXPECT_EQ(db_->FriendIdList(), "123");
  // The friends file gets the deletion with the next save.
  std::ifstream friendsFile(dir_ / "friends.cds", std::ios::binary);
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(friendsFile), {}).find("Bob"), std::string::npos);
  db_->History.ClearFilter();
  EXPECT_EQ(db_->History.RecordCount(), 2);
  EXPECT_FALSE(db_->History.Locate("UserID", "12"));
}

TEST_F(DBStuffTest, MissingOrUnreadableFilesNeverStopStartUp) {
  EXPECT_TRUE(log_.empty());  // a first start has no files at all
  db_->AddFriend("12", "Bob", "", "");
  db_.reset();
  for (const char* file : {"Profiles.cds", "History.cds", "friends.cds"}) ASSERT_TRUE(fs::exists(dir_ / file));
  std::ofstream(dir_ / "friends.cds", std::ios::trunc) << "not a table";
  Open();
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("friends.cds"), std::string::npos);
  EXPECT_EQ(db_->FriendIdList(), "");
  // The unreadable file is kept beside the new one, as it was.
  std::vector<fs::path> aside;
  for (const auto& entry : fs::directory_iterator(dir_))
    if (entry.path().filename().string().starts_with("friends.cds.unreadable-")) aside.push_back(entry.path());
  ASSERT_EQ(aside.size(), 1u);
  std::ifstream kept(aside[0], std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "not a table");
  EXPECT_TRUE(db_->AddFriend("7", "Eve", "", ""));
  Open();
  EXPECT_EQ(db_->FriendIdList(), "7");
}

}  // namespace
