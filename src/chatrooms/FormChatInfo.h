#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Hosted Chat Information": what a room needs before it opens, the greeting,
// the address members connect to and the room's name. Not modal; frees
// itself when closed.
class TFormChatInfo : public QWidget {
  Q_OBJECT

 public:
  TFormChatInfo();

  // Keeps the three values, shows them and shows the dialog.
  void ShowInfo(const std::string& ip, const std::string& port, const std::string& hostName);
  // Checks the entries; opens the room (OnStart) and closes, or tells the
  // user what is missing.
  void OkClick();

  // Set by the main window's side: starts the room (chat IP, greeting, name).
  std::function<void(const std::string& ip, const std::string& greeting, const std::string& chatName)> OnStart;
  // The message boxes; tests answer in their place.
  std::function<void(const std::string& text, const std::string& caption)> ShowInformation;

  QPlainTextEdit* Memo;
  QComboBox* ComboIP;
  QLabel *StatPort, *StatName;
  QLineEdit* EditName;
  QPushButton *Button1, *Button2;

 protected:
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  std::string hostName_, chatIP_, chatPort_, chatName_, greeting_;
};
