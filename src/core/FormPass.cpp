#include "core/FormPass.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/MainPanels.h"
#include "platform/Charset.h"
#include "platform/QuestionBoxes.h"

TPasswordCheck::Outcome TPasswordCheck::Submit(const std::string& typed) {
  ++tries_;
  if (!checkMode_ || typed == expected_) return Outcome::Accepted;
  return tries_ < MaxTries ? Outcome::TryAgain : Outcome::GiveUp;
}

TFormPass::TFormPass(QWidget* parent) : QDialog(parent) {
  setObjectName("FormPass");
  setWindowTitle("Enter Password");
  setModal(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kPanelColor);
  setPalette(pal);
  setAutoFillBackground(true);

  Label1 = new QLabel(this);
  Label1->setWordWrap(true);
  EditPass = new QLineEdit(this);
  EditPass->setEchoMode(QLineEdit::Password);
  CheckRem = new QCheckBox("Remember password", this);
  SpeedButton1 = new QPushButton("OK", this);
  SpeedButton2 = new QPushButton("Cancel", this);
  // Clicked only: the keys stay with the box, the check box and the form.
  for (QPushButton* button : {SpeedButton1, SpeedButton2}) {
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
  }

  // The box has a row of its own: beside the buttons its caption was cut at
  // the default font.
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(SpeedButton1);
  buttons->addWidget(SpeedButton2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(EditPass);
  layout->addWidget(CheckRem);
  layout->addLayout(buttons);
  setFixedWidth(kWidth);

  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
  // Enter in the edit is taken there: left to travel on to the form as
  // well, one key press counted as two tries.
  EditPass->installEventFilter(this);
}

bool TFormPass::eventFilter(QObject* watched, QEvent* e) {
  if (watched == EditPass && e->type() == QEvent::KeyPress) return EditPassKeyPress(static_cast<QKeyEvent*>(e));
  return QDialog::eventFilter(watched, e);
}

bool TFormPass::EditPassKeyPress(QKeyEvent* e) {
  if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) return false;
  SpeedButton1Click();
  return true;
}

void TFormPass::SetPrompt(const std::string& text) {
  Label1->setText(platform::ToQString(text));
  // A wrapped label does not tell a fixed-width window how tall it needs to
  // be: the lines it wraps into are reserved here, so none is cut off.
  const QMargins m = layout()->contentsMargins();
  Label1->setMinimumHeight(Label1->heightForWidth(kWidth - m.left() - m.right()));
  adjustSize();
}
void TFormPass::SetRemember(bool on) { CheckRem->setChecked(on); }
void TFormPass::SetPassword(const std::string& text) { EditPass->setText(platform::ToQString(text)); }
void TFormPass::SetCheckMode(bool on, const std::string& expected) { check_ = TPasswordCheck(on, expected); }

void TFormPass::SpeedButton1Click() {
  const std::string typed = platform::FromQString(EditPass->text());
  switch (check_.Submit(typed)) {
    case TPasswordCheck::Outcome::Accepted:
      Password = typed;
      Remember = CheckRem->isChecked();
      Cancelled = false;
      accept();
      break;
    case TPasswordCheck::Outcome::TryAgain:
      platform::RunMessageBox(QMessageBox::Information, "Incorrect Password", "Incorrect Password, please try again...",
                              QMessageBox::Ok, this);
      EditPass->clear();
      EditPass->setFocus();
      break;
    case TPasswordCheck::Outcome::GiveUp:
      Cancelled = true;
      platform::RunMessageBox(QMessageBox::Information, "Incorrect Password",
                              "So sorry, invalid password, you only get three tries......bye!", QMessageBox::Ok, this);
      reject();
      break;
  }
}

void TFormPass::SpeedButton2Click() {
  Cancelled = true;
  reject();
}

void TFormPass::keyPressEvent(QKeyEvent* e) { FormKeyPress(e); }

void TFormPass::FormKeyPress(QKeyEvent* e) {
  // A key a control passed on is not the form's own: Enter on the check box
  // accepts nothing, Escape in the box cancels nothing.
  if (QWidget* focus = focusWidget(); focus != nullptr && focus != this) {
    e->ignore();
    return;
  }
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    SpeedButton1Click();
    return;
  }
  if (e->key() == Qt::Key_Escape) {
    // Cancelled is still true.
    reject();
    return;
  }
  e->ignore();
}
