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
class QSystemTrayIcon;
class TContactList;
class TContactPopup;
class TFrameBox;
class TSession;
class TStatusBar;
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
  // True once an uncaught exception has ended the program.
  bool Crashed() const { return crashed_; }

  // ----- tabs, lists and selectors ---------------------------------------------
  void TabMouseDown(int tab);
  // Popup enabling, recomputed each time a list's menu opens.
  void ContactPopupOpening(TContactPopup* popup, TContactList* list);
  void ContactListDblClick(TContactPopup* popup, TContactList* list);
  void ComboStatusChange();
  void ComboGroupChange();
  void ComboProfilesChange();
  void ActionNewGroupExecute();
  void ShowAwayMessagePicker(int kind);

  bool FirstShow = true;
  bool TabFriends = true, TabOnline = false, TabIncoming = false;
  bool TabProfiles = false, TabGroups = false, TabStatus = true;

  QLabel* ImgLogo;
  TTabBox *Tab1, *Tab2, *Tab3, *Tab4, *Tab5, *Tab6;
  TFrameBox *PaintList, *PaintBot;
  QWidget *Panel1, *Panel2;
  TContactList *ListF, *ListO, *ListIn;
  QLabel* LabU;
  QComboBox *ComboProfiles, *ComboGroup, *ComboStatus;
  TStatusBar* Stat;
  QMenu* PopMain;
  TContactPopup *PopFriend, *PopOnline, *PopIncoming;

  QAction *ActionStartListen, *ActionStopListen, *ActionCamBroadcast, *ActionHostChat, *ActionPref, *ActionExit;
  QAction *ActionServerConnect, *ActionFullListing, *ActionServerDisconnect, *ActionCheckUpdates;
  QAction *ActionNewPChat, *ActionRandom, *ActionCheckMessages, *ActionViewProfile, *ActionProMan;
  QAction *ActionImgUpload, *ActionNewGroup, *ActionManageFriends;
  QAction *ActionAbout, *ActionWeb, *ActionSupport, *ActionHelp, *ActionShow;
  QAction *ActionNewMessageO, *ActionNewMessageF, *ActionNewMessageIn;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildActions();
  void BuildMenus();
  void BindContactCommands(TContactPopup* popup, TContactList* list);
  void FollowSession();
  void FillGroups();
  void FillProfiles();
  void LayoutPanels();
  void RestoreStatusBar();
  // Closes the main window and so ends the program (the exit sequence runs).
  void EndProgram();
  void CloseOtherWindows();
  bool exitDone_ = false;
  bool crashed_ = false;
  bool statusChangeScheduled_ = false;
  bool handlingException_ = false;
  QSystemTrayIcon* tray_ = nullptr;
  QWidget* body_ = nullptr;
  std::vector<platform::TConnection> links_;
};
