#include "core/session/Registration.h"

#include "core/session/DBStuff.h"
#include "core/session/Reg.h"
#include "platform/ErrorSink.h"

namespace {

// Text that would split a frame the user name travels in, or a line.
bool BreaksRecord(const std::string& s) {
  for (const char* bad : {"||", "{$}", ">"})
    if (s.find(bad) != std::string::npos) return true;
  return s.find_first_of("\r\n") != std::string::npos;
}

// An account id travels bare in the log-on ("id,password") and as the first
// field of profile and message records: nothing that ends or splits those.
bool BreaksFrame(const std::string& id) {
  for (const char c : id)
    if (c == '\r' || c == '\n' || c == ',' || c == '>' || c == '|') return true;
  return id.find("{$}") != std::string::npos;
}

constexpr const char* kUnsafeChars = " cannot contain line breaks, \"||\", \"{$}\" or \">\".";

}  // namespace

bool TRegistration::IsPasswordCharacter(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool TRegistration::FitsTheLogon(const std::string& password) {
  // A line break ends the frame, the first ">" its parameters, and a comma
  // splits the id from the password.
  return password.find_first_of("\r\n,>") == std::string::npos;
}

std::optional<TRegistrationProblem> TRegistration::Validate(const TRegistrationInput& in) {
  const auto& p = in.Pass1;
  if (p.size() < 6 || p.size() > 20 || !FitsTheLogon(p))
    return TRegistrationProblem{
        "Passwords must be between 6 and 20 characters long and contain only letters or numbers.", "Invalid Password",
        "Pass1"};
  if (in.Pass2 != in.Pass1)
    return TRegistrationProblem{"Passwords do not match, please type them again.", "Passwords Dont Match", "Pass1"};
  if (in.ProfileName.empty()) return TRegistrationProblem{"You must have a profile name.", "No Profile Name", "ProfileName"};
  // Profile names are listed one to a line; nothing else of them travels.
  if (in.ProfileName.find_first_of("\r\n") != std::string::npos)
    return TRegistrationProblem{"Profile names cannot contain line breaks.", "Invalid Profile Name", "ProfileName"};
  if (in.UserName.size() < 6 || in.UserName.size() > 20)
    return TRegistrationProblem{"Usernames must be between 6 and 20 characters long and are rquired.",
                                "Invalid User Name", "UserName"};
  if (BreaksRecord(in.UserName))
    return TRegistrationProblem{std::string("Usernames") + kUnsafeChars, "Invalid User Name", "UserName"};
  if (in.UseExistingAccount && (in.ExistingID.size() != 8 || BreaksFrame(in.ExistingID)))
    return TRegistrationProblem{"You must enter a valid User ID Number.", "Invalid User ID", "ID"};
  // The other fields are stored as typed: the record built for the wire is
  // the one made safe.
  return std::nullopt;
}

TRegistrationInput TRegistration::Begin() {
  auto& t = db_.Profiles;
  if (t.IsEmpty()) {
    db_.NewProfile("New Profile");
    addedRecNo_ = t.RecNo();
  }
  TRegistrationInput in;
  in.ProfileName = t.FieldValue("Name");
  in.UserName = t.FieldValue("UserName");
  in.FirstName = t.FieldValue("FirstName");
  in.LastName = t.FieldValue("LastName");
  in.Gender = t.FieldValue("Gender");
  in.Age = t.FieldValue("Age");
  in.Dob = t.FieldValue("Dob");
  in.Hobbies = t.FieldValue("Hobbies");
  in.Description = t.FieldValue("Description");
  in.HomeEmail = t.FieldValue("HomeEmail");
  in.Country = t.FieldValue("Country");
  return in;
}

void TRegistration::WriteRow(const TRegistrationInput& in) {
  auto& t = db_.Profiles;
  if (t.IsEmpty()) {
    // Nothing to show the fields in: the first profile is made now.
    db_.NewProfile(in.ProfileName);
    addedRecNo_ = t.RecNo();
  }
  t.Edit();
  t.SetFieldValue("Name", in.ProfileName);
  t.SetFieldValue("UserName", in.UserName);
  t.SetFieldValue("FirstName", in.FirstName);
  t.SetFieldValue("LastName", in.LastName);
  t.SetFieldValue("Gender", in.Gender);
  t.SetFieldValue("Age", in.Age);
  t.SetFieldValue("Dob", in.Dob);
  t.SetFieldValue("Hobbies", in.Hobbies);
  t.SetFieldValue("Description", in.Description);
  t.SetFieldValue("HomeEmail", in.HomeEmail);
  t.SetFieldValue("Country", in.Country);
  t.Post();
}

TRegistration::Outcome TRegistration::Register(const TRegistrationInput& in, TRegistrationProblem& problem) {
  if (auto refused = Validate(in)) {
    problem = *refused;
    return Outcome::Refused;
  }
  WriteRow(in);
  try {
    db_.SaveProfiles();
  } catch (const std::exception& e) {
    problem = {std::string("Your profile could not be saved: ") + e.what(), "Invalid Profile", "ProfileName"};
    return Outcome::Refused;
  }
  if (!db_.Profiles.Locate("Name", in.ProfileName)) return Outcome::ProfileNotFound;
  db_.SelectProfile(in.ProfileName);

  if (host_.SetAccountPassword) host_.SetAccountPassword(in.Pass1);
  if (in.UseExistingAccount && host_.SetUserID) host_.SetUserID(in.ExistingID);
  try {
    TReg::WriteBool(TReg::SettingsSection, "RemUserPass", true);
    TReg::WriteString(TReg::SettingsSection, "UserPass", in.Pass1);
    if (in.UseExistingAccount) TReg::WriteString(TReg::SettingsSection, "UserID", in.ExistingID);
  } catch (const std::exception& e) {
    // The session holds the values for this run and writes them at exit.
    platform::ReportError("None", "None", std::string("Saving the account settings: ") + e.what());
  }
  addedRecNo_ = 0;  // the new profile is the user's now
  return Outcome::Registered;
}

void TRegistration::Cancel() {
  if (addedRecNo_ <= 0) return;
  auto& t = db_.Profiles;
  if (t.GetState() != platform::Dataset::State::Browse) t.Cancel();
  if (addedRecNo_ <= t.RecordCount()) {
    t.SetRecNo(addedRecNo_);
    t.Delete();
  }
  addedRecNo_ = 0;
}
