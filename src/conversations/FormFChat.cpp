#include "conversations/FormFChat.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/session/DBStuff.h"
#include "core/session/Session.h"
#include "platform/Charset.h"

TFormFChat* TFormFChat::ActionNewPChatExecute(TSession& session) {
  auto* form = new TFormFChat(session);
  form->show();
  return form;
}

TFormFChat::TFormFChat(TSession& session) : QWidget(nullptr, Qt::Window), session_(session) {
  setObjectName("FormFChat");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Chat with a Friend");
  dialoglook::ColourForm(this);
  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(12, 12, 12, 12);
  auto* explain = new QLabel("Select the friend you want to chat with from the list below, then click the "
                             "\"Chat Now\" button.",
                             panel);
  explain->setWordWrap(true);
  inner->addWidget(explain);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Choose a Friend: ", panel));
  DBLookupComboBox1 = new QComboBox(panel);
  // Each entry carries its friend's id: two friends may share a name.
  platform::Dataset& friends = session_.DB().Friends;
  for (friends.First(); !friends.Eof(); friends.Next())
    DBLookupComboBox1->addItem(platform::ToQString(friends.FieldValue("UserName")),
                               platform::ToQString(friends.FieldValue("UserID")));
  // Nobody is chosen until the user chooses.
  DBLookupComboBox1->setCurrentIndex(-1);
  row->addWidget(DBLookupComboBox1, 1);
  inner->addLayout(row);
  ButtonChat = new QPushButton("Chat Now", this);
  ButtonCancel = new QPushButton("Cancel", this);
  connect(ButtonChat, &QPushButton::clicked, this, [this] { ChatNowClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, &QWidget::close);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ButtonChat);
  buttons->addWidget(ButtonCancel);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel);
  outer->addLayout(buttons);
  resize(360, 160);
  dialoglook::CentreOnScreen(this);
}

// Without a friend chosen (or one deleted meanwhile) the picker just goes:
// the Friends row some earlier search left current is nobody the user chose.
void TFormFChat::ChatNowClick() {
  const std::string id = platform::FromQString(DBLookupComboBox1->currentData().toString());
  platform::Dataset& friends = session_.DB().Friends;
  hide();
  const QPointer<TFormFChat> self(this);
  if (!id.empty() && friends.Locate("UserID", id)) session_.OpenPrivateChatWithFriend();
  if (self) close();
}
