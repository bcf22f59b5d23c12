#include "conversations/FormFriends.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "conversations/DatasetGrid.h"
#include "core/DialogLook.h"
#include "core/OpenForms.h"
#include "core/session/DBStuff.h"
#include "core/session/Session.h"

TFormFriends* TFormFriends::Open(TSession& session) {
  return ShowSingleForm<TFormFriends>("FormFriends", [&session] { return new TFormFriends(session); });
}

TFormFriends::TFormFriends(TSession& session) : QWidget(nullptr, Qt::Window), session_(session) {
  setObjectName("FormFriends");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Parlo - Friends");
  dialoglook::ColourForm(this);
  auto* panel = new dialoglook::TFramePanel(dialoglook::PanelColour(), this);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(10, 10, 10, 10);
  DBGrid1 = new TDatasetGrid({"UserID", "UserName", "ListenIP", "ListenPort"}, panel);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  inner->addWidget(DBGrid1);
  ButtonClose = new QPushButton("Close", this);
  ButtonDelete = new QPushButton("Delete", this);
  ButtonProfile = new QPushButton("View Profile", this);
  connect(ButtonClose, &QPushButton::clicked, this, &QWidget::close);
  connect(ButtonDelete, &QPushButton::clicked, this, [this] { DeleteClick(); });
  connect(ButtonProfile, &QPushButton::clicked, this, [this] { ProfileClick(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonDelete);
  buttons->addWidget(ButtonProfile);
  buttons->addStretch(1);
  buttons->addWidget(ButtonClose);
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(panel, 1);
  outer->addLayout(buttons);
  resize(460, 320);
  dialoglook::CentreOnScreen(this);
  Refill();
}

void TFormFriends::Refill(int select) { DBGrid1->Fill(session_.DB().Friends, select); }

std::string TFormFriends::SelectedId() const { return DBGrid1->Value(DBGrid1->Row(), "UserID"); }

void TFormFriends::DeleteClick() {
  const int row = DBGrid1->Row();
  const std::string id = SelectedId();
  if (id.empty()) return;
  session_.DeleteFriend(id);
  Refill(row);
}

void TFormFriends::ProfileClick() { session_.ShowUserProfilePage(SelectedId(), ""); }

// Friends added or deleted elsewhere show once the window is in front again.
void TFormFriends::changeEvent(QEvent* e) {
  QWidget::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) Refill(DBGrid1->Row());
}
