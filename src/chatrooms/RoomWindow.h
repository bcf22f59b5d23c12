#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "chatrooms/RoomMembers.h"
#include "platform/Font.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TEmoticonPicker;
class TSession;
class TSoundPicker;
class TTranscript;

// What the host window and the member window share: the transcript with its
// name-and-time headers, the input, the system lines, the member list with
// its menu, the emoticon and sound pickers, the two fonts, the edit menus,
// the status bar and the flash while a text waits unseen. Each window adds
// its link to the room and says what sending means.
class TRoomWindow : public QWidget {
  Q_OBJECT

 public:
  // What the log says when a command of the member-list menu fails.
  struct MenuFailures {
    const char *AddFriend, *ViewProfile, *FileOut, *ImageOut, *SoundOut, *CamOut;
  };
  struct Role {
    const char* ObjectName;
    const char* Caption;
    MenuFailures Failures;
    int HelpTopic;
    bool EmoticonSubmenu;  // the input's menu lists the codes, not the picker
    bool FocusesEmoticons;  // the emoticon picker takes the focus when it is shown
  };

  TRoomWindow(TSession& session, const Role& role);

  // Panels: 0 the character count, 1 the room or connection, 2 the count of clients.
  void SetStatusText(const std::string& text, int panel);
  std::string StatusText(int panel) const;
  void AddInfoText(const std::string& text);
  // A text of the room under its sender's name, in the others' font; plays the
  // incoming sound and flashes while the window is in the background.
  void ShowPeerText(const std::string& name, const std::string& text);
  // The own text under the own name, in the own font.
  void ShowOwnText(const std::string& text);
  // Code entry+1 at the input's caret.
  void InsertEmoteCode(int entry);
  void ShowEmoticons();
  void ShowSounds();
  void ActionMyFontExecute();
  void ActionPeerFontExecute();
  void ActionHelpExecute();
  // The member list again, from the room's rows. Each row shows as much of
  // a member's name and record as a label would: they are the member's choice.
  // Each change of the list shows ClientCount() in panel 2.
  void FillMemberList(const TRoomMembers& members);
  // The list after one row of the room came in at `index`, or went from
  // there; the rest of the list stays as it is.
  void InsertMemberRow(const TRoomMembers& members, int index);
  void RemoveMemberRow(int index);
  // A copy of the row of the first selected item (an action on it may wait
  // on the user while the room changes); nothing when none is selected.
  std::optional<TRoomMembers::Row> SelectedRow() const;
  // The member-list menu's commands on the selected row.
  void ActionAddFriendExecute();
  void ActionViewProfileExecute();
  // "binary", "image" or "sound".
  void SendFileToMember(const std::string& kind);
  void ActionSendCamExecute();

  virtual void SendText() = 0;
  virtual void SendSound(int index) = 0;
  virtual const std::string& OwnName() const = 0;
  virtual int ClientCount() const = 0;

  QWidget* Memo;            // the transcript control
  TTranscript* Transcript;  // its operations
  QPlainTextEdit* MemoGo;
  QPlainTextEdit* MemoSys;
  QTreeWidget* ListC;
  QLabel* Stat[3];
  TEmoticonPicker* PEm;
  TSoundPicker* PSound;
  QPushButton *ButtonEmote, *ButtonSounds, *ButtonFonts, *ButtonHelp, *ButtonSend;
  QTimer* Timer1;
  platform::TFont Client, Peer;

 protected:
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  // The fonts as they are now, for the next window.
  void SaveFonts();
  // The host adds "Remove from Chat".
  virtual void AddMemberItems(QMenu&) {}
  void LogMenuError(const char* failure);

  TSession& session_;

 private:
  void ShowClientCount();
  void BuildWindow();
  // `inner` on a rounded frame of that colour.
  QWidget* Framed(QWidget* inner, const QColor& colour);
  QWidget* BuildButtons();
  void WriteMessage(const std::string& name, platform::TFont& font, const std::string& text);
  bool InputKey(QEvent* e);
  bool TranscriptKey(QEvent* e);
  void ShowCharacterCount();
  void PopEditPopup(const QPoint& at);
  void PopEdit2Popup(const QPoint& at);
  void PopListPopup(const QPoint& at);
  void SetMemberItem(QTreeWidgetItem& item, const TRoomMembers::Row& row);

  Role role_;
  std::string iconsFolder_;
  QLabel* ImgLogo_ = nullptr;
  QMenu* PopFonts_ = nullptr;
  const TRoomMembers* members_ = nullptr;  // as listed, item i showing row i
  bool shown_ = false;
};
