#include "chatrooms/FormChatInfo.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "platform/Charset.h"
#include "platform/QuestionBoxes.h"

using platform::FromQString;
using platform::ToQString;

TFormChatInfo::TFormChatInfo() : QWidget(nullptr, Qt::Window) {
  setObjectName("FormChatInfo");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Hosted Chat Information");
  dialoglook::ColourForm(this);
  dialoglook::DialogBorder(this, "Tahoma");
  auto* sky = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  sky->setObjectName("PaintSky");
  auto* memoFrame = new dialoglook::TFramePanel(QApplication::palette().color(QPalette::Base), sky);
  memoFrame->setObjectName("PaintMemo");
  Memo = new QPlainTextEdit("Welcome to my chat", memoFrame);
  Memo->setFixedHeight(80);
  auto* memoBox = new QVBoxLayout(memoFrame);
  memoBox->setContentsMargins(5, 5, 5, 5);
  memoBox->addWidget(Memo);
  ComboIP = new QComboBox(sky);
  ComboIP->setEditable(true);
  StatPort = new QLabel(sky);
  StatName = new QLabel(sky);
  for (QLabel* shown : {StatPort, StatName}) dialoglook::ColourLabel(shown, dialoglook::PanelColour());
  EditName = new QLineEdit(sky);
  EditName->installEventFilter(this);
  Button1 = new QPushButton("OK", this);
  Button2 = new QPushButton("Cancel", this);
  connect(Button1, &QPushButton::clicked, this, [this] { OkClick(); });
  connect(Button2, &QPushButton::clicked, this, &QWidget::close);

  auto* rows = new QFormLayout(sky);
  rows->setContentsMargins(8, 8, 8, 8);
  rows->addRow("Client Greeting:", memoFrame);
  rows->addRow(dialoglook::MakeCharsetNote(Memo));
  rows->addRow("Chat IP Address:", ComboIP);
  rows->addRow("Host Port:", StatPort);
  rows->addRow("Host Name:", StatName);
  rows->addRow("Name of Chat:", EditName);
  rows->addRow(dialoglook::MakeNameNote(EditName, "chat name"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* box = new QVBoxLayout(this);
  box->addWidget(sky);
  box->addLayout(buttons);
  box->setSizeConstraint(QLayout::SetFixedSize);
  EditName->setFocus();
  platform::CentreOn(this, nullptr);
}

void TFormChatInfo::ShowInfo(const std::string& ip, const std::string& port, const std::string& hostName) {
  chatIP_ = ip;
  chatPort_ = port;
  hostName_ = hostName;
  ComboIP->setEditText(ToQString(ip));
  StatPort->setText(ToQString(port));
  StatName->setText(ToQString(hostName));
  show();
  EditName->setFocus();
}

void TFormChatInfo::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  Memo->selectAll();
}

void TFormChatInfo::OkClick() {
  chatName_ = FromQString(EditName->text());
  greeting_ = dialoglook::TextFromMemo(Memo->toPlainText());
  chatIP_ = FromQString(ComboIP->currentText());
  auto tell = [this](const char* text, const char* caption) {
    if (ShowInformation) ShowInformation(text, caption);
  };
  if (chatIP_.empty()) {
    tell("You must provide an IP address for the clients to connect to.", "No IP Address");
    ComboIP->setFocus();
    return;
  }
  if (chatPort_.empty()) {
    tell("You have an invalid chat port number, please correct this in prferences.", "Invalid Port");
    close();
    return;
  }
  if (chatName_.empty()) {
    tell("You must provide a name for the chat you wish to host.", "No Chat Name");
    EditName->setFocus();
    return;
  }
  // Every member would see the name with "?" for what the wire cannot carry.
  if (const std::string refusal = dialoglook::NameRefusalText("chat name", EditName->text()); !refusal.empty()) {
    if (ShowInformation) ShowInformation(refusal, "Invalid Chat Name");
    EditName->setFocus();
    return;
  }
  if (OnStart) OnStart(chatIP_, greeting_, chatName_);
  close();
}

// Enter in the name box is OK.
bool TFormChatInfo::eventFilter(QObject* watched, QEvent* e) {
  if (watched == EditName && e->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      OkClick();
      return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}
