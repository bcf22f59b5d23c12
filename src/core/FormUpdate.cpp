#include "core/FormUpdate.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/Paths.h"
#include "core/session/Session.h"
#include "core/session/UpdateDownload.h"
#include "platform/Charset.h"
#include "platform/FileNames.h"
#include "platform/UrlOpener.h"
#include "platform/QuestionBoxes.h"

using platform::ToQString;

TFormUpdate* TFormUpdate::OpenUpdateDownload(TSession& session, const std::string& url, const std::string& version) {
  auto* form = ShowSingleForm<TFormUpdate>("FormUpdate", [&session] { return new TFormUpdate(session); });
  form->StartDownload(url, version);
  return form;
}

TFormUpdate::TFormUpdate(TSession& session, QWidget* parent) : QWidget(parent, Qt::Window), session_(session) {
  setObjectName("FormUpdate");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Parlo Update");
  dialoglook::ColourForm(this);
  ShowMessage = [this](const std::string& text, const std::string& caption) {
    platform::RunMessageBox(QMessageBox::Information, ToQString(caption), platform::ShownQString(text),
                            QMessageBox::Ok, this);
  };
  ShowError = [this](const std::string& text, const std::string& caption) {
    platform::RunMessageBox(QMessageBox::Critical, ToQString(caption), platform::ShownQString(text), QMessageBox::Ok,
                            this);
  };

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(10, 10, 10, 10);
  Memo = new QPlainTextEdit(panel);
  Memo->setReadOnly(true);
  PBar = new QProgressBar(panel);
  PBar->setRange(0, 100);
  PBar->setValue(0);
  PBar->setTextVisible(false);
  QPalette bar = PBar->palette();
  bar.setColor(QPalette::Highlight, dialoglook::FormColour());
  PBar->setPalette(bar);
  Plab = new QLabel(panel);
  inner->addWidget(Memo);
  inner->addWidget(PBar);
  inner->addWidget(Plab);

  Button1 = new QPushButton("Install Update", this);
  Button1->setEnabled(false);
  SpeedButton1 = new QPushButton("Cancel", this);
  dialoglook::PanelOverButtons(this, panel, {}, {Button1, SpeedButton1});
  resize(420, 300);

  TUpdateDownloadView view;
  view.ClearLines = [this] { Memo->clear(); };
  view.AddLine = [this](const std::string& line) { Memo->appendPlainText(ToQString(line)); };
  view.Progress = [this](std::int64_t received, std::int64_t maximum, const std::string& label) {
    // The announced size may pass what a bar counts: it shows thousandths.
    if (maximum < 0 && received > 0) {
      PBar->setRange(0, 0);
    } else {
      PBar->setRange(0, 1000);
      PBar->setValue(maximum > 0 ? static_cast<int>(std::min<std::int64_t>(received, maximum) * 1000 / maximum) : 0);
    }
    if (!label.empty()) Plab->setText(ToQString(label));
  };
  view.Finished = [this](bool complete) {
    Button1->setEnabled(complete);
    if (!complete) return;
    PBar->setRange(0, 1000);
    PBar->setValue(0);
  };
  download_ = std::make_unique<TUpdateDownload>(session.Paths(), std::move(view));

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] {
    download_->Cancel();
    close();
  });
}

// The download goes first: its handlers write into the widgets.
TFormUpdate::~TFormUpdate() { download_.reset(); }

void TFormUpdate::StartDownload(const std::string& url, const std::string& version) {
  Button1->setEnabled(false);
  download_->StartDownload(url, version);
}

void TFormUpdate::Button1Click() {
  const std::string file = download_->TargetFile();
  if (!download_->Complete() || !platform::FileExists(file)) {
    ShowError("The update file could not be found or is corrupt.", "Invalid Filename");
    close();
    return;
  }
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->objectName().contains("FormPChat")) {
      ShowMessage("   You must close all open chats before running the update installer, please close all\n"
                  "   open chat windows and click ok to proceed",
                  "Close Open Chats");
      break;
    }
  }
  // The folder opens in a program of its own, which outlives this one.
  platform::ShowFolder(platform::ExtractFilePath(file), nullptr);
  ShowMessage("The update is saved as\r\n" + platform::NameFromPath(platform::PathFromName(file)) +
                  "\r\nParlo closes now, so that you can install it from there.",
              "Install Update");
  QPointer<TFormUpdate> self(this);
  session_.RequestEnd();
  if (self) close();
}
