#include "core/ContactMenus.h"

#include <QAction>
#include <QMenu>

#include "core/ContactList.h"

QTreeWidgetItem* SelectedContactItem(const TContactList& list) {
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list.topLevelItem(i);
    if (item->isSelected()) return item;
  }
  return nullptr;
}

bool HasSelectedContact(const TContactList& list) { return SelectedContactItem(list) != nullptr; }

std::optional<TContact> SelectedContact(const TContactList& list) {
  const TContact* contact = list.ContactOf(SelectedContactItem(list));
  if (contact == nullptr) return std::nullopt;
  return *contact;
}

std::string SelectedContactRecord(const TContactList& list) {
  const auto contact = SelectedContact(list);
  return contact ? contact->Row() : std::string();
}

std::string SelectedContactID(const TContactList& list) {
  const auto contact = SelectedContact(list);
  return contact ? contact->UserID : std::string();
}

bool IsSelectedContactOnline(const TContactList& list) {
  const auto contact = SelectedContact(list);
  return contact && contact->IsOnline();
}

TPopupEnabling TPopupEnabling::Compute(bool selected, bool selectedOnline, bool chatRoomOpen, bool serverConnected) {
  TPopupEnabling e;
  if (selected) {
    e.History = e.Profile = e.Block = e.FriendEdit = true;
    e.PChat = e.FileOut = e.ImgOut = e.SoundOut = e.CamOut = e.CamIn = selectedOnline;
    e.MultiRequest = chatRoomOpen;
  }
  // "Send Message" follows the directory link, not the selection.
  e.NewMessage = serverConnected;
  return e;
}

TDoubleClickAction DoubleClickActionFor(bool selected, bool selectedOnline) {
  if (!selected) return TDoubleClickAction::DisablePrivateChat;
  return selectedOnline ? TDoubleClickAction::PrivateChat : TDoubleClickAction::SendMessage;
}

TContactPopup::TContactPopup(Kind kind, QWidget* parent, QAction* newMessage)
    : QObject(parent), ListKind(kind), Menu(new QMenu(parent)), NewMessage(newMessage) {
  auto make = [this](const char* caption) { return new QAction(caption, this); };
  PChat = make("Call for Private Chat");
  Profile = make("View Profile");
  CamIn = make("Request to View Cam");
  MultiRequest = make("Invite to Multi-Chat");
  FileOut = make("Send Files");
  ImgOut = make("Send Image");
  SoundOut = make("Send Sound File");
  CamOut = make("Send Cam Broadcast");
  FriendEdit = make(kind == Friends ? "Delete from Friend List" : "Add to Friend List");
  Block = make("Block this User");
  History = make("Show History");
  Menu->addActions({PChat, NewMessage});
  Menu->addSeparator();
  Menu->addAction(Profile);
  Menu->addSeparator();
  Menu->addAction(CamIn);
  Menu->addSeparator();
  Menu->addAction(MultiRequest);
  Menu->addSeparator();
  Menu->addActions({FileOut, ImgOut, SoundOut, CamOut});
  Menu->addSeparator();
  Menu->addActions({FriendEdit, Block, History});
}

void TContactPopup::Apply(const TPopupEnabling& e) {
  PChat->setEnabled(e.PChat);
  NewMessage->setEnabled(e.NewMessage);
  Profile->setEnabled(e.Profile);
  CamIn->setEnabled(e.CamIn);
  MultiRequest->setEnabled(e.MultiRequest);
  FileOut->setEnabled(e.FileOut);
  ImgOut->setEnabled(e.ImgOut);
  SoundOut->setEnabled(e.SoundOut);
  CamOut->setEnabled(e.CamOut);
  FriendEdit->setEnabled(e.FriendEdit);
  Block->setEnabled(e.Block);
  History->setEnabled(e.History);
}
