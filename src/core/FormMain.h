#pragma once

#include <QMainWindow>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "core/DBStuff.h"
#include "platform/StringList.h"
#include "platform/Timer.h"

namespace platform {
class IniStore;
}

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class TContactList;
class TContactPopup;
class TPeerListener;
struct TPeerListenerHooks;
class TCustomNetSocket;
class TFrameBox;
class TParloSocket;
class TStatusBar;
class TTabBox;

// The main window: the hub that owns the directory-server link, the peer listener
// and the contact lists, and opens every other window.
class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  // Appends one entry to "errorlog.txt" in the home folder. Works before the main
  // window exists and never raises: it runs inside handlers that are already
  // dealing with an error.
  static void LogError(const std::string& address, const std::string& port, const std::string& message);

  // Opens the account registration window modally and returns false when the
  // user cancelled it. The registration window's module installs it; while
  // none is installed, registering is not possible and counts as cancelled.
  static std::function<bool(TFormMain& form)> RegistrationWindow;

  // What the local tables call back into: the profile name and list, the
  // friends list, the error log.
  TDBStuffHooks MakeDBStuffHooks();

  // ----- start-up and exit --------------------------------------------------
  // The first-show sequence: settings, stores, tray, profile, the start-up
  // password, the peer listener, the friends, the log-on. Runs once, from the
  // event loop.
  void FormShow();
  void UpdateServerActions();
  void LoadCurrentSelections();
  void LoadSettings();
  void SaveSettings();
  void CreateLocalStores();
  void AddTrayIcon();
  void RemoveTrayIcon();
  void StartListening();
  // False when the program must end (a wrong or cancelled start-up password).
  bool CheckStartupPassword();
  void ApplicationEventsException(const std::exception* e, const std::string& message);
  void ApplicationEventsMinimize();
  void ApplicationEventsRestore();
  // A second program started on this home asks this one to show itself.
  void ActivateFromOtherInstance();
  void HandleSessionEnd();
  void ActionExitExecute();
  void OpenURL(const std::string& address);
  void ShowHelpTopic(int topic);
  // Runs a downloaded update installer and ends the program.
  void RunUpdateInstaller(const std::string& fileName);
  // True once an uncaught exception has ended the program.
  bool Crashed() const { return crashed_; }

  // ----- tabs and status bar ------------------------------------------------
  void TabMouseDown(int tab);
  void SetListenStateIcon(int image);
  void SetServerStateIcon(int image);
  void SetStatusText(const std::string& text);
  void MarkFriendsOffline();

  // ----- directory server ---------------------------------------------------
  void ConnectToServer();
  void ActionServerConnectExecute();
  void AskAccountPassword();
  void ShowRegistration();
  void ActionFullListingExecute();
  void ActionServerDisconnectExecute();
  void TimerAliveTimer();
  void ProcessServerData(const std::string& line);
  void ProcessServerCommand(int code, const std::string& params, const std::string& text);
  bool HandleRegistrationReply(const std::string& params);
  void ShowInvalidLogon();
  void ReportSocketError(TCustomNetSocket* socket, int error);

  // ----- contact lists ------------------------------------------------------
  void FillContactList(TContactList* list, const std::string& userList);
  void UpdateOnlineList(const std::string& record);
  static std::string StatusModeFromText(const std::string& text);
  // Popup enabling, recomputed each time a list's menu opens.
  void ContactPopupOpening(TContactPopup* popup, TContactList* list);
  void ContactListDblClick(TContactPopup* popup, TContactList* list);
  // The blocked-list test of a received record's sender.
  bool IsUserBlocked(const std::string& record) const;

  // ----- status, group and profile ---------------------------------------------
  void ComboStatusChange();
  void ComboGroupChange();
  void ComboProfilesChange();
  void ActionNewGroupExecute();
  void ShowAwayMessagePicker(int kind);

  // ----- peer listener ------------------------------------------------------------
  TPeerListenerHooks MakePeerListenerHooks();
  // Hands an accepted private chat to its window; false while no window can
  // take it (the connection is then closed).
  bool AcceptPrivateChat(const std::string& record, TParloSocket& socket);
  // File offers, webcam requests and room invitations that reach the listener.
  void PeerRequest(int code, const std::string& params, TParloSocket& socket);

  // ----- state ----------------------------------------------------------------
  std::string BuildText;
  int ListenerStateImage = 0;
  int ServerStateImage = 0;
  bool Closing = false;
  bool ListingOnly = false;
  bool KeepAlivePending = false;
  bool UpdateCheck = false;
  bool FirstShow = true;
  bool TabFriends = true, TabOnline = false, TabIncoming = false;
  bool TabProfiles = false, TabGroups = false, TabStatus = true;

  std::string CurrentProfile, CurrentGroup, AwayText, UnavText;
  int StatusMode = 0, BusyTimer = 60, WaitTimer = 60;
  bool HideAppStart = false, WindowsStart = true;
  bool AutoPChat = false, AutoPChatOnly = false, AutoInCam = false, AutoInCamOnly = false;
  bool AutoOutCam = false, AutoOutCamOnly = false;
  TStringList BlockedList, GroupsList;
  std::string BlockedPath, GroupsPath;
  bool LogHistory = true, LogHistoryOnly = false, ShowMsg = true, MinMsg = false;
  std::string UserID, UserName, UserPass;
  bool HasUserID = false;
  bool RemUserPass = true, RequireStartPass = false;
  std::string StartupPass;
  bool RemStartPass = false;
  std::string ChatPort;
  bool ChatLimit = false;
  int ChatLimitCount = 10;
  bool ChatYes = true, ChatYesOnly = false;
  std::string ServerIP, ServerPort;
  bool AutoLogon = true, AutoUpdate = true;
  std::string ListenPort, ListenIP;
  bool AutoListen = true;
  bool NoVideoDevice = false, DirectXMissing = false, AdmitNextViewer = false;

  // ----- components -----------------------------------------------------------
  std::unique_ptr<TParloSocket> ListServ;
  std::unique_ptr<TPeerListener> Server;
  // "messages.msg": the saved away and unavailable messages.
  std::unique_ptr<platform::IniStore> SavedMessages;
  TTimer TimerAlive;

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
  void LayoutPanels();
  void ListServDataAvailable(int error);
  void ListServChangeState(int newState);
  void ListServClosed();
  void RestoreStatusBar();
  // Closes the main window and so ends the program (the exit sequence runs).
  void EndProgram();
  bool ExitSequence();
  void CloseOtherWindows();
  // Whether a modal window of the directory link (registration, password) is
  // open: the keep-alive then leaves the link alone.
  bool linkDialogOpen_ = false;
  bool inConnectAction_ = false;
  // The credentials the server refused: the keep-alive does not try them again.
  std::string refusedUserID_, refusedUserPass_;
  bool logonRefused_ = false;
  bool exitDone_ = false;
  bool crashed_ = false;
  bool statusChangeScheduled_ = false;
  // A contact command whose window comes with a later version of the program.
  void NotAvailableYet(const char* command);
  bool handlingException_ = false;
  QSystemTrayIcon* tray_ = nullptr;
  QWidget* body_ = nullptr;
};

extern TFormMain* FormMain;
