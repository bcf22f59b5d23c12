#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>
#include <string>

#include "conversations/CamReceiver.h"

class QStatusBar;
class TSession;

// A picture that answers a double click (the cam pictures toggle their save
// mode with it).
class TCamPictureLabel : public QLabel {
 public:
  explicit TCamPictureLabel(QWidget* parent = nullptr) : QLabel(parent) {}
  std::function<void()> DoubleClicked;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// "Cam-" + the broadcaster's name: one contact's webcam, as a window of its
// own. The link and its pictures are TCamReceiver's; the window shows them,
// keeps the status line and answers the link's ends. It stays open, as the
// last picture's frame, once the link has gone.
class TFormCamView : public QWidget {
  Q_OBJECT

 public:
  explicit TFormCamView(TSession& session, QWidget* parent = nullptr);

  // What the view request says of this user.
  void SetViewerInfo(const std::string& userId, const std::string& userName, const std::string& listenIp,
                     const std::string& listenPort);
  // Shows the window and connects; raises when the address cannot be used.
  void ConnectToCam(const std::string& user, const std::string& ip, const std::string& port);
  void SetStatus(const std::string& text);
  // Save mode on or off (also a double click on the picture).
  void SaveImages1Click();

  TCamReceiver& Receiver() { return receiver_; }
  const std::string& StatusText() const { return status_; }
  const std::string& BroadcasterName() const { return user_; }

  TCamPictureLabel* Image;
  QStatusBar* Stat;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  enum class TRefusal { CamNotOnline, ConnectionFailed };
  // Tells the user why there is no cam and closes the window, once the
  // socket event that found it is over.
  void ShowRefusal(TRefusal reason);
  void SocketError(int error);
  void ShowPicture(const QImage& picture);

  TSession& session_;
  TCamReceiver receiver_;
  cam::TViewRequest own_;
  std::string user_, status_;
  bool refused_ = false;
};
