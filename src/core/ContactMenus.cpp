#include "core/ContactMenus.h"

#include <QAction>
#include <QMenu>

#include "core/ContactList.h"

QModelIndex SelectedContactItem(const TContactList& list) { return list.SelectedRow(); }

bool HasSelectedContact(const TContactList& list) { return list.ContactOf(SelectedContactItem(list)) != nullptr; }

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

TContactPopup::TContactPopup(QWidget* parent, const TContactActions& actions)
    : QObject(parent), Menu(new QMenu(parent)), Actions(actions) {
  const TContactActions& a = Actions;
  Menu->addActions({a.PChat, a.NewMessage});
  Menu->addSeparator();
  Menu->addAction(a.Profile);
  Menu->addSeparator();
  Menu->addAction(a.CamIn);
  Menu->addSeparator();
  Menu->addAction(a.MultiRequest);
  Menu->addSeparator();
  Menu->addActions({a.FileOut, a.ImgOut, a.SoundOut, a.CamOut});
  Menu->addSeparator();
  Menu->addActions({a.FriendEdit, a.Block, a.History});
}

void TContactPopup::Apply(const TPopupEnabling& e) {
  const TContactActions& a = Actions;
  a.PChat->setEnabled(e.PChat);
  a.NewMessage->setEnabled(e.NewMessage);
  a.Profile->setEnabled(e.Profile);
  a.CamIn->setEnabled(e.CamIn);
  a.MultiRequest->setEnabled(e.MultiRequest);
  a.FileOut->setEnabled(e.FileOut);
  a.ImgOut->setEnabled(e.ImgOut);
  a.SoundOut->setEnabled(e.SoundOut);
  a.CamOut->setEnabled(e.CamOut);
  a.FriendEdit->setEnabled(e.FriendEdit);
  a.Block->setEnabled(e.Block);
  a.History->setEnabled(e.History);
}
