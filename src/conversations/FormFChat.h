#pragma once

#include <QWidget>
#include <string>

class QComboBox;
class QPushButton;
class TSession;

// "Chat with a Friend": picks a stored friend and calls them for a private
// chat, on the friend's stored address and port ("2960" when none is
// stored). One window at a time ("FormFChat").
class TFormFChat : public QWidget {
  Q_OBJECT

 public:
  static TFormFChat* ActionNewPChatExecute(TSession& session);

  explicit TFormFChat(TSession& session);

  // The picker hides, the chat is asked for (greeting first), the picker goes.
  void ChatNowClick();

  QComboBox* DBLookupComboBox1;
  QPushButton *ButtonChat, *ButtonCancel;

 private:
  TSession& session_;
};
