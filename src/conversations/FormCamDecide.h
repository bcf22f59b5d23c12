#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;

// "View Cam?": what to do with a contact's cam broadcast offer. Without an
// answer within 30 seconds the offer counts as rejected.
class TFormCamDecide : public QDialog {
  Q_OBJECT

 public:
  enum : int { Reject = 0, SeparateViewer = 1, InChat = 2 };

  explicit TFormCamDecide(QWidget* parent = nullptr);

  // The question for `user`; the chat choice is offered (and chosen) only
  // with a chat window open.
  void SetQuestion(const std::string& user, bool chatOpen);
  // Asks modally; Reject when the dialog closes without OK.
  static int Ask(QWidget* parent, const std::string& user, bool chatOpen);

  // Reject until OK takes the first checked choice.
  int Decision = Reject;

  QLabel* LabQuestion;
  QRadioButton *RadioChat, *RadioCam, *RadioReject;
  QPushButton* SpeedButton1;
  QTimer* Timer1;

  void SpeedButton1Click();
};
