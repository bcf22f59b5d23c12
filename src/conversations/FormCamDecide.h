#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "core/session/Prompts.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;

// "View Cam?": what to do with a contact's cam broadcast offer. Without an
// answer within Timer1's time (30 seconds) the offer counts as rejected.
class TFormCamDecide : public QDialog {
  Q_OBJECT

 public:
  enum : int { Reject = 0, SeparateViewer = 1, InChat = 2 };

  explicit TFormCamDecide(QWidget* parent = nullptr);

  // The question for `user`; the chat choice is offered (and chosen) only
  // with a chat window open.
  void SetQuestion(const std::string& user, bool chatOpen);
  // Asks without waiting (TQuestion); Reject when the dialog closes without
  // OK or `timeoutMs` passes first.
  static TQuestion Open(const std::string& user, bool chatOpen, int timeoutMs, std::function<void(int)> answered);

  // Reject until OK takes the first checked choice.
  int Decision = Reject;

  QLabel* LabQuestion;
  QRadioButton *RadioChat, *RadioCam, *RadioReject;
  QPushButton* SpeedButton1;
  QTimer* Timer1;

  void SpeedButton1Click();
};
