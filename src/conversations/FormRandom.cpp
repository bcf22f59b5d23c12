#include "conversations/FormRandom.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/DirectoryLink.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/Charset.h"

TFormRandom* TFormRandom::Open(TSession& session) {
  if (!session.Link().Connected()) {
    session.Prompts().ShowInformation("You have to be connected to the server to find a random contact.",
                                      "Not Connected to Server");
    return nullptr;
  }
  return ShowSingleForm<TFormRandom>("FormRandom", [&session] { return new TFormRandom(session); });
}

TFormRandom::TFormRandom(TSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), contact_(session) {
  setObjectName("FormRandom");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Random Contact");
  dialoglook::ColourForm(this);

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* fields = new QFormLayout(panel);
  fields->setContentsMargins(12, 12, 12, 12);
  // Read-only fields on the panel's colour, so that they read as shown, not asked.
  auto shown = [](QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, dialoglook::PanelColour());
    w->setPalette(p);
  };
  auto text = [panel, shown] {
    auto* e = new QLineEdit(panel);
    e->setReadOnly(true);
    shown(e);
    return e;
  };
  UserText = text();
  NameText = text();
  GenderText = text();
  AgeText = text();
  CountryText = text();
  HobbyText = text();
  MemoD = new QPlainTextEdit(panel);
  MemoD->setReadOnly(true);
  shown(MemoD);
  MemoD->setMaximumHeight(80);
  Animate1 = new QProgressBar(panel);
  Animate1->setRange(0, 0);
  Animate1->setTextVisible(false);
  Animate1->setMaximumHeight(8);
  fields->addRow("User Name:", UserText);
  fields->addRow("Name:", NameText);
  fields->addRow("Gender:", GenderText);
  fields->addRow("Age:", AgeText);
  fields->addRow("Country:", CountryText);
  fields->addRow("Hobbies:", HobbyText);
  fields->addRow("Description:", MemoD);
  fields->addRow(Animate1);

  SpeedSearch = new QPushButton("Find Contact", this);
  SpeedCancel = new QPushButton("Cancel", this);
  SpeedChat = new QPushButton("Start Chat", this);
  SpeedMsg = new QPushButton("Send Message", this);
  SpeedButton3 = new QPushButton("View Profile", this);
  SpeedClose = new QPushButton("Close", this);
  SpeedButton2 = new QPushButton("Help", this);
  auto* buttons = new QGridLayout;
  buttons->addWidget(SpeedSearch, 0, 0);
  buttons->addWidget(SpeedCancel, 0, 1);
  buttons->addWidget(SpeedChat, 0, 2);
  buttons->addWidget(SpeedMsg, 1, 0);
  buttons->addWidget(SpeedButton3, 1, 1);
  buttons->addWidget(SpeedButton2, 1, 2);
  buttons->addWidget(SpeedClose, 2, 2);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel);
  outer->addLayout(buttons);
  resize(380, 400);

  connect(SpeedSearch, &QPushButton::clicked, this, [this] { SpeedSearchClick(); });
  connect(SpeedCancel, &QPushButton::clicked, this, [this] { contact_.CancelSearch(); });
  connect(SpeedChat, &QPushButton::clicked, this, [this] { contact_.StartChat(); });
  connect(SpeedMsg, &QPushButton::clicked, this, [this] { contact_.SendMessage(); });
  connect(SpeedButton3, &QPushButton::clicked, this, [this] { contact_.ViewProfile(); });
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { session_.ShowHelpTopic(6); });
  connect(SpeedClose, &QPushButton::clicked, this, &QWidget::close);
  contact_.Changed = [this] { Refresh(); };
  Refresh();
}

void TFormRandom::SpeedSearchClick() { contact_.Search(); }

void TFormRandom::Refresh() {
  using platform::ToQString;
  const TRandomButtons& b = contact_.Buttons();
  SpeedSearch->setEnabled(b.Search);
  SpeedCancel->setEnabled(b.Cancel);
  SpeedChat->setEnabled(b.Chat);
  SpeedMsg->setEnabled(b.Message);
  SpeedButton3->setEnabled(b.Profile);
  Animate1->setVisible(b.Animating);
  UserText->setText(ToQString(contact_.Item(1)));
  NameText->setText(ToQString(contact_.NameText()));
  GenderText->setText(ToQString(contact_.Item(9)));
  AgeText->setText(ToQString(contact_.Item(10)));
  CountryText->setText(ToQString(contact_.Item(11)));
  HobbyText->setText(ToQString(contact_.Item(12)));
  MemoD->setPlainText(dialoglook::MemoFromText(contact_.Item(13)));
}
