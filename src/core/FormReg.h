#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TDBStuff;

// What registration asks of the main window: take the account password (it is
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

// The modal window "Parlo Registration". The caller owns it and reads Cancelled
// after exec().
class TFormReg : public QDialog {
  Q_OBJECT

public:
  TFormReg(TDBStuff& db, TRegistrationHost host, QWidget* owner = nullptr);

  // Shows the window modally; true when the user registered.
  static bool Run(QWidget* owner, TDBStuff& db, TRegistrationHost host);
  // Makes the main window's registration hook open this window on the global
  // DBStuff, bound to the main window's account fields. Called once at start-up.
  static void Install();

  bool Cancelled = true;

  // Message boxes; tests replace them.
  std::function<void(const std::string& text, const std::string& caption)> ShowMessage;

  QLineEdit *EditProfileName, *EditUser, *EditFirst, *EditLast, *EditGender, *EditAge, *EditDob, *EditHobbies;
  QLineEdit *EditEmail, *DBEdit2;
  QPlainTextEdit* MemoDesc;
  QLineEdit *EditPass1, *EditPass2, *EditID;
  QCheckBox* CheckAccount;
  QPushButton *SpeedButton1, *SpeedButton2, *SpeedButton3;

  bool ValidateFields();
  void reject() override;
  void SpeedButton1Click();  // Register Now
  void SpeedButton2Click();  // Cancel
  void SpeedButton3Click();  // Help
  void CheckAccountClick();

 protected:
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  TRegistrationInput Input() const;
  void ShowInput(const TRegistrationInput& in);
  void Refuse(const TRegistrationProblem& problem);
  bool PasswordKeyPress(QLineEdit* edit, QKeyEvent* key);

  TRegistration logic_;
  TRegistrationHost host_;
  bool shown_ = false;
  bool finished_ = false;
};
