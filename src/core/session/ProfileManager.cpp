#include "core/session/ProfileManager.h"

#include "core/session/DBStuff.h"

TProfileManager::TProfileManager(TDBStuff& db) : db_(db), row_(db.Profiles.RecNo()) {}

bool TProfileManager::ToShownRow() {
  platform::Dataset& t = db_.Profiles;
  if (t.IsEmpty()) return false;
  if (row_ < 1 || row_ > t.RecordCount()) row_ = t.RecNo();
  if (t.RecNo() != row_) t.SetRecNo(row_);
  return true;
}

std::vector<std::string> TProfileManager::Names() {
  platform::Dataset& t = db_.Profiles;
  const int at = t.RecNo();
  std::vector<std::string> names;
  for (t.First(); !t.Eof(); t.Next()) names.push_back(t.FieldValue("Name"));
  if (at > 0) t.SetRecNo(at);
  return names;
}

std::string TProfileManager::Current() { return Field("Name"); }

void TProfileManager::Select(const std::string& name) {
  ToShownRow();
  const bool known = db_.Profiles.Locate("Name", name);
  db_.SelectProfile(known ? name : db_.Profiles.FieldValue("Name"));
  row_ = db_.Profiles.RecNo();
}

std::string TProfileManager::Field(const std::string& field) {
  return ToShownRow() ? db_.Profiles.FieldValue(field) : std::string();
}

void TProfileManager::SetField(const std::string& field, const std::string& value) {
  if (!ToShownRow() || db_.Profiles.FieldValue(field) == value) return;
  db_.Profiles.Edit();
  db_.Profiles.SetFieldValue(field, value);
  db_.Profiles.Post();
}

TProfileManager::TCreate TProfileManager::Create(const std::string& name) {
  if (name.empty()) return TCreate::Empty;
  db_.NewProfile(name);
  row_ = db_.Profiles.RecNo();
  return TCreate::Created;
}

bool TProfileManager::Delete() {
  if (!ToShownRow()) return false;
  db_.Profiles.Delete();
  row_ = db_.Profiles.RecNo();
  return true;
}

std::optional<TRegistrationProblem> TProfileManager::Apply(const std::string& userName, const std::string& chosen) {
  if (userName.size() < 6 || userName.size() > 20)
    return TRegistrationProblem{kUserNameText, "Invalid User Name", "UserName"};
  ToShownRow();
  try {
    db_.SaveProfiles();
  } catch (const std::exception& e) {
    return TRegistrationProblem{
        std::string("The profiles could not be saved now; Parlo saves them again when it ends.\r\n") + e.what(),
        "Profiles Not Saved", ""};
  }
  Select(chosen);
  return std::nullopt;
}
