#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What the OK button of the password prompt decides. In entry mode any text
// is taken; in check mode the text must equal the expected password, and the
// third wrong one ends the prompt.
class TPasswordCheck {
 public:
  enum class Outcome { Accepted, TryAgain, GiveUp };
  static constexpr int MaxTries = 3;

  TPasswordCheck(bool checkMode, std::string expected) : checkMode_(checkMode), expected_(std::move(expected)) {}
  Outcome Submit(const std::string& typed);
  int Tries() const { return tries_; }

 private:
  bool checkMode_;
  std::string expected_;
  int tries_ = 0;
};

// "Enter Password": the modal prompt for the account password (entry mode)
// or the start-up password (check mode, three tries). The caller sets the
// prompt, the remember box and the mode, runs exec() and then reads
// Cancelled, Password and Remember.
class TFormPass : public QDialog {
 public:
  static constexpr int kWidth = 320;

  explicit TFormPass(QWidget* parent = nullptr);

  void SetPrompt(const std::string& text);
  void SetRemember(bool on);
  void SetPassword(const std::string& text);
  // Check mode against `expected`; entry mode otherwise.
  void SetCheckMode(bool on, const std::string& expected = {});

  std::string Password;
  bool Remember = false;
  bool Cancelled = true;
  int Tries() const { return check_.Tries(); }

  QLabel* Label1;
  QLineEdit* EditPass;
  QCheckBox* CheckRem;
  QPushButton* SpeedButton1;
  QPushButton* SpeedButton2;

  void SpeedButton1Click();
  void SpeedButton2Click();
  // Keys that reach the form itself (none of its controls has the focus):
  // Enter is OK, Escape cancels.
  void FormKeyPress(QKeyEvent* e);
  // Enter in the password box is OK, and goes no further.
  bool EditPassKeyPress(QKeyEvent* e);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  TPasswordCheck check_{false, {}};
};
