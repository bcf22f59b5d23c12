#include "core/FormImgUpload.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/DirectoryLink.h"
#include "core/session/PhotoUpload.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"

TFormImgUpload* TFormImgUpload::ActionImgUploadExecute(TSession& session) {
  return ShowSingleForm<TFormImgUpload>("FormImgUpload", [&session] { return new TFormImgUpload(session); });
}

TFormImgUpload::TFormImgUpload(TSession& session, QWidget* parent) : QWidget(parent, Qt::Window), session_(session) {
  setObjectName("FormImgUpload");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Upload Photo");
  dialoglook::ColourForm(this);
  ChooseFile = [](std::string& fileName) {
    return platform::AskOpenFileName("Select Image", "JPEG Image File (*.jpg)|*.jpg", "", fileName);
  };
  Beep = [](bool) { platform::Beep(); };

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QHBoxLayout(panel);
  inner->setContentsMargins(10, 10, 10, 10);
  Image1 = new QLabel(panel);
  Image1->setFixedSize(160, 160);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setFrameShape(QFrame::StyledPanel);
  MemoLog = new QPlainTextEdit(panel);
  MemoLog->setReadOnly(true);
  inner->addWidget(Image1);
  inner->addWidget(MemoLog, 1);

  ButtonAdd = new QPushButton("Select Image", this);
  ButOpen = new QPushButton("Upload Now", this);
  ButOpen->setEnabled(false);
  ButCancel = new QPushButton("Cancel", this);
  dialoglook::PanelOverButtons(this, panel, {ButtonAdd}, {ButOpen, ButCancel});
  resize(440, 230);

  connect(ButtonAdd, &QPushButton::clicked, this, [this] { ButtonAddClick(); });
  connect(ButOpen, &QPushButton::clicked, this, [this] { ButOpenClick(); });
  connect(ButCancel, &QPushButton::clicked, this, &QWidget::close);
  answer_ = session.Link().PhotoAnswer.Connect([this](const std::string&, const std::string&) { UploadSucceeded(); });
}

void TFormImgUpload::Log(const std::string& line) { MemoLog->appendPlainText(platform::ShownQString(line)); }

void TFormImgUpload::Clear() {
  size_ = 0;
  path_.clear();
  Image1->clear();
  ButOpen->setEnabled(false);
}

void TFormImgUpload::ButtonAddClick() {
  std::string file;
  if (ChooseFile && ChooseFile(file)) SelectFile(file);
}

void TFormImgUpload::SelectFile(const std::string& fileName) {
  const std::int64_t size = TPhotoUpload::FileSizeOf(fileName);
  if (!TPhotoUpload::Acceptable(size)) {
    Clear();
    Log("File size is too large, select another file.");
    Beep(true);
    return;
  }
  const QPixmap picture(QString::fromStdString(platform::PathFromName(fileName).string()));
  if (picture.isNull()) {
    // What cannot be shown here would be the profile's photo all the same.
    Clear();
    Log("File is not a picture, select another file.");
    Beep(true);
    return;
  }
  path_ = fileName;
  size_ = size;
  Image1->setPixmap(picture.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
  ButOpen->setEnabled(true);
  Log("File: " + fileName);
  Log("Size: " + std::to_string(size) + " bytes");
}

void TFormImgUpload::ButOpenClick() {
  ButOpen->setEnabled(false);
  Log("Uploading image, please wait....");
  switch (TPhotoUpload::UploadProfileImage(session_.Link(), path_)) {
    case TPhotoUpload::TResult::Sent:
    case TPhotoUpload::TResult::NotConnected:
      break;
    case TPhotoUpload::TResult::Failed:
      UploadFailed();
      break;
  }
}

void TFormImgUpload::UploadSucceeded() {
  raise();
  ShowUploadResult(true);
}

void TFormImgUpload::UploadFailed() {
  raise();
  ShowUploadResult(false);
}

void TFormImgUpload::ShowUploadResult(bool success) {
  Log(success ? "Upload was successful!" : "Upload failed, please try again!");
  Clear();
  if (success) ButCancel->setText("Close");
  Beep(!success);
}
