#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "core/session/Registration.h"

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The modal window "Parlo Registration". The caller owns it and reads Cancelled
// after exec().
class TFormReg : public QDialog {
  Q_OBJECT

public:
  TFormReg(TDBStuff& db, TRegistrationHost host, QWidget* owner = nullptr);

  // Shows the window modally; true when the user registered.
  static bool Run(QWidget* owner, TDBStuff& db, TRegistrationHost host);

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
  // A profile or user name with characters the wire cannot carry is refused
  // before anything is kept.
  bool RefuseUncarriedName();
  void reject() override;
  void SpeedButton1Click();  // Register Now
  void SpeedButton2Click();  // Cancel
  void SpeedButton3Click();  // Help
  void CheckAccountClick();
  // The password key filters; true when the key is consumed.
  bool EditPass1KeyPress(QKeyEvent* key);
  bool EditPass2KeyPress(QKeyEvent* key);

 protected:
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  TRegistrationInput Input() const;
  void ShowInput(const TRegistrationInput& in);
  void Refuse(const TRegistrationProblem& problem);
  // Enter moves the focus on to `next`.
  bool PasswordKeyPress(QLineEdit* edit, QWidget* next, QKeyEvent* key);

  TRegistration logic_;
  TRegistrationHost host_;
  bool shown_ = false;
  bool finished_ = false;
};
