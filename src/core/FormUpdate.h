#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TSession;
class TUpdateDownload;

// "Parlo Update": downloads a newer build into the Updates folder and, once
// it is there, offers to install it. Nothing downloaded is ever run: Install
// Update shows the file in its folder and ends the program, so that the user
// starts the installer there.
class TFormUpdate : public QWidget {
  Q_OBJECT

 public:
  // The open window starts this download and comes to the front, or a new one
  // opens for it.
  static TFormUpdate* OpenUpdateDownload(TSession& session, const std::string& url, const std::string& version);

  explicit TFormUpdate(TSession& session, QWidget* parent = nullptr);
  ~TFormUpdate() override;

  // Message boxes, with the information and the error icon; tests replace them.
  std::function<void(const std::string& text, const std::string& caption)> ShowMessage, ShowError;

  QPlainTextEdit* Memo;
  QProgressBar* PBar;
  QLabel* Plab;
  QPushButton *Button1, *SpeedButton1;

  void StartDownload(const std::string& url, const std::string& version);
  TUpdateDownload& Download() { return *download_; }
  // Install Update.
  void Button1Click();

 private:
  TSession& session_;
  std::unique_ptr<TUpdateDownload> download_;
};
