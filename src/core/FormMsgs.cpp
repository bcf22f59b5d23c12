#include "core/FormMsgs.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DialogLook.h"
#include "platform/Charset.h"
#include "platform/ErrorSink.h"
#include "platform/QuestionBoxes.h"
#include "transport/CmdParser.h"

using platform::FromQString;
using platform::ToQString;

TFormMsgs::TFormMsgs(platform::IniStore& store, QWidget* parent) : QDialog(parent), messages_(store) {
  setObjectName("FormMsgs");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlag(Qt::Window);
  setWindowTitle("Messages");
  dialoglook::ColourForm(this);

  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(10, 10, 10, 10);
  Label3 = new QLabel(
      "Either select a saved message to use or create a new one by typing it in the lower box and click OK.", panel);
  Label3->setWordWrap(true);
  inner->addWidget(Label3);
  inner->addWidget(new QLabel("Saved Messages:", panel));
  ComboList = new QComboBox(panel);
  ComboList->setEditable(false);
  inner->addWidget(ComboList);
  inner->addWidget(new QLabel("Actual Message:", panel));
  Memo = new QPlainTextEdit(panel);
  inner->addWidget(Memo);
  inner->addWidget(dialoglook::MakeCharsetNote(Memo));

  ButtonOK = new QPushButton("OK", this);
  ButtonCancel = new QPushButton("Cancel", this);
  ButtonNew = new QPushButton("New", this);
  dialoglook::PanelOverButtons(this, panel, {ButtonNew}, {ButtonOK, ButtonCancel});
  resize(360, 300);

  ShowError = [this](const std::string& text) {
    platform::RunMessageBox(QMessageBox::Critical, "Parlo", platform::ShownQString(text), QMessageBox::Ok, this);
  };

  connect(ComboList, &QComboBox::currentIndexChanged, this, [this] { ComboListChange(); });
  connect(ButtonNew, &QPushButton::clicked, this, [this] { NewClick(); });
  connect(ButtonOK, &QPushButton::clicked, this, [this] { OKClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { close(); });
}

void TFormMsgs::FillList(int kind) {
  messages_.Open(kind);
  const QSignalBlocker quiet(ComboList);
  ComboList->clear();
  for (const auto& key : messages_.Keys()) ComboList->addItem(ToQString(key));
  ComboList->setCurrentIndex(-1);
}

void TFormMsgs::EditAwayMessages() { FillList(TSavedMessages::Away); }
void TFormMsgs::EditUnavailableMessages() { FillList(TSavedMessages::Unavailable); }

std::string TFormMsgs::ShownKey() const {
  return ComboList->currentIndex() < 0 ? std::string() : FromQString(ComboList->currentText());
}

void TFormMsgs::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  Memo->setPlainText(dialoglook::MemoFromText(TCmdParser::UnescapeText(CurrentText)));
}

void TFormMsgs::ComboListChange() {
  const std::string key = ShownKey();
  if (!key.empty()) Memo->setPlainText(dialoglook::MemoFromText(messages_.Message(key)));
}

// A store that cannot be written stops the step where it is: the typed text
// stays in the box and the user is told.
void TFormMsgs::NewClick() {
  try {
    const std::string key = messages_.AddNew(ShownKey(), dialoglook::TextFromMemo(Memo->toPlainText()));
    const QSignalBlocker quiet(ComboList);
    ComboList->addItem(ToQString(key));
    ComboList->setCurrentIndex(ComboList->count() - 1);
  } catch (const std::exception& e) {
    Failed(e);
    return;
  }
  Memo->clear();
  Memo->setFocus();
}

void TFormMsgs::OKClick() {
  std::string escaped;
  try {
    escaped = messages_.Confirm(ShownKey(), dialoglook::TextFromMemo(Memo->toPlainText()));
  } catch (const std::exception& e) {
    Failed(e);
    return;
  }
  if (OnMessageChosen) OnMessageChosen(Mode, escaped);
  close();
}

void TFormMsgs::Failed(const std::exception& e) {
  platform::ReportError("None", "None", std::string("Saving a message: ") + e.what());
  if (ShowError) ShowError(e.what());
}
