#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Signal.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TSession;

// "Upload Photo": the user picks a JPEG of at most 20480 bytes, sees it, and
// sends it to the directory server as the profile photo (TPhotoUpload).
class TFormImgUpload : public QWidget {
  Q_OBJECT

 public:
  // The open one to the front, or a new one (not modal; it frees itself when closed).
  static TFormImgUpload* ActionImgUploadExecute(TSession& session);

  explicit TFormImgUpload(TSession& session, QWidget* parent = nullptr);

  // The file chooser; tests replace it. False when the user cancelled.
  std::function<bool(std::string& fileName)> ChooseFile;
  // The error and the information beep; tests replace it.
  std::function<void(bool error)> Beep;

  QPushButton *ButtonAdd, *ButOpen, *ButCancel;
  QLabel* Image1;
  QPlainTextEdit* MemoLog;

  void ButtonAddClick();
  // The chosen file, as if picked in the chooser.
  void SelectFile(const std::string& fileName);
  void ButOpenClick();
  void ShowUploadResult(bool success);
  // The window to the front with the outcome (the server's 9101 is a success).
  void UploadSucceeded();
  void UploadFailed();

 private:
  void Clear();
  void Log(const std::string& line);

  TSession& session_;
  std::string path_;
  std::int64_t size_ = 0;
  platform::TConnection answer_;
};
