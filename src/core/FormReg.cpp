#include "core/FormReg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <tuple>

#include "core/DialogLook.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"
#include "platform/QuestionBoxes.h"

using platform::FromQString;
using platform::ToQString;

// ----- TFormReg --------------------------------------------------------------

TFormReg::TFormReg(TDBStuff& db, TRegistrationHost host, QWidget* owner)
    : QDialog(owner), logic_(db, host), host_(std::move(host)) {
  setObjectName("FormReg");
  setWindowFlag(Qt::Window);
  setWindowTitle("Parlo Registration");
  dialoglook::ColourForm(this);
  ShowMessage = [this](const std::string& text, const std::string& caption) {
    platform::RunMessageBox(QMessageBox::Information, ToQString(caption), platform::ShownQString(text),
                            QMessageBox::Ok, this);
  };

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* form = new QFormLayout(panel);
  form->setContentsMargins(12, 12, 12, 12);
  auto edit = [panel](bool password = false) {
    auto* e = new QLineEdit(panel);
    if (password) e->setEchoMode(QLineEdit::Password);
    return e;
  };
  EditPass1 = edit(true);
  EditPass2 = edit(true);
  CheckAccount = new QCheckBox("I want to use my existing account, my ID Number is:", panel);
  EditID = edit();
  EditID->setEnabled(false);
  EditProfileName = edit();
  EditUser = edit();
  EditFirst = edit();
  EditLast = edit();
  EditGender = edit();
  EditAge = edit();
  EditDob = edit();
  EditHobbies = edit();
  EditEmail = edit();
  DBEdit2 = edit();
  MemoDesc = new QPlainTextEdit(panel);
  MemoDesc->setMaximumHeight(70);
  form->addRow("Password:", EditPass1);
  form->addRow("Verify Password:", EditPass2);
  form->addRow(CheckAccount);
  form->addRow("ID Number:", EditID);
  form->addRow("Profile Name:", EditProfileName);
  form->addRow("User Name:", EditUser);
  form->addRow("First Name:", EditFirst);
  form->addRow("Last Name:", EditLast);
  form->addRow("Gender:", EditGender);
  form->addRow("Age:", EditAge);
  form->addRow("Date of Birth:", EditDob);
  form->addRow("Country:", DBEdit2);
  form->addRow("Hobbies:", EditHobbies);
  form->addRow("E-Mail:", EditEmail);
  form->addRow("Description:", MemoDesc);

  SpeedButton1 = new QPushButton("Register Now", this);
  SpeedButton2 = new QPushButton("Cancel", this);
  SpeedButton3 = new QPushButton("Help ", this);
  auto* buttons = new QHBoxLayout;
  for (auto* b : {SpeedButton3, SpeedButton1, SpeedButton2}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel);
  // Names and profile text go out as 8-bit text: a name that cannot is
  // refused, and what other text cannot carry is named before it is taken
  // (passwords admit letters and digits only).
  outer->addWidget(dialoglook::MakeNameNote(EditProfileName, "profile name"));
  outer->addWidget(dialoglook::MakeNameNote(EditUser, "user name"));
  outer->addWidget(dialoglook::MakeCharsetNote(this, {EditFirst, EditLast, EditGender, EditAge, EditDob, DBEdit2,
                                                      EditHobbies, EditEmail, MemoDesc, EditID}));
  outer->addLayout(buttons);

  EditPass1->installEventFilter(this);
  EditPass2->installEventFilter(this);
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(SpeedButton3, &QPushButton::clicked, this, [this] { SpeedButton3Click(); });
  connect(CheckAccount, &QCheckBox::toggled, this, [this] { CheckAccountClick(); });
}

bool TFormReg::Run(QWidget* owner, TDBStuff& db, TRegistrationHost host) {
  TFormReg form(db, std::move(host), owner);
  platform::CentreOn(&form, owner);
  form.exec();
  return !form.Cancelled;
}

void TFormReg::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (shown_) return;
  shown_ = true;
  ShowInput(logic_.Begin());
  testhooks::Trace("registration window");
}

TRegistrationInput TFormReg::Input() const {
  TRegistrationInput in;
  in.ProfileName = FromQString(EditProfileName->text());
  in.UserName = FromQString(EditUser->text());
  in.FirstName = FromQString(EditFirst->text());
  in.LastName = FromQString(EditLast->text());
  in.Gender = FromQString(EditGender->text());
  in.Age = FromQString(EditAge->text());
  in.Dob = FromQString(EditDob->text());
  in.Hobbies = FromQString(EditHobbies->text());
  in.Description = dialoglook::TextFromMemo(MemoDesc->toPlainText());
  in.HomeEmail = FromQString(EditEmail->text());
  in.Country = FromQString(DBEdit2->text());
  in.Pass1 = FromQString(EditPass1->text());
  in.Pass2 = FromQString(EditPass2->text());
  in.UseExistingAccount = CheckAccount->isChecked();
  in.ExistingID = FromQString(EditID->text());
  return in;
}

void TFormReg::ShowInput(const TRegistrationInput& in) {
  EditProfileName->setText(ToQString(in.ProfileName));
  EditUser->setText(ToQString(in.UserName));
  EditFirst->setText(ToQString(in.FirstName));
  EditLast->setText(ToQString(in.LastName));
  EditGender->setText(ToQString(in.Gender));
  EditAge->setText(ToQString(in.Age));
  EditDob->setText(ToQString(in.Dob));
  EditHobbies->setText(ToQString(in.Hobbies));
  MemoDesc->setPlainText(dialoglook::MemoFromText(in.Description));
  EditEmail->setText(ToQString(in.HomeEmail));
  DBEdit2->setText(ToQString(in.Country));
}

void TFormReg::Refuse(const TRegistrationProblem& problem) {
  if (ShowMessage) ShowMessage(problem.Text, problem.Caption);
  QWidget* focus = problem.Focus == "Pass1"         ? static_cast<QWidget*>(EditPass1)
                   : problem.Focus == "ProfileName" ? EditProfileName
                   : problem.Focus == "UserName"    ? EditUser
                   : problem.Focus == "ID"          ? EditID
                   : problem.Focus == "FirstName"   ? EditFirst
                   : problem.Focus == "LastName"    ? EditLast
                   : problem.Focus == "Gender"      ? EditGender
                   : problem.Focus == "Age"         ? EditAge
                   : problem.Focus == "Dob"         ? EditDob
                   : problem.Focus == "Hobbies"     ? EditHobbies
                   : problem.Focus == "HomeEmail"   ? EditEmail
                   : problem.Focus == "Country"     ? DBEdit2
                                                    : static_cast<QWidget*>(MemoDesc);
  focus->setFocus();
}

bool TFormReg::RefuseUncarriedName() {
  for (const auto& [edit, what, caption, focus] :
       {std::tuple{EditProfileName, "profile name", "Invalid Profile Name", "ProfileName"},
        std::tuple{EditUser, "user name", "Invalid User Name", "UserName"}}) {
    const std::string refusal = dialoglook::NameRefusalText(what, edit->text());
    if (refusal.empty()) continue;
    Refuse(TRegistrationProblem{refusal, caption, focus});
    return true;
  }
  return false;
}

bool TFormReg::ValidateFields() {
  if (RefuseUncarriedName()) return false;
  if (auto problem = TRegistration::Validate(Input())) {
    Refuse(*problem);
    return false;
  }
  return true;
}

void TFormReg::SpeedButton1Click() {
  if (RefuseUncarriedName()) return;
  TRegistrationProblem problem;
  switch (logic_.Register(Input(), problem)) {
    case TRegistration::Outcome::Refused:
      Refuse(problem);
      return;
    case TRegistration::Outcome::ProfileNotFound:
      return;
    case TRegistration::Outcome::Registered:
      Cancelled = false;
      finished_ = true;
      accept();
      return;
  }
}

void TFormReg::SpeedButton2Click() {
  reject();
}

void TFormReg::SpeedButton3Click() {
  if (host_.ShowHelpTopic) host_.ShowHelpTopic(8);
}

void TFormReg::CheckAccountClick() {
  if (CheckAccount->isChecked()) {
    EditID->setEnabled(true);
    EditID->setFocus();
  } else {
    EditID->clear();
    EditID->setEnabled(false);
  }
}

void TFormReg::reject() {
  // Closing by the frame or Escape cancels too: the profile this window added
  // must not be written at exit as if the user had kept it.
  if (!finished_) {
    logic_.Cancel();
    Cancelled = true;
    finished_ = true;
  }
  QDialog::reject();
}

bool TFormReg::EditPass1KeyPress(QKeyEvent* key) { return PasswordKeyPress(EditPass1, EditPass2, key); }

bool TFormReg::EditPass2KeyPress(QKeyEvent* key) { return PasswordKeyPress(EditPass2, EditFirst, key); }

bool TFormReg::PasswordKeyPress(QLineEdit* edit, QWidget* next, QKeyEvent* key) {
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    next->setFocus();
    return true;
  }
  const QString text = key->text();
  // Keys that type nothing, Backspace and shortcuts (Ctrl+V and friends) go on.
  if (text.size() != 1 || text[0].unicode() < 32 || text[0].unicode() == 127) return false;
  const char16_t c = text[0].unicode();
  if (c < 128 && TRegistration::IsPasswordCharacter(static_cast<unsigned char>(c))) return false;
  if (ShowMessage)
    ShowMessage("Invalid character, password characters must be either letters or numbers.", "Invalid Character");
  edit->clear();
  edit->setFocus();
  return true;
}

bool TFormReg::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::KeyPress && watched == EditPass1) return EditPass1KeyPress(static_cast<QKeyEvent*>(e));
  if (e->type() == QEvent::KeyPress && watched == EditPass2) return EditPass2KeyPress(static_cast<QKeyEvent*>(e));
  return QDialog::eventFilter(watched, e);
}
