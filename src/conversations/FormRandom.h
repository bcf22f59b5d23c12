#pragma once

#include <QWidget>

#include "conversations/RandomContact.h"

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TSession;

// "Random Contact": finds one user at random through the directory server
// and shows the public profile, from which the user can start a private chat,
// send a message or open the profile page. The logic is TRandomContact.
class TFormRandom : public QWidget {
  Q_OBJECT

 public:
  // While not connected the user is told so; else the open one to the front,
  // or a new one (not modal; it frees itself when closed).
  static TFormRandom* Open(TSession& session);

  explicit TFormRandom(TSession& session, QWidget* parent = nullptr);

  TRandomContact& Contact() { return contact_; }
  // "Find Contact".
  void SpeedSearchClick();

  QLineEdit *UserText, *NameText, *GenderText, *AgeText, *CountryText, *HobbyText;
  QPlainTextEdit* MemoD;
  QProgressBar* Animate1;
  QPushButton *SpeedSearch, *SpeedCancel, *SpeedChat, *SpeedMsg, *SpeedButton3, *SpeedClose, *SpeedButton2;

 private:
  void Refresh();

  TSession& session_;
  TRandomContact contact_;
};
