#pragma once

#include <QMainWindow>
#include <exception>
#include <string>
#include <vector>

#include "platform/Signal.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPainter;
class QSystemTrayIcon;
class TContactList;
class TContactPopup;
class TPaintBox;
class TSession;
class TStatusBar;
enum class TContactCommand;
class TTabBox;

// The main window: a view of the session. It shows the three contact lists,
// the status, group and profile selectors and the status bar, carries the
// menus, the popup menus and the tray icon, and passes every command on to the
// session. Other windows reach the session, never this window.
class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFormMain(TSession& session, QWidget* parent = nullptr);
  ~TFormMain() override;

  TSession& Session;

  // ----- start-up and exit --------------------------------------------------
  // The first-show sequence: settings, stores, tray, profile, then the
  // session's start (start-up password, listener, friends, log-on). Runs
  // once, from the event loop.
  void FormShow();
  void UpdateServerActions();
  void AddTrayIcon();
  void RemoveTrayIcon();
  // A click on the tray icon (a QSystemTrayIcon::ActivationReason): a double
  // click hides or restores the window, a right click opens the tray menu
  // while it is hidden and brings it to the front while it shows.
  void TrayIconMessage(int reason);
  void ApplicationEventsException(const std::exception* e, const std::string& message);
  void ApplicationEventsMinimize();
  void ApplicationEventsRestore();
  // A second program started on this home asks this one to show itself.
  void ActivateFromOtherInstance();
  void HandleSessionEnd();
  // The exit sequence, for every close of the main window: groups, other
  // windows, links, settings and position saved, tray icon removed.
  bool FormCloseQuery();
  // After it: the links are aborted and the program ends.
  void FormClose();
  void ActionExitExecute();
  // "Help": the help's first page.
  void ActionHelpTopicsExecute();
  void ActionStartListenExecute();
  void ActionStopListenExecute();
  // "Show Parlo" of the tray menu.
  void ActionShowExecute();
  void ActionCheckUpdatesExecute();
  void ActionCheckMessagesExecute();
  // True once an uncaught exception has ended the program.
  bool Crashed() const { return crashed_; }

  // ----- tabs, lists and selectors ---------------------------------------------
  void TabMouseDown(int tab);
  // Popup enabling, recomputed each time a list's menu opens.
  void PopFriendPopup();
  void PopOnlinePopup();
  void PopIncomingPopup();
  void ListFDblClick();
  void ListODblClick();
  void ListInDblClick();
  // A hosted chat room is open: the popups offer the invitation.
  bool IsHostingChat() const;
  void ComboStatusChange();
  void ComboGroupChange();
  void ComboProfilesChange();
  void ActionNewGroupExecute();
  void ShowAwayMessagePicker(int kind);
  // The profile selector lists the stored profiles, the current one chosen.
  void RefreshProfileList();
  void PaintListPaint(QPainter& p);
  void PaintBotPaint(QPainter& p);

  // ----- contact commands ------------------------------------------------------
  // Each family has one member per list; a member runs the family's command on
  // its list's selected contact.
  void ActionPChatFriendExecute();
  void ActionPChatOnlineExecute();
  void ActionPChatIncomingExecute();
  void ActionNewMessageFExecute();
  void ActionNewMessageOExecute();
  void ActionNewMessageInExecute();
  void ActionProfileFriendExecute();
  void ActionProfileOnlineExecute();
  void ActionProfileIncomingExecute();
  void ActionCamInFriendExecute();
  void ActionCamInOnlineExecute();
  void ActionCamInIncomingExecute();
  void ActionMultiRequestFriendExecute();
  void ActionMultiRequestOnlineExecute();
  void ActionMultiRequestIncomingExecute();
  void ActionFileOutFriendExecute();
  void ActionFileOutOnlineExecute();
  void ActionFileOutIncomingExecute();
  void ActionImgOutFriendExecute();
  void ActionImgOutOnlineExecute();
  void ActionImgOutIncomingExecute();
  void ActionSoundOutFriendExecute();
  void ActionSoundOutOnlineExecute();
  void ActionSoundOutIncomingExecute();
  void ActionCamOutFriendExecute();
  void ActionCamOutOnlineExecute();
  void ActionCamOutIncomingExecute();
  void ActionDeleteFriendExecute();
  void ActionAddFriendOnlineExecute();
  void ActionAddFriendIncomingExecute();
  void ActionBlockFriendExecute();
  void ActionBlockOnlineExecute();
  void ActionBlockIncomingExecute();
  void ActionHistoryFriendsExecute();
  void ActionHistoryOnlineExecute();
  void ActionHistoryInExecute();
  // "Send Message": a message window for the list's selected contact.
  void NewMessageToSelected(TContactList* list);

  bool FirstShow = true;
  bool TabFriends = true, TabOnline = false, TabIncoming = false;
  bool TabProfiles = false, TabGroups = false, TabStatus = true;

  QLabel* ImgLogo;
  TTabBox *Tab1, *Tab2, *Tab3, *Tab4, *Tab5, *Tab6;
  TPaintBox *PaintList, *PaintBot;
  QWidget *Panel1, *Panel2;
  TContactList *ListF, *ListO, *ListIn;
  QLabel* LabU;
  QComboBox *ComboProfiles, *ComboGroup, *ComboStatus;
  TStatusBar* Stat;
  QMenu* PopMain;
  TContactPopup *PopFriend, *PopOnline, *PopIncoming;

  QAction *ActionStartListen, *ActionStopListen, *ActionCamBroadcast, *ActionHostChat, *ActionPref, *ActionExit;
  QAction *ActionServerConnect, *ActionFullListing, *ActionServerDisconnect, *ActionCheckUpdates;
  QAction *ActionNewPChat, *ActionRandom, *ActionCheckMessages, *ActionViewMyProfile, *ActionProMan;
  QAction *ActionImgUpload, *ActionNewGroup, *ActionShowFriends;
  QAction *ActionAbout, *ActionVantorelWeb, *ActionVantorelSupport, *ActionHelpTopics, *ActionShow;
  QAction *ActionPChatFriend, *ActionPChatOnline, *ActionPChatIncoming;
  QAction *ActionNewMessageF, *ActionNewMessageO, *ActionNewMessageIn;
  QAction *ActionProfileFriend, *ActionProfileOnline, *ActionProfileIncoming;
  QAction *ActionCamInFriend, *ActionCamInOnline, *ActionCamInIncoming;
  QAction *ActionMultiRequestFriend, *ActionMultiRequestOnline, *ActionMultiRequestIncoming;
  QAction *ActionFileOutFriend, *ActionFileOutOnline, *ActionFileOutIncoming;
  QAction *ActionImgOutFriend, *ActionImgOutOnline, *ActionImgOutIncoming;
  QAction *ActionSoundOutFriend, *ActionSoundOutOnline, *ActionSoundOutIncoming;
  QAction *ActionCamOutFriend, *ActionCamOutOnline, *ActionCamOutIncoming;
  QAction *ActionDeleteFriend, *ActionAddFriendOnline, *ActionAddFriendIncoming;
  QAction *ActionBlockFriend, *ActionBlockOnline, *ActionBlockIncoming;
  QAction *ActionHistoryFriends, *ActionHistoryOnline, *ActionHistoryIn;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildActions();
  void BuildContactActions();
  void BuildMenus();
  void BindContactList(TContactList* list, void (TFormMain::*popup)(), void (TFormMain::*dblClick)());
  // The shared code of the contact families, the popups and the double click.
  void RunContactCommand(TContactCommand command, TContactList* list);
  void ContactPopupOpening(TContactPopup* popup, TContactList* list);
  void ContactListDblClick(TContactPopup* popup, TContactList* list);
  void FollowSession();
  void FillGroups();
  void LayoutPanels();
  void RestoreStatusBar();
  // Closes the main window and so ends the program (the exit sequence runs).
  void EndProgram();
  // The stores and the window's place, once, as the end begins.
  void SaveBeforeExit();
  void CloseOtherWindows();
  bool exitDone_ = false;
  bool formPosSaved_ = false;
  bool crashed_ = false;
  bool statusChangeScheduled_ = false;
  bool handlingException_ = false;
  QSystemTrayIcon* tray_ = nullptr;
  QWidget* body_ = nullptr;
  std::vector<platform::TConnection> links_;
};
