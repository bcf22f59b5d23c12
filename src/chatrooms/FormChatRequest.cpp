#include "chatrooms/FormChatRequest.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/session/PeerBounds.h"
#include "platform/Charset.h"
#include "platform/QuestionBoxes.h"

using platform::ToQString;

TFormChatRequest::TFormChatRequest() : QWidget(nullptr, Qt::Window) {
  setObjectName("FormChatRequest");
  setAttribute(Qt::WA_DeleteOnClose);
  dialoglook::ColourForm(this, QColor(0x00, 0x40, 0x80));
  dialoglook::DialogBorder(this, "Tahoma");
  auto* sky = new dialoglook::TFramePanel(dialoglook::SkyColour(), this);
  sky->setObjectName("PaintSky");
  auto* intro = new QLabel(
      "You have received a request to join a multi-user chat. Details about the chat are listed below. Please choose to accept the request or reject it.",
      sky);
  intro->setWordWrap(true);
  StatHost = new QLabel(sky);
  StatChat = new QLabel(sky);
  for (QLabel* label : {StatHost, StatChat}) {
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    dialoglook::ColourLabel(label, QColor(0xA6, 0xCA, 0xF0));
  }
  Button1 = new QPushButton("Accept", this);
  Button2 = new QPushButton("Reject", this);
  connect(Button1, &QPushButton::clicked, this, [this] { AcceptClick(); });
  connect(Button2, &QPushButton::clicked, this, &QWidget::close);
  auto* rows = new QFormLayout;
  rows->addRow("Host Username:", StatHost);
  rows->addRow("Name of Chat:", StatChat);
  auto* panel = new QVBoxLayout(sky);
  panel->setContentsMargins(8, 8, 8, 8);
  panel->addWidget(intro);
  panel->addLayout(rows);
  // The form's text is navy: it stands on the panel, never on the dark form.
  QPalette navy = sky->palette();
  navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
  sky->setPalette(navy);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* box = new QVBoxLayout(this);
  box->addWidget(sky);
  box->addLayout(buttons);
  // A fixed width, so that the wrapped texts settle the height.
  sky->setFixedWidth(360);
  box->setSizeConstraint(QLayout::SetFixedSize);
  platform::CentreOn(this, nullptr);
}

void TFormChatRequest::ShowRequest(const std::string& hostUser, const std::string& ip, const std::string& port,
                                   const std::string& chatName) {
  hostUser_ = hostUser;
  chatIP_ = ip;
  chatPort_ = port;
  chatName_ = chatName;
  StatHost->setText(dialoglook::PeerText(hostUser, peerbounds::kShownName));
  StatChat->setText(dialoglook::PeerText(chatName, peerbounds::kShownName));
  setWindowTitle(ToQString("Request to join chat: " + CutPeerText(chatName, peerbounds::kShownName)));
  show();
}

void TFormChatRequest::AcceptClick() {
  if (OnAccept) OnAccept(chatIP_, chatPort_, chatName_);
  close();
}
