#pragma once

#include <QModelIndex>
#include <QObject>
#include <optional>
#include <string>

#include "core/session/Contacts.h"

class QAction;
class QMenu;
class QWidget;
class TContactList;

// Reading the selected contact of a list: its row (invalid when none).
QModelIndex SelectedContactItem(const TContactList& list);
bool HasSelectedContact(const TContactList& list);
// The selected item as "name{$}status digit{$}ip{$}port{$}id{$}online"; "" when
// nothing is selected.
std::string SelectedContactRecord(const TContactList& list);
std::string SelectedContactID(const TContactList& list);
// The Online column is exactly "1"; the status text does not matter.
bool IsSelectedContactOnline(const TContactList& list);
// A copy of the selected contact, taken before a command runs (its dialogs may
// change the list meanwhile).
std::optional<TContact> SelectedContact(const TContactList& list);

// Which commands of a list's popup menu may run, given the selection, whether
// a hosted chat room is open and whether the directory link is connected.
struct TPopupEnabling {
  bool PChat = false, NewMessage = false, Profile = false, CamIn = false, MultiRequest = false;
  bool FileOut = false, ImgOut = false, SoundOut = false, CamOut = false;
  bool FriendEdit = false;  // delete (friends list) or add to friends (the others)
  bool Block = false, History = false;

  static TPopupEnabling Compute(bool selected, bool selectedOnline, bool chatRoomOpen, bool serverConnected);
  bool operator==(const TPopupEnabling&) const = default;
};

// What a double click on a list does.
enum class TDoubleClickAction {
  DisablePrivateChat,  // nothing selected
  PrivateChat,         // the contact is online
  SendMessage,         // offline: a message through the server, connected or not
};
TDoubleClickAction DoubleClickActionFor(bool selected, bool selectedOnline);

// The twelve commands of one list's popup menu. The main window owns them: each
// is a member of a command family, one member per list.
struct TContactActions {
  QAction *PChat, *NewMessage, *Profile, *CamIn, *MultiRequest;
  QAction *FileOut, *ImgOut, *SoundOut, *CamOut;
  QAction* FriendEdit;  // delete (friends list) or add to friends (the others)
  QAction *Block, *History;
};

// One list's popup menu: its commands in menu order, with separators.
class TContactPopup : public QObject {
 public:
  TContactPopup(QWidget* parent, const TContactActions& actions);

  void Apply(const TPopupEnabling& e);

  QMenu* Menu;
  TContactActions Actions;
};
