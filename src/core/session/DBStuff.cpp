#include "core/session/DBStuff.h"

#include <iostream>
#include <system_error>
#include <utility>

#include "platform/Strings.h"
#include "platform/Timer.h"
#include "transport/CmdParser.h"

TDBStuff* DBStuff = nullptr;

namespace {

using platform::Dataset;
using platform::FieldDef;

std::vector<FieldDef> ProfileFields() {
  return {{"Name", 256, ""},        {"UserName", 256, "New User"}, {"FirstName", 256, ""},
          {"LastName", 256, ""},    {"Age", 64, ""},               {"Dob", 64, ""},
          {"Gender", 64, ""},       {"Country", 256, ""},          {"Hobbies", 256, ""},
          {"Description", 512, ""}, {"HomeUrl", 256, ""},          {"BizUrl", 256, ""},
          {"HomeEmail", 256, ""},   {"BizEmail", 256, ""},         {"Greeting", 256, ""},
          {"BusyMsg", 512, ""},     {"Banner", 512, ""},           {"WebCam", 256, ""}};
}

std::vector<FieldDef> HistoryFields() {
  return {{"UserID", 64, ""}, {"UserName", 128, ""}, {"TimeDay", 128, ""}, {"Message", 512, ""}};
}

std::vector<FieldDef> FriendFields() {
  return {{"UserID", 20, ""}, {"UserName", 128, ""}, {"ListenIP", 20, ""}, {"ListenPort", 20, ""}};
}

std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
  return platform::StringReplace(s, from, to);
}

// Removes what would split a record field or end a frame's parameters early:
// the record and field separators, ">", line ends, and a "|" at either end
// (which would merge with the "||" beside it). Repeated because a removal can
// bring the pieces of a new separator together ("|{$}|").
std::string StripForRecord(std::string s, bool commas) {
  for (std::string before; before != s;) {
    before = s;
    for (const char* bad : {"||", "{$}", ">", "\r", "\n"}) s = ReplaceAll(s, bad, "");
    if (commas) s = ReplaceAll(s, ",", "");
    while (!s.empty() && s.front() == '|') s.erase(s.begin());
    while (!s.empty() && s.back() == '|') s.pop_back();
  }
  return s;
}

// What a single profile field sent in a frame may not hold: the separators,
// ">" and line ends.
std::string StripUnsafe(std::string s) {
  for (std::string before; before != s;) {
    before = s;
    for (const char* bad : {"||", "{$}", ">", "\r", "\n"}) s = ReplaceAll(s, bad, "");
  }
  return s;
}

// An id travels bare in the friend list ("id,id,...") and as a record's
// field: a line break ends the frame, the first ">" its parameters, a comma
// splits the list, and "|" or "{$}" a record.
bool IsSafeUserId(const std::string& id) {
  return !id.empty() && id.find_first_of("\r\n,>|") == std::string::npos && id.find("{$}") == std::string::npos;
}

}  // namespace

TDBStuff::TDBStuff(const std::filesystem::path& dataFolder, TDBStuffHooks hooks)
    : Profiles(ProfileFields()),
      History(HistoryFields()),
      Friends(FriendFields()),
      hooks_(std::move(hooks)),
      profilesFile_(dataFolder / kProfilesFile),
      historyFile_(dataFolder / kHistoryFile),
      friendsFile_(dataFolder / kFriendsFile) {
  std::error_code ec;
  std::filesystem::create_directories(dataFolder, ec);
  if (ec) Log("Cannot create the data folder " + dataFolder.string() + ": " + ec.message());
  auto log = [this](const std::string& message) { Log(message); };
  Profiles.LoadFromFile(profilesFile_, log);
  History.LoadFromFile(historyFile_, log);
  Friends.LoadFromFile(friendsFile_, log);
}

TDBStuff::~TDBStuff() {
  if (!savedAtExit_) SaveAll();
  else SaveChangedFriends();
}

void TDBStuff::SaveAtExit() {
  savedAtExit_ = true;
  SaveAll();
}

void TDBStuff::SaveAll() {
  friendsChanged_ = false;
  if (friendsSave_) friendsSave_->SetEnabled(false);
  for (auto [table, file] : {std::pair{&Profiles, &profilesFile_}, std::pair{&History, &historyFile_},
                             std::pair{&Friends, &friendsFile_}}) {
    try {
      table->SaveToFile(*file);
    } catch (const std::exception& e) {
      Log(e.what());
    }
  }
}

void TDBStuff::Log(const std::string& message) const {
  if (hooks_.LogError) hooks_.LogError(message);
  else std::cerr << message << '\n';
}

// ----- profiles ---------------------------------------------------------

void TDBStuff::SaveProfiles() {
  Profiles.SaveToFile(profilesFile_);
  if (hooks_.SetCurrentProfile) hooks_.SetCurrentProfile(Profiles.FieldValue("Name"));
}

void TDBStuff::AppendProfile(platform::Dataset& profiles, const std::string& name) {
  profiles.Append();
  profiles.SetFieldValue("Name", name);
  profiles.SetFieldValue("UserName", "NewUser");
  profiles.SetFieldValue("Gender", "Undefined");
  profiles.SetFieldValue("Greeting", "Hello");
  profiles.SetFieldValue("BusyMsg", "Sorry busy right now...");
  profiles.SetFieldValue("Banner", "Welcome");
  profiles.SetFieldValue("WebCam", "No WebCam");
  profiles.Post();
}

void TDBStuff::NewProfile(const std::string& name) { AppendProfile(Profiles, name); }

std::string TDBStuff::ListProfileNames() {
  const int recNo = Profiles.RecNo();
  std::string names;
  bool first = true;
  for (Profiles.First(); !Profiles.Eof(); Profiles.Next(), first = false) {
    if (!first) names += '\n';
    names += Profiles.FieldValue("Name");
  }
  Profiles.SetRecNo(recNo);
  return names;
}

void TDBStuff::LocateProfile(const std::string& name) {
  // When no profile has that name the current one is used, as callers expect.
  Profiles.Locate("Name", name);
}

void TDBStuff::SelectProfile(const std::string& name) {
  LocateProfile(name);
  if (hooks_.SetUserName) hooks_.SetUserName(Profiles.FieldValue("UserName"));
  if (hooks_.SetCurrentProfile) hooks_.SetCurrentProfile(name);
  if (hooks_.RefreshProfileList) hooks_.RefreshProfileList();
}

std::string TDBStuff::BuildProfileRecord(const std::string& profileName, const std::string& userId,
                                         const std::string& group, int statusMode,
                                         const std::string& listenPort, const std::string& greeting) {
  LocateProfile(profileName);
  auto commas = [this](const char* field) { return StripForRecord(TCmdParser::EscapeCommas(Profiles.FieldValue(field)), false); };
  auto text = [](const std::string& value) { return StripForRecord(TCmdParser::EscapeText(value), false); };
  const std::vector<std::string> fields = {
      StripForRecord(userId, true),
      StripForRecord(group, true),
      StripForRecord(listenPort, true),
      commas("UserName"),
      commas("FirstName"),
      commas("LastName"),
      commas("Age"),
      commas("Dob"),
      commas("Gender"),
      commas("Country"),
      commas("Hobbies"),
      text(Profiles.FieldValue("Description")),
      commas("HomeUrl"),
      commas("BizUrl"),
      commas("HomeEmail"),
      commas("BizEmail"),
      text(greeting.empty() ? Profiles.FieldValue("Greeting") : greeting),
      text(Profiles.FieldValue("BusyMsg")),
      text(Profiles.FieldValue("Banner")),
      commas("WebCam"),
      std::to_string(statusMode),
  };
  std::string record;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) record += "||";
    record += fields[i];
  }
  return record;
}

std::string TDBStuff::ProfileField(const std::string& profileName, const std::string& fieldName) {
  LocateProfile(profileName);
  return StripUnsafe(TCmdParser::EscapeCommas(Profiles.FieldValue(fieldName)));
}

std::string TDBStuff::BusyMessage() const {
  return StripUnsafe(TCmdParser::EscapeText(Profiles.FieldValue("BusyMsg")));
}

std::string TDBStuff::ProfileGreeting() const { return TCmdParser::UnescapeText(Profiles.FieldValue("Greeting")); }

// ----- friends ----------------------------------------------------------

void TDBStuff::SaveFriends() {
  friendsChanged_ = false;
  if (friendsSave_) friendsSave_->SetEnabled(false);
  Friends.SaveToFile(friendsFile_);
}

void TDBStuff::SaveFriendsSoon() {
  friendsChanged_ = true;
  if (!friendsSave_) {
    friendsSave_ = std::make_unique<TTimer>();
    friendsSave_->SetEnabled(false);
    friendsSave_->SetInterval(kFriendsSaveDelayMs);
    friendsSave_->OnTimer = [this](TTimer*) { SaveChangedFriends(); };
  }
  friendsSave_->SetEnabled(true);
  // A thread without an event loop has no timer to wait for.
  if (!friendsSave_->Active()) SaveChangedFriends();
}

void TDBStuff::SaveChangedFriends() {
  if (!friendsChanged_) return;
  try {
    SaveFriends();
  } catch (const std::exception& e) {
    Log(std::string("Saving the friends list: ") + e.what());
  }
}

std::string TDBStuff::FriendIdList() {
  std::string ids;
  for (Friends.First(); !Friends.Eof(); Friends.Next()) {
    const auto id = Friends.FieldValue("UserID");
    // A row read from an old or damaged file may hold an id that would break
    // the frame it travels in; it is left out rather than sent.
    if (!IsSafeUserId(id)) continue;
    if (!ids.empty()) ids += ',';
    ids += id;
  }
  return ids;
}

bool TDBStuff::AddFriend(const std::string& userId, const std::string& userName, const std::string& listenIP,
                         const std::string& listenPort) {
  if (!IsSafeUserId(userId)) {
    Log("Friend not added: unusable user id \"" + userId + "\"");
    return false;
  }
  if (Friends.Locate("UserID", userId)) {
    Friends.Edit();
    Friends.SetFieldValue("UserName", userName);
    Friends.SetFieldValue("ListenIP", listenIP);
    Friends.SetFieldValue("ListenPort", listenPort);
    Friends.Post();
  } else {
    Friends.AppendRecord({userId, userName, listenIP, listenPort});
  }
  SaveFriends();
  return true;
}

void TDBStuff::UpdateFriend(const std::string& userId, const std::string& userName, const std::string& listenIP,
                            const std::string& listenPort) {
  if (userId.empty() || !Friends.Locate("UserID", userId)) return;
  // The server sends a friend's record with every change of status, which
  // is not stored: most updates change nothing here.
  Friends.Edit();
  bool changed = false;
  for (const auto& [field, value] :
       {std::pair{"UserName", &userName}, std::pair{"ListenIP", &listenIP}, std::pair{"ListenPort", &listenPort}}) {
    const std::string before = Friends.FieldValue(field);
    Friends.SetFieldValue(field, *value);
    changed = changed || Friends.FieldValue(field) != before;
  }
  if (!changed) {
    Friends.Cancel();
    return;
  }
  Friends.Post();
  SaveFriendsSoon();
}

void TDBStuff::DeleteFriend(const std::string& userId) {
  if (userId.empty() || !Friends.Locate("UserID", userId)) return;
  Friends.Delete();
  // The friends file gets it with the next friend saved or at the end of the run.
  ClearHistory(userId);
}

bool TDBStuff::IsFriend(const std::string& userId) {
  return !userId.empty() && Friends.Locate("UserID", userId);
}

bool TDBStuff::IsFriendAt(const std::string& userId, const std::string& address) {
  return !address.empty() && IsFriend(userId) && Friends.FieldValue("ListenIP") == address;
}

std::string TDBStuff::CurrentFriendID() const { return Friends.FieldValue("UserID"); }

void TDBStuff::ShowFriendsOffline() {
  for (Friends.First(); !Friends.Eof(); Friends.Next()) {
    if (hooks_.AddFriendItem)
      hooks_.AddFriendItem(Friends.FieldValue("UserName"),
                           {"Offline", Friends.FieldValue("ListenIP"), Friends.FieldValue("ListenPort"),
                            Friends.FieldValue("UserID"), "0"});
  }
}

// ----- history ----------------------------------------------------------

void TDBStuff::AddHistory(const std::string& userId, const std::string& userName, const std::string& timeDay,
                          const std::string& message) {
  History.AppendRecord({userId, userName, timeDay, TCmdParser::UnescapeText(message)});
}

void TDBStuff::FilterHistory(const std::string& userId) {
  History.ClearFilter();
  History.First();
  History.SetFilter("UserID", userId);
}

void TDBStuff::SaveHistory() { History.SaveToFile(historyFile_); }

void TDBStuff::ClearHistory(const std::string& userId) {
  History.ClearFilter();
  History.SetFilter("UserID", userId);
  if (hooks_.ShowProgress)
    hooks_.ShowProgress("Delete Progress", "Deleteing history of user " + userId + ", please wait...",
                        History.RecordCount());
  try {
    int position = 0;
    for (History.First(); !History.Eof(); History.First()) {
      History.Delete();
      if (hooks_.SetProgress) hooks_.SetProgress(++position);
    }
    SaveHistory();
  } catch (...) {
    if (hooks_.HideProgress) hooks_.HideProgress();
    throw;
  }
  if (hooks_.HideProgress) hooks_.HideProgress();
  if (hooks_.ShowInformation)
    hooks_.ShowInformation("User " + userId + " history cleared successfully.", "History Cleared");
}
