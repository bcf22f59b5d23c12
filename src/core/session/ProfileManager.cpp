#include "core/session/ProfileManager.h"

#include "core/session/DBStuff.h"

const std::vector<std::string>& TProfileManager::EditedFields() {
  static const std::vector<std::string> fields = {
      "UserName", "FirstName", "LastName", "Gender",   "Age",    "Dob",     "Country",  "Hobbies", "Description",
      "HomeEmail", "BizEmail", "HomeUrl",  "BizUrl",   "WebCam", "Greeting", "BusyMsg", "Banner"};
  return fields;
}

TProfileManager::TProfileManager(TDBStuff& db, const std::string& currentProfile) : db_(db), work_(db.Profiles) {
  work_.First();
  work_.Locate("Name", currentProfile);
}

std::vector<std::string> TProfileManager::Names() {
  const int at = work_.RecNo();
  std::vector<std::string> names;
  for (work_.First(); !work_.Eof(); work_.Next()) names.push_back(work_.FieldValue("Name"));
  work_.SetRecNo(at);
  return names;
}

std::string TProfileManager::Current() const { return work_.FieldValue("Name"); }

void TProfileManager::Select(const std::string& name) { work_.Locate("Name", name); }

std::string TProfileManager::Field(const std::string& field) const { return work_.FieldValue(field); }

void TProfileManager::SetField(const std::string& field, const std::string& value) {
  if (work_.IsEmpty() || work_.FieldValue(field) == value) return;
  work_.Edit();
  work_.SetFieldValue(field, value);
  work_.Post();
}

TProfileManager::TCreate TProfileManager::Create(const std::string& name) {
  if (name.empty()) return TCreate::Empty;
  TDBStuff::AppendProfile(work_, name);
  return TCreate::Created;
}

bool TProfileManager::Delete() {
  if (work_.IsEmpty()) return false;
  work_.Delete();
  return true;
}

std::optional<TRegistrationProblem> TProfileManager::Apply() {
  const std::size_t userName = work_.FieldValue("UserName").size();
  if (userName < 6 || userName > 20) return TRegistrationProblem{kUserNameText, "Invalid User Name", "UserName"};
  const int current = work_.RecNo();
  db_.Profiles = work_;
  db_.Profiles.SetRecNo(current);
  const std::string name = Current();
  try {
    db_.SaveProfiles();
  } catch (const std::exception& e) {
    db_.SelectProfile(name);
    return TRegistrationProblem{std::string("The profiles could not be saved now; Parlo saves them again when it ends.\r\n") +
                                    e.what(),
                                "Profiles Not Saved", ""};
  }
  db_.SelectProfile(name);
  return std::nullopt;
}
