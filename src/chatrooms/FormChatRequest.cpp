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
  dialoglook::ColourForm(this);
  auto* intro = new QLabel(
      "You have received a request to join a multi-user chat. Details about the chat are listed below. Please choose to accept the request or reject it.",
      this);
  intro->setWordWrap(true);
  StatHost = new QLabel(this);
  StatChat = new QLabel(this);
  for (QLabel* label : {StatHost, StatChat}) {
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
  }
  Button1 = new QPushButton("Accept", this);
  Button2 = new QPushButton("Reject", this);
  connect(Button1, &QPushButton::clicked, this, [this] { AcceptClick(); });
  connect(Button2, &QPushButton::clicked, this, &QWidget::close);
  auto* rows = new QFormLayout;
  rows->addRow("Host Username:", StatHost);
  rows->addRow("Name of Chat:", StatChat);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* box = new QVBoxLayout(this);
  box->addWidget(intro);
  box->addLayout(rows);
  box->addLayout(buttons);
  setMinimumWidth(360);
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
