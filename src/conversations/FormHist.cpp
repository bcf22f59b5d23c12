#include "conversations/FormHist.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "conversations/DatasetGrid.h"
#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/Charset.h"

TFormHist* TFormHist::Open(TSession& session, const std::string& userId) {
  session.DB().FilterHistory(userId);
  auto* form = ShowSingleForm<TFormHist>("FormHist", [&session] { return new TFormHist(session); });
  form->SetUserID(userId);
  return form;
}

TFormHist::TFormHist(TSession& session) : QWidget(nullptr, Qt::Window), session_(session) {
  setObjectName("FormHist");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Parlo - History");
  dialoglook::ColourForm(this);
  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(10, 10, 10, 10);
  DBGrid1 = new TDatasetGrid({"UserID", "UserName", "TimeDay", "Message"}, panel);
  DBMemo = new QPlainTextEdit(panel);
  DBMemo->setMaximumHeight(90);
  auto* navigator = new QHBoxLayout;
  const std::pair<const char*, int> steps[] = {{"First", -2}, {"Prior", -1}, {"Next", 1}, {"Last", 2}};
  for (const auto& [caption, step] : steps) {
    auto* b = new QPushButton(caption, panel);
    connect(b, &QPushButton::clicked, this, [this, step = step] { Move(step); });
    navigator->addWidget(b);
  }
  auto* remove = new QPushButton("Delete", panel);
  connect(remove, &QPushButton::clicked, this, [this] { DeleteRow(); });
  navigator->addWidget(remove);
  navigator->addStretch(1);
  inner->addLayout(navigator);
  inner->addWidget(DBGrid1, 1);
  inner->addWidget(DBMemo);

  ButtonClose = new QPushButton("Close", this);
  ButtonHelp = new QPushButton("Help", this);
  ButtonClear = new QPushButton("Clear All", this);
  ButtonClose->setToolTip("Close Window");
  ButtonClear->setToolTip("Clear entire History");
  connect(ButtonClose, &QPushButton::clicked, this, &QWidget::close);
  connect(ButtonHelp, &QPushButton::clicked, this, [this] { session_.ShowHelpTopic(kHelpTopic); });
  connect(ButtonClear, &QPushButton::clicked, this, [this] { ClearAll(); });
  connect(DBGrid1, &QTableWidget::currentCellChanged, this, [this] {
    if (DBMemo->document()->isModified()) {
      PostMessage();
      // The grid shows the row as it was read: read again once this change is over.
      QMetaObject::invokeMethod(this, [this] { Refill(DBGrid1->Row()); }, Qt::QueuedConnection);
    }
    ShowCurrentMessage();
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonClear);
  buttons->addStretch(1);
  buttons->addWidget(ButtonHelp);
  buttons->addWidget(ButtonClose);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel, 1);
  outer->addLayout(buttons);
  resize(560, 420);
  dialoglook::CentreOnScreen(this);
}

void TFormHist::SetUserID(const std::string& userId) {
  PostMessage();
  userId_ = userId;
  setWindowTitle(platform::ToQString("Parlo - " + userId + " - History"));
  Refill();
}

// The table is filtered anew for this window's contact: another window or a
// deletion may have turned its filter to someone else meanwhile.
void TFormHist::Refill(int select) {
  PostMessage();
  session_.DB().FilterHistory(userId_);
  DBGrid1->Fill(session_.DB().History, select);
  ShowCurrentMessage();
}

void TFormHist::ShowCurrentMessage() {
  messageRow_ = DBGrid1->Row();
  DBMemo->setPlainText(dialoglook::MemoFromText(DBGrid1->Value(messageRow_, "Message")));
}

void TFormHist::PostMessage() {
  if (!DBMemo->document()->isModified()) return;
  DBMemo->document()->setModified(false);
  const std::string text = dialoglook::TextFromMemo(DBMemo->toPlainText());
  ChangeRow(messageRow_, "Storing a history message: ", [&text](platform::Dataset& history) {
    history.Edit();
    history.SetFieldValue("Message", text);
    history.Post();
  });
}

// The table is filtered anew for this window's contact: another window may
// have turned it to someone else. The file follows at once.
void TFormHist::ChangeRow(int row, const char* failure, const std::function<void(platform::Dataset&)>& change) {
  if (row < 0) return;
  TDBStuff& db = session_.DB();
  try {
    db.FilterHistory(userId_);
    db.History.SetRecNo(row + 1);
    change(db.History);
    db.SaveHistory();
  } catch (const std::exception& e) {
    LogError("None", "None", failure + std::string(e.what()));
  }
}

void TFormHist::Move(int step) {
  const int count = DBGrid1->rowCount();
  if (count == 0) return;
  const int row = step == -2 ? 0 : step == 2 ? count - 1 : std::clamp(DBGrid1->Row() + step, 0, count - 1);
  DBGrid1->setCurrentCell(row, 0);
}

void TFormHist::DeleteRow() {
  PostMessage();
  const int row = DBGrid1->Row();
  if (row < 0) return;
  ChangeRow(row, "Deleting a history row: ", [](platform::Dataset& history) { history.Delete(); });
  Refill(row);
}

void TFormHist::ClearAll() {
  PostMessage();
  if (!session_.Prompts().AskYesNo("Are you sure you want to clear this users entire history?", "Clear History?",
                                   false))
    return;
  try {
    session_.DB().ClearHistory(userId_);
  } catch (const std::exception& e) {
    // What was deleted stays deleted; the user hears that the rest is there.
    LogError("None", "None", std::string("Clearing the history: ") + e.what());
    session_.Prompts().ShowError("The history could not be cleared completely:\r\n" + std::string(e.what()),
                                 "Clear History");
  }
  Refill();
}

void TFormHist::closeEvent(QCloseEvent* e) {
  PostMessage();
  QWidget::closeEvent(e);
}

// Messages logged while the window was in the background show once it is
// in front again.
void TFormHist::changeEvent(QEvent* e) {
  QWidget::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) Refill(DBGrid1->Row());
}
