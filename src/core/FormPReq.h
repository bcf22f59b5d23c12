#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "core/session/PeerAnswer.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// What the request dialog shows of a caller's profile record ("||" fields).
// Fields the caller left out read as empty.
struct TChatRequestProfile {
  std::string UserID, UserName, FirstName, LastName, Age, Gender, Country;
  std::string Description, Greeting;  // unescaped, CR LF line breaks
  std::string Banner;                 // as received

  static TChatRequestProfile FromRecord(const std::string& record);
};

// The dialog that asks whether to accept an incoming private-chat request.
// It finishes with its Decision; unanswered, it answers busy by itself after
// BusyTimer seconds.
class TFormPReq : public QDialog {
  Q_OBJECT

 public:
  enum { DecisionAccept = ::DecisionAccept, DecisionReject = ::DecisionReject, DecisionBusy = ::DecisionBusy };

  explicit TFormPReq(QWidget* owner = nullptr);

  // Set before the dialog is shown.
  std::function<void(int event)> PlayEventSound;
  std::function<void(const std::string& userId, const std::string& userName)> BlockUser;
  // Seconds without an answer before "Im Busy" answers itself; 0 or less: never.
  int BusyTimer = 60;

  int Decision = DecisionReject;  // closing by the frame rejects
  std::string UserID, UserName, Banner;

  void ShowRequestProfile(const std::string& record);

  // Tests shorten the timers; the busy period otherwise comes from BusyTimer.
  void SetTimerIntervals(int busyMs, int soundMs);

  QLineEdit *UserText, *NameText, *AgeText, *GenderText, *CountryText;
  QLabel* LabelDescription;
  QPlainTextEdit *MemoG, *MemoD;
  QPushButton *Button1, *Button2, *Button3, *BlockButton;
  QTimer *TimerBusy, *TimerSound;

  void Button1Click();
  void Button2Click();
  void Button3Click();
  void BlockButtonClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  void Ring();
  int busyOverrideMs_ = -1;
};
