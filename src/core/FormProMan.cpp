#include "core/FormProMan.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/DBStuff.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/QuestionBoxes.h"

using platform::FromQString;
using platform::ToQString;

namespace {

// Whether a key types a character into an edit, Backspace aside: Ctrl with a
// letter types its control character (Ctrl+V too, so a paste by key counts),
// Enter and Escape type theirs; moving, deleting, Tab and Alt shortcuts type
// none.
bool TypesCharacter(const QKeyEvent& key) {
  switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return false;
    default:
      break;
  }
  const Qt::KeyboardModifiers held = key.modifiers();
  if (held & Qt::ControlModifier) return key.key() >= Qt::Key_A && key.key() <= Qt::Key_Z && key.key() != Qt::Key_H;
  return !(held & Qt::AltModifier) && !key.text().isEmpty();
}

}  // namespace

TFormProMan* TFormProMan::ActionProManExecute(TSession& session) {
  // The profile in use is the current row also when the manager is open already.
  session.DB().Profiles.Locate("Name", session.Settings.CurrentProfile);
  return ShowSingleForm<TFormProMan>("FormProMan", [&session] { return new TFormProMan(session); });
}

TFormProMan::TFormProMan(TSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), manager_(session.DB()) {
  setObjectName("FormProMan");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Parlo - Profile Manager");
  dialoglook::ColourForm(this);
  ShowMessage = [this](const std::string& text, const std::string& caption) {
    platform::RunMessageBox(QMessageBox::Information, ToQString(caption), platform::ShownQString(text),
                            QMessageBox::Ok, this);
  };
  AskName = [this](std::string& name) {
    bool ok = false;
    const QString typed = QInputDialog::getText(this, "Profile Name", "Please type in a name for the new profile.",
                                                QLineEdit::Normal, QString(), &ok);
    if (ok && !dialoglook::NameRefusal("profile name", typed).isEmpty()) {
      ShowMessage(dialoglook::NameRefusalText("profile name", typed), "Invalid Profile Name");
      return false;
    }
    name = FromQString(typed);
    return ok;
  };

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(10, 10, 10, 10);
  ComboProfiles = new QComboBox(panel);
  PageControl = new QTabWidget(panel);
  auto* top = new QHBoxLayout;
  Button3 = new QPushButton("Create", panel);
  SpeedButton1 = new QPushButton("Delete", panel);
  top->addWidget(ComboProfiles, 1);
  top->addWidget(Button3);
  top->addWidget(SpeedButton1);
  inner->addLayout(top);
  inner->addWidget(PageControl);

  auto page = [this](const char* caption) {
    auto* w = new QWidget(PageControl);
    new QFormLayout(w);
    PageControl->addTab(w, caption);
    return w;
  };
  auto line = [](QWidget* w, const char* label) {
    auto* edit = new QLineEdit(w);
    static_cast<QFormLayout*>(w->layout())->addRow(label, edit);
    return edit;
  };
  auto memo = [](QWidget* w, const char* label) {
    auto* m = new QPlainTextEdit(w);
    if (label[0] != '\0') static_cast<QFormLayout*>(w->layout())->addRow(label, m);
    else static_cast<QFormLayout*>(w->layout())->addRow(m);
    return m;
  };
  QWidget* general = page("General");
  EditUser = line(general, "User Name:");
  EditUser->installEventFilter(this);
  EditFirst = line(general, "First Name:");
  EditLast = line(general, "Last Name:");
  EditGender = line(general, "Gender:");
  EditAge = line(general, "Age:");
  EditDob = line(general, "Date of Birth:");
  EditCountry = line(general, "Country:");
  QWidget* personal = page("Personal");
  EditHobbies = line(personal, "Hobbies:");
  MemoDesc = memo(personal, "Description:");
  QWidget* internet = page("Internet");
  EditHMail = line(internet, "Home E-Mail:");
  EditBMail = line(internet, "Business E-Mail:");
  EditHurl = line(internet, "Home Page:");
  EditBurl = line(internet, "Business Page:");
  EditCam = line(internet, "WebCam:");
  MemoGreet = memo(page("Greeting"), "");
  MemoBusy = memo(page("Busy Message"), "");
  MemoBanner = memo(page("Banner"), "");
  // The tabs are drawn on the panels' colour, the chosen one standing a little higher.
  PageControl->tabBar()->setStyleSheet(
      QString("QTabBar::tab { background: %1; color: black; border: 1px solid gray; border-bottom: none;"
              " padding: 3px 8px; margin-right: 1px; }"
              " QTabBar::tab:!selected { margin-top: 2px; }")
          .arg(dialoglook::PanelColour().name()));

  Bind(EditUser, "UserName");
  Bind(EditFirst, "FirstName");
  Bind(EditLast, "LastName");
  Bind(EditGender, "Gender");
  Bind(EditAge, "Age");
  Bind(EditDob, "Dob");
  Bind(EditCountry, "Country");
  Bind(EditHobbies, "Hobbies");
  Bind(MemoDesc, "Description");
  Bind(EditHMail, "HomeEmail");
  Bind(EditBMail, "BizEmail");
  Bind(EditHurl, "HomeUrl");
  Bind(EditBurl, "BizUrl");
  Bind(EditCam, "WebCam");
  Bind(MemoGreet, "Greeting");
  Bind(MemoBusy, "BusyMsg");
  Bind(MemoBanner, "Banner");
  // The profile goes out as 8-bit text: what cannot is named before it is taken.
  // A user name that cannot is refused.
  inner->addWidget(dialoglook::MakeNameNote(EditUser, "user name"));
  inner->addWidget(dialoglook::MakeCharsetNote(
      panel, {EditFirst, EditLast, EditGender, EditAge, EditDob, EditCountry, EditHobbies, MemoDesc, EditHMail,
              EditBMail, EditHurl, EditBurl, EditCam, MemoGreet, MemoBusy, MemoBanner}));

  SpeedButton2 = new QPushButton("Help", this);
  Button1 = new QPushButton("Apply", this);
  Button2 = new QPushButton("Cancel", this);
  dialoglook::PanelOverButtons(this, panel, {SpeedButton2}, {Button1, Button2});
  resize(580, 360);

  connect(ComboProfiles, qOverload<int>(&QComboBox::activated), this, [this] { ComboProfilesChange(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, &QWidget::close);
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { session_.ShowHelpTopic(1); });

  FillProfiles(session.Settings.CurrentProfile);
  ShowProfile();
  PageControl->setCurrentIndex(0);
}

void TFormProMan::Bind(QLineEdit* edit, const char* field) {
  edits_[field] = edit;
  connect(edit, &QLineEdit::textEdited, this,
          [this, edit, field](const QString& text) {
            // A user name that cannot be carried is never taken (Apply refuses it).
            if (edit == EditUser && !dialoglook::NameRefusal("user name", text).isEmpty()) return;
            manager_.SetField(field, FromQString(text));
          });
}

void TFormProMan::Bind(QPlainTextEdit* memo, const char* field) {
  edits_[field] = memo;
  connect(memo, &QPlainTextEdit::textChanged, this, [this, memo, field] {
    if (!loading_) manager_.SetField(field, dialoglook::TextFromMemo(memo->toPlainText()));
  });
}

void TFormProMan::FillProfiles(const std::string& chosen) {
  ComboProfiles->clear();
  for (const auto& name : manager_.Names()) ComboProfiles->addItem(ToQString(name));
  ComboProfiles->setCurrentIndex(ComboProfiles->findText(ToQString(chosen), Qt::MatchExactly));
}

// Every edit shows the current profile.
void TFormProMan::ShowProfile() {
  loading_ = true;
  for (const auto& [field, widget] : edits_) {
    const std::string value = manager_.Field(field);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(ToQString(value));
    else static_cast<QPlainTextEdit*>(widget)->setPlainText(dialoglook::MemoFromText(value));
  }
  loading_ = false;
}

void TFormProMan::ComboProfilesChange() {
  manager_.Select(FromQString(ComboProfiles->currentText()));
  ShowProfile();
}

void TFormProMan::Button3Click() {
  std::string name;
  if (!AskName(name)) return;
  switch (manager_.Create(name)) {
    case TProfileManager::TCreate::Empty:
      return;
    case TProfileManager::TCreate::Created:
      break;
  }
  FillProfiles(name);
  ShowProfile();
  PageControl->setCurrentIndex(0);
  EditUser->setFocus();
}

void TFormProMan::SpeedButton1Click() {
  if (!manager_.Delete()) ShowMessage("No Profiles to delete!", "No Profiles");
  // The list keeps its names until the next refill; the edits show the row now current.
  ShowProfile();
}

bool TFormProMan::Button1Click() {
  const std::string refusal = dialoglook::NameRefusalText("user name", EditUser->text());
  if (!refusal.empty()) {
    ShowMessage(refusal, "Invalid User Name");
    PageControl->setCurrentIndex(0);
    EditUser->setFocus();
    return false;
  }
  if (const auto problem =
          manager_.Apply(FromQString(EditUser->text()), FromQString(ComboProfiles->currentText()))) {
    ShowMessage(problem->Text, problem->Caption);
    if (problem->Focus == "UserName") {
      PageControl->setCurrentIndex(0);
      EditUser->setFocus();
    }
    return false;
  }
  close();
  return true;
}

bool TFormProMan::eventFilter(QObject* watched, QEvent* e) {
  if (watched == EditUser && e->type() == QEvent::KeyPress) return EditUserKeyPress(static_cast<QKeyEvent*>(e));
  return QWidget::eventFilter(watched, e);
}

bool TFormProMan::EditUserKeyPress(QKeyEvent* key) {
  if (!TypesCharacter(*key) || FromQString(EditUser->text()).size() < 21) return false;
  ShowMessage(TProfileManager::kUserNameText, "Invalid User Name");
  EditUser->clear();
  manager_.SetField("UserName", "");
  EditUser->setFocus();
  return true;
}
