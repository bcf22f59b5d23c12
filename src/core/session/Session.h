#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/session/Contacts.h"
#include "core/session/Router.h"
#include "core/session/Settings.h"
#include "core/session/StatusControls.h"
#include "platform/Signal.h"
#include "platform/StringList.h"
#include "transport/NetSocket.h"

namespace platform {
class IniStore;
}

class TDBStuff;
class TDirectoryLink;
class TPaths;
class TPeerListener;
class TPrompts;
class TRelayedMessages;
class TUpdateCheck;

// The messenger without its windows: the settings and identity, the local
// stores, the directory link, the three contact lists, the peer listener and
// the router to the windows that handle what the session does not. The main
// window is a view of it; tests drive it with a TPrompts of their own.
//
// Made once per run, before any window; it lives until the program ends.
class TSession {
 public:
  // Makes the folders of the home (TPaths) and loads the local tables.
  explicit TSession(TPrompts& prompts);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  TSettings Settings;
  TContacts Friends{TContactListKind::Friends};    // ListF
  TContacts Online{TContactListKind::Online};      // ListO: the chosen group
  TContacts Incoming{TContactListKind::Incoming};  // ListIn: who sent a message
  TContacts& List(TContactListKind kind);

  // The local stores, ready once CreateLocalStores ran.
  TStringList BlockedList;
  TStringList GroupsList;  // the user groups offered: the groups file's lines
  std::string BlockedPath, GroupsPath;
  // "messages.msg": the saved away and unavailable messages.
  std::unique_ptr<platform::IniStore> SavedMessages;

  TPaths& Paths() { return *paths_; }
  TDBStuff& DB() { return *db_; }
  TDirectoryLink& Link() { return *link_; }
  TPeerListener& Listener() { return *listener_; }
  TRouter& Router() { return router_; }
  TUpdateCheck& Updates() { return *updates_; }
  TRelayedMessages& Messages() { return *messages_; }
  TPrompts& Prompts() { return prompts_; }

  // ----- start ----------------------------------------------------------------
  // The settings: selections first, then the rest with the event sounds.
  void LoadCurrentSelections();
  void LoadSettings();
  void SaveSettings();
  void CreateLocalStores();
  // What follows the first show of the main window: the start-up password,
  // the peer listener, the friends listed as offline, the keep-alive and the
  // log-on. False when the program must end (see EndRequested).
  bool StartAfterShow();
  bool CheckStartupPassword();
  void StartListening();
  void StopListening();
  // "Parlo - Unregistered" before an account exists, else "Parlo - " + id.
  std::string Caption() const;
  // An account id is known now (registration, or an existing account).
  void SetUserID(const std::string& userId);

  // ----- status, group, profile ---------------------------------------------------
  // The status chosen by the user: sent to the server when connected.
  void SetStatusMode(int mode);
  // The user chose another group: while connected, the question whether to
  // fetch its whole listing.
  void OfferGroupListing();
  TNewGroupOutcome AddGroup(const std::string& name);
  void SaveGroups();
  void SelectProfile(const std::string& name);

  // ----- contacts --------------------------------------------------------------------
  // A command on a contact: the private chat asks for the greeting first;
  // blocking, the friend list and the profile page are the session's own; the
  // rest go to the router.
  void RunContactCommand(TContactCommand command, const TContact& contact,
                         std::optional<TContactListKind> list = std::nullopt);
  // Stores the friend (or the friend's new address) and, while connected,
  // sends the friend list again; false when the id cannot be stored.
  bool AddFriend(const std::string& userId, const std::string& userName, const std::string& ip,
                 const std::string& port);
  // Asks, then deletes the stored friend with the friend's history; false
  // when the user said no. The friends list is the delete command's to change.
  bool DeleteFriend(const std::string& userId);
  // Asks for the greeting, then hands the call to the private-chat handler.
  void OpenPrivateChat(const std::string& user, const std::string& port, const std::string& ip);
  // Calls the friend at the current row of the Friends table, on the stored
  // address and port.
  void OpenPrivateChatWithFriend();
  // The history window, filtered to the user.
  void ShowHistoryFor(const std::string& userId);
  bool IsUserBlocked(const std::string& record) const;
  // Asks, then adds the user to the blocked list and saves it.
  void BlockUser(const std::string& userId, const std::string& userName);
  // Takes the user off the blocked list and saves it; a failure is reported
  // and answers false (the user stays blocked).
  bool UnblockUser(const std::string& userId);
  // Checking for updates and for messages, the own profile page and the web
  // and support pages are the session's; the other commands go to the
  // windows' handlers.
  void RunWindowCommand(TWindowCommand command);
  // "Parlo on the Web" and "Parlo Support": the home and the support page.
  void ActionVantorelWebExecute();
  void ActionVantorelSupportExecute();
  // 9019 for the random-contact window; false (nothing sent) while not connected.
  bool RequestRandomContact();

  void ShowHelpTopic(int topic);
  // The user's profile page on the directory server's web host.
  void ShowUserProfilePage(const std::string& userId, const std::string& userName);
  // The page in the user's browser, whatever its host; when no browser takes
  // the page, the user is told.
  void OpenURL(const std::string& address);

  // ----- the status bar's state ------------------------------------------------------
  const std::string& StatusText() const { return statusText_; }
  void SetStatusText(const std::string& text);
  int ServerImage() const { return serverImage_; }
  void SetServerImage(int image);
  int ListenerImage() const { return listenerImage_; }
  void SetListenerImage(int image);

  // ----- end ---------------------------------------------------------------------------
  bool Closing() const { return closing_; }
  // The program must end (a cancelled registration, a wrong start-up
  // password): Closing is set and EndRequested raised; the main window closes.
  void RequestEnd();
  // The first half of the exit: nothing starts any more, and the stores are
  // saved (the groups, the settings when they were ever loaded, the tables),
  // once, before anything that can take long: a hard stop after a signal
  // must never cut a save short.
  void BeginExit();
  // The second half, once the other windows are closed: the listener and the
  // link closed.
  void FinishExit();
  // The very end: the listener stopped and the link dropped at once.
  void CloseLinks();
  // After an uncaught exception: everything stops, nothing is saved.
  void Abandon();

  // A modal window of the log-on (start-up password, account password,
  // registration) is open: the keep-alive leaves the link alone.
  bool DialogOpen = false;

  platform::TSignal<std::string> StatusTextChanged;
  platform::TSignal<int> ServerImageChanged;
  platform::TSignal<int> ListenerImageChanged;
  // The peer listener's state (wsConnecting, wsListening, wsClosed).
  platform::TSignal<TSocketState> ListenerStateChanged;
  // UserID changed: the caption follows.
  platform::TSignal<> IdentityChanged;
  platform::TSignal<> GroupsChanged;
  platform::TSignal<> ProfilesChanged;
  // An entry was added to or taken off BlockedList.
  platform::TSignal<> BlockedChanged;
  platform::TSignal<> EndRequested;

 private:
  void RoutePeerRequest(TPeerRequest& request);
  void CallPrivateChat(const TContact& contact, std::optional<TContactListKind> list);
  void NotAvailableYet(const std::string& command);

  TPrompts& prompts_;
  TRouter router_;
  std::unique_ptr<TPaths> paths_;
  std::unique_ptr<TDBStuff> db_;
  std::unique_ptr<TPeerListener> listener_;
  std::unique_ptr<TDirectoryLink> link_;
  std::unique_ptr<TUpdateCheck> updates_;
  std::unique_ptr<TRelayedMessages> messages_;
  // The browser's answer may come after the session has gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::string statusText_;
  int serverImage_ = 0, listenerImage_ = 0;
  bool closing_ = false;
  bool settingsLoaded_ = false;
  bool storesSaved_ = false;
};
