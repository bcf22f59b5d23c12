#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

// The greeting editor shown before a private-chat request goes out. The caller
// fills Memo and UserName, runs it modally, then reads Greeting while Cancelled
// is false.
class TFormGreet : public QDialog {
  Q_OBJECT

 public:
  explicit TFormGreet(QWidget* parent = nullptr);

  std::string Greeting;      // CR LF line breaks, unescaped
  bool Cancelled = true;     // stays true unless Connect is pressed
  std::string UserName;      // the user being called

  // Puts the text (CR LF line breaks) into Memo.
  void SetGreeting(const std::string& text);

  QPlainTextEdit* Memo;
  QPushButton *SpeedButton1, *SpeedButton2;  // Connect, Cancel

  void ConnectClick();
  void CancelClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
};
