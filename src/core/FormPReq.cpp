#include "core/FormPReq.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "core/DialogLook.h"
#include "core/session/PeerBounds.h"
#include "platform/Charset.h"
#include "transport/CmdParser.h"

using platform::ToQString;

namespace {

constexpr int kRingSound = 2;  // the incoming private-chat request sound
constexpr int kRingIntervalMs = 10000;

QLineEdit* ReadOnlyText(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setReadOnly(true);
  QPalette pal = edit->palette();
  pal.setColor(QPalette::Base, dialoglook::PanelColour());
  edit->setPalette(pal);
  return edit;
}

QPlainTextEdit* ReadOnlyMemo(QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setReadOnly(true);
  QPalette pal = memo->palette();
  pal.setColor(QPalette::Base, dialoglook::PanelColour());
  memo->setPalette(pal);
  return memo;
}

// Peer-supplied text goes into labels as plain text: a name must never be read
// as markup that could load pictures or change the dialog.
QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

TChatRequestProfile TChatRequestProfile::FromRecord(const std::string& record) {
  const TFields f(record, RecordSeparator);
  TChatRequestProfile p;
  p.UserID = f[0];
  p.UserName = f[3];
  p.FirstName = f[4];
  p.LastName = f[5];
  p.Age = f[6];
  p.Gender = f[8];
  p.Country = f[9];
  p.Description = TCmdParser::UnescapeText(f[11]);
  p.Greeting = TCmdParser::UnescapeText(f[16]);
  p.Banner = f[18];
  return p;
}

TFormPReq::TFormPReq(QWidget* owner) : QDialog(owner) {
  setObjectName("FormPReq");
  setWindowFlag(Qt::Window);
  setWindowTitle("Private Chat Request");
  dialoglook::ColourForm(this);

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(10, 10, 10, 10);
  UserText = ReadOnlyText(panel);
  NameText = ReadOnlyText(panel);
  AgeText = ReadOnlyText(panel);
  GenderText = ReadOnlyText(panel);
  CountryText = ReadOnlyText(panel);
  int row = 0;
  for (auto [caption, edit] : {std::pair{"Username:", UserText}, std::pair{"Name:", NameText},
                               std::pair{"Age:", AgeText}, std::pair{"Gender:", GenderText},
                               std::pair{"Country:", CountryText}}) {
    grid->addWidget(PlainLabel(caption, panel), row, 0);
    grid->addWidget(edit, row++, 1);
  }
  grid->addWidget(PlainLabel("Request Message:", panel), row++, 0, 1, 2);
  MemoG = ReadOnlyMemo(panel);
  MemoG->setMaximumHeight(60);
  grid->addWidget(MemoG, row++, 0, 1, 2);
  LabelDescription = PlainLabel("User Description:", panel);
  LabelDescription->setWordWrap(true);
  grid->addWidget(LabelDescription, row++, 0, 1, 2);
  MemoD = ReadOnlyMemo(panel);
  grid->addWidget(MemoD, row++, 0, 1, 2);

  Button1 = new QPushButton("Accept", this);
  Button2 = new QPushButton("Reject", this);
  Button3 = new QPushButton("Im Busy", this);
  BlockButton = new QPushButton("Block User", this);
  auto* buttons = new QHBoxLayout;
  for (auto* b : {Button1, Button2, Button3, BlockButton}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel);
  outer->addLayout(buttons);
  resize(340, 420);

  TimerBusy = new QTimer(this);
  TimerBusy->setSingleShot(true);
  TimerBusy->setInterval(60000);
  TimerSound = new QTimer(this);
  TimerSound->setInterval(kRingIntervalMs);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(BlockButton, &QPushButton::clicked, this, [this] { BlockButtonClick(); });
  connect(TimerBusy, &QTimer::timeout, this, [this] { Button3Click(); });
  connect(TimerSound, &QTimer::timeout, this, [this] { Ring(); });
}

void TFormPReq::ShowRequestProfile(const std::string& record) {
  const auto p = TChatRequestProfile::FromRecord(record);
  UserID = p.UserID;
  UserName = p.UserName;
  Banner = p.Banner;
  using peerbounds::kShownName;
  setWindowTitle(ToQString("Private Chat Request - " + CutPeerText(p.UserID, kShownName)));
  UserText->setText(ToQString(" " + CutPeerText(p.UserName, kShownName)));
  LabelDescription->setText(dialoglook::PeerText(p.UserName, kShownName) + " Description:");
  NameText->setText(ToQString(" " + CutPeerText(p.FirstName + " " + p.LastName, kShownName)));
  AgeText->setText(ToQString(" " + CutPeerText(p.Age, kShownName)));
  GenderText->setText(ToQString(" " + CutPeerText(p.Gender, kShownName)));
  CountryText->setText(ToQString(" " + CutPeerText(p.Country, kShownName)));
  MemoD->setPlainText(dialoglook::MemoFromText(p.Description));
  MemoG->setPlainText(dialoglook::MemoFromText(p.Greeting));
}

void TFormPReq::SetTimerIntervals(int busyMs, int soundMs) {
  busyOverrideMs_ = busyMs;
  TimerSound->setInterval(soundMs);
}

void TFormPReq::Ring() {
  if (PlayEventSound) PlayEventSound(kRingSound);
}

void TFormPReq::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  // A period of no seconds (a setting of 0 or less) never runs out: the
  // request waits for the user.
  const long long busyMs = busyOverrideMs_ >= 0 ? busyOverrideMs_ : BusyTimer * 1000LL;
  TimerBusy->setInterval(static_cast<int>(std::min<long long>(busyMs, std::numeric_limits<int>::max())));
  if (busyMs > 0) TimerBusy->start();
  TimerSound->start();
  Ring();
  raise();
  activateWindow();
}

void TFormPReq::hideEvent(QHideEvent* e) {
  TimerBusy->stop();
  TimerSound->stop();
  QDialog::hideEvent(e);
}

void TFormPReq::Button1Click() {
  Decision = DecisionAccept;
  accept();
}

void TFormPReq::Button2Click() {
  Decision = DecisionReject;
  reject();
}

void TFormPReq::Button3Click() {
  Decision = DecisionBusy;
  reject();
}

void TFormPReq::BlockButtonClick() {
  // The confirmation is a modal loop of its own: the busy period must not answer
  // for the user while it is open, and this dialog may go away meanwhile.
  TimerBusy->stop();
  QPointer<TFormPReq> self(this);
  if (BlockUser) BlockUser(UserID, UserName);
  if (!self) return;
  Decision = DecisionReject;
  reject();
}
