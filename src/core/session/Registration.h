#pragma once

#include <functional>
#include <optional>
#include <string>

class TDBStuff;

// What registration asks of the session: take the account password (it is
// then remembered), take the id of an existing account, show a help topic.
// Settings are written by the registration itself.
struct TRegistrationHost {
  std::function<void(const std::string& password)> SetAccountPassword;
  std::function<void(const std::string& userId)> SetUserID;  // also the caption "Parlo - " + id
  std::function<void(int topic)> ShowHelpTopic;
};

// What the registration window holds: the profile fields of the first profile,
// the account password twice and, optionally, an existing account's id.
struct TRegistrationInput {
  std::string ProfileName, UserName, FirstName, LastName, Gender, Age, Dob, Hobbies, Description, HomeEmail, Country;
  std::string Pass1, Pass2;
  bool UseExistingAccount = false;
  std::string ExistingID;
};

// A refused registration: the message box text and title, and the field that gets
// the focus ("Pass1", "ProfileName", "UserName", "ID", or another field's name).
struct TRegistrationProblem {
  std::string Text, Caption, Focus;
};

// The registration's logic, callable without a window. It edits the current row
// of the Profiles table directly, as the window's fields are bound to it.
class TRegistration {
 public:
  TRegistration(TDBStuff& db, TRegistrationHost host) : db_(db), host_(std::move(host)) {}

  // The checks made when Register Now is pressed, in order; the first failure.
  // Names and passwords are checked here in full, since pasting gets past the
  // key filter.
  static std::optional<TRegistrationProblem> Validate(const TRegistrationInput& in);
  // What the password key filters let through: ASCII letters and digits.
  static bool IsPasswordCharacter(unsigned char c);
  // Whether a password, pasted past the key filter, can travel in the log-on
  // frame ("id,password"): no line break, "," or ">".
  static bool FitsTheLogon(const std::string& password);

  // On show: a first profile "New Profile" when there is none; the current row's
  // fields either way.
  TRegistrationInput Begin();

  enum class Outcome { Refused, ProfileNotFound, Registered };
  // Register Now. Refused fills `problem`; ProfileNotFound leaves the window open
  // without a message.
  Outcome Register(const TRegistrationInput& in, TRegistrationProblem& problem);

  // Deletes the profile row that Begin added, and no other.
  void Cancel();
  bool AddedProfile() const { return addedRecNo_ > 0; }

 private:
  void WriteRow(const TRegistrationInput& in);
  TDBStuff& db_;
  TRegistrationHost host_;
  int addedRecNo_ = 0;
};
