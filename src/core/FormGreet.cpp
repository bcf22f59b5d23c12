#include "core/FormGreet.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "platform/Charset.h"

TFormGreet::TFormGreet(QWidget* parent) : QDialog(parent) {
  setObjectName("FormGreet");
  setWindowFlag(Qt::Window);
  dialoglook::ColourForm(this);

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(8, 8, 8, 8);
  Memo = new QPlainTextEdit(panel);
  Memo->installEventFilter(this);
  inner->addWidget(Memo);
  inner->addWidget(dialoglook::MakeCharsetNote(Memo));

  SpeedButton1 = new QPushButton("Connect", this);
  SpeedButton2 = new QPushButton("Cancel", this);
  SpeedButton1->setAutoDefault(false);
  SpeedButton2->setAutoDefault(false);
  dialoglook::PanelOverButtons(this, panel, {}, {SpeedButton1, SpeedButton2});
  resize(300, 180);

  connect(SpeedButton1, &QPushButton::clicked, this, [this] { ConnectClick(); });
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { CancelClick(); });
}

void TFormGreet::SetGreeting(const std::string& text) { Memo->setPlainText(dialoglook::MemoFromText(text)); }

void TFormGreet::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  setWindowTitle(platform::ToQString("Greeting for " + UserName));
  Memo->setFocus();
}

void TFormGreet::ConnectClick() {
  Greeting = dialoglook::TextFromMemo(Memo->toPlainText());
  Cancelled = false;
  accept();
}

void TFormGreet::CancelClick() {
  Cancelled = true;
  reject();
}

// Only Connect and Cancel answer: Escape does not close the editor.
void TFormGreet::keyPressEvent(QKeyEvent* e) {
  if (e->matches(QKeySequence::Cancel)) return;
  QDialog::keyPressEvent(e);
}

bool TFormGreet::eventFilter(QObject* watched, QEvent* e) {
  // Letting go of Enter in the memo sends the request, with the text as it
  // stands then (the press has typed its line break).
  if (watched == Memo && e->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(e);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
      ConnectClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, e);
}
