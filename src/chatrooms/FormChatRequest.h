#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

// A received room invitation: who hosts it and its name, with Accept and
// Reject. Not modal, one per invitation; nothing goes back to the host
// either way. Frees itself when closed.
class TFormChatRequest : public QWidget {
  Q_OBJECT

 public:
  TFormChatRequest();

  void ShowRequest(const std::string& hostUser, const std::string& ip, const std::string& port,
                   const std::string& chatName);
  void AcceptClick();

  // Joins the room (chat IP, port, name).
  std::function<void(const std::string& ip, const std::string& port, const std::string& chatName)> OnAccept;

  // Where the invitation came from (the caller's address, not the room's).
  std::string SenderAddr;

  QLabel *StatHost, *StatChat;
  QPushButton *Button1, *Button2;

 private:
  std::string hostUser_, chatIP_, chatPort_, chatName_;
};
