#include "core/session/Session.h"

#include <algorithm>

#include "core/session/Blocked.h"
#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/ErrorLog.h"
#include "core/session/FlagGuard.h"
#include "core/session/Paths.h"
#include "core/session/PeerListener.h"
#include "core/session/ProgramVersion.h"
#include "core/session/Prompts.h"
#include "core/session/Reg.h"
#include "core/session/RelayedMessages.h"
#include "core/session/TestHooks.h"
#include "core/session/UpdateCheck.h"
#include "platform/FileNames.h"
#include "platform/IniStore.h"
#include "platform/Strings.h"
#include "transport/CommandCodes.h"

namespace {

// What the log says of a contact command whose window is not there.
const char* CommandName(TContactCommand command) {
  switch (command) {
    case TContactCommand::PrivateChat:
      return "Private chat";
    case TContactCommand::Message:
      return "Send message";
    case TContactCommand::History:
      return "Show history";
    case TContactCommand::Profile:
      return "View profile";
    case TContactCommand::AddFriend:
    case TContactCommand::DeleteFriend:
      return "Friend list";
    case TContactCommand::Block:
      return "Block";
    case TContactCommand::SendFile:
      return "Send files";
    case TContactCommand::SendImage:
      return "Send image";
    case TContactCommand::SendSound:
      return "Send sound file";
    case TContactCommand::CamView:
      return "Request to view cam";
    case TContactCommand::CamBroadcast:
      return "Send cam broadcast";
    case TContactCommand::InviteToChat:
      break;
  }
  return "Invite to multi-chat";
}

// A store that cannot be read must not keep the program from starting. It is
// kept aside, so that saving the list at exit cannot overwrite what the user
// may still recover from it.
bool LoadStore(TStringList& list, const std::string& file) {
  if (!platform::FileExists(file)) return false;
  try {
    list.LoadFromFile(file);
    return true;
  } catch (const std::exception& e) {
    const std::string aside = file + ".bad";
    platform::DeleteFile(aside);
    const bool kept = platform::RenameFile(file, aside);
    LogError("None", "None",
             "Cannot read " + file + ": " + e.what() + (kept ? "; kept as " + aside : "") + "; starting empty");
    list.Clear();
    return false;
  }
}

}  // namespace

TSession::TSession(TPrompts& prompts) : prompts_(prompts), paths_(std::make_unique<TPaths>()) {
  TDBStuffHooks db;
  db.LogError = [](const std::string& message) { LogError("None", "None", message); };
  db.SetCurrentProfile = [this](const std::string& name) { Settings.CurrentProfile = name; };
  db.SetUserName = [this](const std::string& name) { Settings.UserName = name; };
  db.RefreshProfileList = [this] { ProfilesChanged(); };
  db.AddFriendItem = [this](const std::string& caption, const std::vector<std::string>& sub) {
    auto at = [&sub](size_t i) { return i < sub.size() ? sub[i] : std::string(); };
    Friends.Add(TContact{caption, -1, at(0), at(1), at(2), at(3), at(4)});
  };
  db.ShowInformation = [this](const std::string& text, const std::string& caption) {
    prompts_.ShowInformation(text, caption);
  };
  db.ShowProgress = [this](const std::string& caption, const std::string& text, int maximum) {
    prompts_.ShowProgress(caption, text, maximum);
  };
  db.SetProgress = [this](int position) { prompts_.SetProgress(position); };
  db.HideProgress = [this] { prompts_.HideProgress(); };
  db_ = std::make_unique<TDBStuff>(platform::PathFromName(paths_->DataPath), std::move(db));

  TPeerListenerHooks h;
  h.LogError = [](const std::string& addr, const std::string& port, const std::string& message) {
    LogError(addr, port, message);
  };
  h.StateChanged = [this](int state, const std::string& port) {
    if (state == wsConnecting) {
      SetStatusText("Connecting... ");
      SetListenerImage(2);
    } else if (state == wsListening) {
      SetStatusText("Online-Listening Port: " + port);
      SetListenerImage(1);
    } else if (state == wsClosed) {
      SetStatusText("Offline...");
      SetListenerImage(0);
    }
    ListenerStateChanged(static_cast<TSocketState>(state));
    if (state == wsListening) testhooks::Trace("listening");
  };
  h.Settings = [this] {
    TPeerAnswerSettings s;
    s.StatusMode = Settings.StatusMode;
    s.BusyMessage = db_->BusyMessage();
    s.AwayText = Settings.AwayText;
    s.UnavText = Settings.UnavText;
    s.AutoPChat = Settings.AutoPChat;
    s.AutoPChatOnly = Settings.AutoPChatOnly;
    return s;
  };
  h.IsUserBlocked = [this](const std::string& record) { return IsUserBlocked(record); };
  h.IsFriend = [this](const std::string& id, const std::string& address) { return db_->IsFriendAt(id, address); };
  h.PlayEventSound = [this](int event) { paths_->PlayEventSound(event); };
  h.AskRequest = [this](const std::string& record, std::function<void(int)> answered) {
    testhooks::Trace("request dialog");
    TChatRequestQuestion question;
    question.Record = record;
    question.BusyTimer = Settings.BusyTimer;
    question.PlayEventSound = [this](int event) { paths_->PlayEventSound(event); };
    question.BlockUser = [this](const std::string& id, const std::string& name) { BlockUser(id, name); };
    return prompts_.AskChatRequest(question, std::move(answered));
  };
  h.ShowInformation = [this](const std::string& text, const std::string& caption) {
    prompts_.ShowInformation(text, caption);
  };
  h.Route = [this](TPeerRequest& request) { RoutePeerRequest(request); };
  listener_ = std::make_unique<TPeerListener>(std::move(h));
  listener_->SetIdleTimeout(testhooks::IntervalMs("PARLO_TEST_PEER_IDLE_MS", TPeerListener::kDefaultIdleMs));

  link_ = std::make_unique<TDirectoryLink>(*this);
  updates_ = std::make_unique<TUpdateCheck>(*this);
  messages_ = std::make_unique<TRelayedMessages>(*this);
}

TSession::~TSession() {
  // The link and the listener call into the rest: they go first.
  messages_.reset();
  updates_.reset();
  link_.reset();
  listener_.reset();
}

TContacts& TSession::List(TContactListKind kind) {
  switch (kind) {
    case TContactListKind::Friends:
      return Friends;
    case TContactListKind::Online:
      return Online;
    case TContactListKind::Incoming:
      break;
  }
  return Incoming;
}

// ----- start ----------------------------------------------------------------------------

void TSession::LoadCurrentSelections() {
  settingsLoaded_ = true;
  Settings.LoadCurrentSelections();
  LoadSettings();
}

void TSession::LoadSettings() {
  settingsLoaded_ = true;
  Settings.Load();
  paths_->NoSound = TReg::ReadSettingBool("NoSound");
  for (int i = 0; i < SoundEventCount; ++i)
    paths_->EventSounds[static_cast<size_t>(i)] = TReg::ReadSettingString(SoundEvent[i].Value);
}

void TSession::SaveSettings() { Settings.Save(); }

void TSession::CreateLocalStores() {
  BlockedPath = paths_->BlockedFile;
  GroupsPath = paths_->GroupsFile;
  LoadStore(BlockedList, BlockedPath);
  SavedMessages = std::make_unique<platform::IniStore>(
      paths_->MessagesFile, [](const std::string& message) { LogError("None", "None", message); });
  // Without the file no group is offered; the current group stays what the
  // settings say ("General" at first) until the user makes one.
  LoadStore(GroupsList, GroupsPath);
  GroupsChanged();
  Settings.NoVideoDevice = false;
  Settings.DirectXMissing = false;
  SetStatusText("Offline...");
  SetServerImage(0);
  SetListenerImage(0);
}

bool TSession::StartAfterShow() {
  if (!CheckStartupPassword()) return false;
  // Only a user who passed the start-up password may be reached by peers.
  if (Settings.AutoListen) StartListening();
  {
    TContactsUpdate batch(Friends);
    db_->ShowFriendsOffline();
  }
  TraceContacts(Friends);
  link_->EnableKeepAlive(true);
  if (Settings.AutoLogon) link_->ActionServerConnectExecute();
  return !closing_;
}

bool TSession::CheckStartupPassword() {
  if (!Settings.RequireStartPass) return true;
  bool ok = false;
  {
    TPasswordQuestion question;
    question.Remember = Settings.RemStartPass;
    question.CheckMode = true;
    question.Expected = Settings.StartupPass;
    question.Password = Settings.RemStartPass ? Settings.StartupPass : std::string();
    question.Prompt = "Please enter your startup passowrd...";
    TFlagGuard open(DialogOpen);
    const bool answered = prompts_.AskPassword(question);
    ok = answered && question.Password == Settings.StartupPass && !closing_;
    if (ok) {
      Settings.RemStartPass = question.Remember;
      TReg::WriteString(TReg::SettingsSection, "StartupPass", Settings.StartupPass);
      TReg::WriteBool(TReg::SettingsSection, "RemStartPass", Settings.RemStartPass);
    }
  }
  if (!ok) RequestEnd();
  return ok;
}

void TSession::StartListening() {
  if (listener_->State() == wsListening) return;
  try {
    listener_->Start(Settings.ListenPort);
  } catch (const std::exception&) {
    LogError("", "", "Starting Server Listen");
    listener_->SSocketErrorHandler(listener_->Socket(), listener_->Socket().LastError());
    SetListenerImage(0);
    SetStatusText("Offline...");
  }
}

void TSession::StopListening() { listener_->Stop(); }

std::string TSession::Caption() const {
  return Settings.UserID.empty() ? std::string("Parlo - Unregistered") : "Parlo - " + Settings.UserID;
}

void TSession::SetUserID(const std::string& userId) {
  Settings.UserID = userId;
  Settings.HasUserID = true;
  IdentityChanged();
}

// ----- status, group, profile -------------------------------------------------------------

void TSession::SetStatusMode(int mode) {
  Settings.StatusMode = std::clamp(mode, 0, 4);
  link_->Send(cmd::Status, std::to_string(Settings.StatusMode));
  testhooks::Trace("status " + std::to_string(Settings.StatusMode));
}

void TSession::OfferGroupListing() {
  if (!link_->Connected()) return;
  const bool all = prompts_.AskYesNo("Would you like to download the full listing for this group?",
                                     "Download Listing?", false);
  if (closing_) return;
  if (all) link_->ActionFullListingExecute();
  else link_->Send(cmd::RandomRequest, Settings.CurrentGroup);
}

TNewGroupOutcome TSession::AddGroup(const std::string& name) {
  std::vector<std::string> existing;
  for (int i = 0; i < GroupsList.Count(); ++i) existing.push_back(GroupsList[i]);
  const TNewGroupOutcome outcome = CheckNewGroup(name, existing);
  if (outcome != TNewGroupOutcome::Added) return outcome;
  GroupsList.Add(name);
  SaveGroups();
  Settings.CurrentGroup = name;
  GroupsChanged();
  return outcome;
}

void TSession::SaveGroups() {
  try {
    GroupsList.SaveToFile(GroupsPath.empty() ? paths_->GroupsFile : GroupsPath);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the groups: ") + e.what());
  }
}

void TSession::SelectProfile(const std::string& name) {
  db_->SelectProfile(name);
  if (link_->Connected()) link_->ConnectToServer();
}

// ----- contacts ---------------------------------------------------------------------------------

void TSession::RunContactCommand(TContactCommand command, const TContact& contact,
                                 std::optional<TContactListKind> list) {
  switch (command) {
    case TContactCommand::PrivateChat:
      if (contact.UserName.empty() || contact.ListenIP.empty() || contact.ListenPort.empty()) return;
      break;
    case TContactCommand::Block:
      BlockUser(contact.UserID, contact.UserName);
      return;
    case TContactCommand::Profile:
      ShowUserProfilePage(contact.UserID, contact.UserName);
      return;
    case TContactCommand::AddFriend:
      AddFriend(contact.UserID, contact.UserName, contact.ListenIP, contact.ListenPort);
      return;
    case TContactCommand::DeleteFriend:
      // The list may have been filled anew while the question was open: the
      // entry is found again by its id, never by where it stood.
      if (DeleteFriend(contact.UserID))
        while (const TContacts::Key key = Friends.FindById(contact.UserID)) Friends.Remove(key);
      return;
    case TContactCommand::History:
      ShowHistoryFor(contact.UserID);
      return;
    default:
      if (!router_.RunContactCommand(TContactCall{command, contact, list, {}})) NotAvailableYet(CommandName(command));
      return;
  }
  CallPrivateChat(contact, list);
}

void TSession::OpenPrivateChat(const std::string& user, const std::string& port, const std::string& ip) {
  TContact contact;
  contact.UserName = user;
  contact.ListenIP = ip;
  contact.ListenPort = port;
  CallPrivateChat(contact, std::nullopt);
}

void TSession::OpenPrivateChatWithFriend() {
  const platform::Dataset& friends = db_->Friends;
  OpenPrivateChat(friends.FieldValue("UserName"), friends.FieldValue("ListenPort"), friends.FieldValue("ListenIP"));
}

void TSession::ShowHistoryFor(const std::string& userId) {
  TContactCall call{TContactCommand::History, {}, std::nullopt, {}};
  call.Contact.UserID = userId;
  if (!router_.RunContactCommand(call)) NotAvailableYet(CommandName(call.Command));
}

void TSession::CallPrivateChat(const TContact& contact, std::optional<TContactListKind> list) {
  std::string greeting = db_->ProfileGreeting();
  if (!prompts_.AskGreeting(contact.UserName, greeting) || closing_) return;
  const TContactCall call{TContactCommand::PrivateChat, contact, list, greeting};
  if (!router_.RunContactCommand(call)) NotAvailableYet(CommandName(call.Command));
}

bool TSession::AddFriend(const std::string& userId, const std::string& userName, const std::string& ip,
                         const std::string& port) {
  try {
    if (!db_->AddFriend(userId, userName, ip, port)) return false;
  } catch (const std::exception& e) {
    // Kept for this run; the friends file gets it with the next save.
    LogError("None", "None", std::string("Adding a friend: ") + e.what());
  }
  // The friends list shows the new friend once the server names it.
  if (link_->Connected()) link_->Send(cmd::FriendIds, db_->FriendIdList());
  return true;
}

bool TSession::DeleteFriend(const std::string& userId) {
  if (!prompts_.AskYesNo("This will delete this friend from your list and all history, continue?", "Confirm Delete",
                         false) ||
      closing_)
    return false;
  prompts_.ShowBusyCursor(true);
  try {
    db_->DeleteFriend(userId);
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Deleting a friend: ") + e.what());
  }
  prompts_.ShowBusyCursor(false);
  return true;
}

bool TSession::IsUserBlocked(const std::string& record) const { return TBlockedUsers::IsUserBlocked(BlockedList, record); }

void TSession::BlockUser(const std::string& userId, const std::string& userName) {
  try {
    const bool added =
        TBlockedUsers::BlockUser(BlockedList, BlockedPath, userId, userName, [this](const std::string& name) {
          return prompts_.AskYesNo(TBlockedUsers::ConfirmationText(name), TBlockedUsers::kConfirmationCaption, false);
        });
    if (added) BlockedChanged();
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Blocking a user: ") + e.what());
    // The entry holds for this run although the file missed it.
    BlockedChanged();
    prompts_.ShowError("The blocked-users list could not be saved, so the user is blocked only until Parlo "
                       "closes.\r\n" + std::string(e.what()),
                       "Blocked Users");
  }
}

bool TSession::UnblockUser(const std::string& userId) {
  try {
    if (TBlockedUsers::Remove(BlockedList, BlockedPath.empty() ? paths_->BlockedFile : BlockedPath, userId))
      BlockedChanged();
    return true;
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the blocked users: ") + e.what());
    prompts_.ShowError("The blocked-users list could not be saved, so the user is still blocked.\r\n" +
                           std::string(e.what()),
                       "Blocked Users");
    return false;
  }
}

// The commands that open no window are the session's own.
void TSession::RunWindowCommand(TWindowCommand command) {
  switch (command) {
    case TWindowCommand::CheckUpdates:
      updates_->CheckForUpdates();
      return;
    case TWindowCommand::CheckMessages:
      messages_->CheckMessages();
      return;
    case TWindowCommand::ViewMyProfile:
      ShowUserProfilePage(Settings.UserID, Settings.UserName);
      return;
    case TWindowCommand::Web:
      ActionVantorelWebExecute();
      return;
    case TWindowCommand::Support:
      ActionVantorelSupportExecute();
      return;
    default:
      router_.RunWindowCommand(command);
      return;
  }
}

void TSession::ActionVantorelWebExecute() { OpenURL(HomePage()); }

void TSession::ActionVantorelSupportExecute() { OpenURL(SupportPage()); }

bool TSession::RequestRandomContact() {
  if (!link_->Connected()) return false;
  link_->Send(cmd::RandomRequest, "");
  return true;
}

void TSession::RoutePeerRequest(TPeerRequest& request) {
  if (router_.RoutePeerRequest(request)) return;
  TParloSocket& socket = request.Socket();
  if (request.Code() == cmd::ChatRequest) {
    LogError(socket.PeerAddr(), socket.PeerPort(), "Private chat: not available yet; the request is closed");
    testhooks::Trace("private chat hand-over");
    return;
  }
  LogError(socket.PeerAddr(), socket.PeerPort(),
           "Peer request " + std::to_string(request.Code()) + ": not available yet");
  testhooks::Trace("peer request " + std::to_string(request.Code()));
}

void TSession::NotAvailableYet(const std::string& command) {
  LogError("None", "None", command + ": not available yet");
  testhooks::Trace("not available yet: " + command);
}

void TSession::ShowHelpTopic(int topic) { OpenURL(HelpPage(topic)); }

void TSession::ShowUserProfilePage(const std::string& userId, const std::string&) {
  OpenURL("http://" + Settings.ServerIP + "/cgi-bin/profiles.exe/user?" + userId);
}

void TSession::OpenURL(const std::string& address) {
  std::weak_ptr<bool> alive = alive_;
  prompts_.OpenURL(address, [this, alive, address](bool opened) {
    if (opened || alive.expired() || closing_) return;
    // Any other address could start a program, so it is never handed on.
    const std::string scheme = platform::LowerCase(address.substr(0, address.find(':')));
    if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "mailto") {
      prompts_.ShowError("Only web, ftp and mail addresses are opened, not this one:\r\n" + address,
                         "Page Not Opened");
      return;
    }
    // Without a browser nothing at all would happen: the user hears it.
    LogError("None", "None", "No browser took the page " + address);
    prompts_.ShowError("No web browser could be started for the page\r\n" + address +
                           "\r\nPlease open it in your browser yourself.",
                       "Page Not Opened");
  });
}

// ----- the status bar's state ---------------------------------------------------------------------

void TSession::SetStatusText(const std::string& text) {
  statusText_ = text;
  StatusTextChanged(text);
}

void TSession::SetServerImage(int image) {
  serverImage_ = image;
  ServerImageChanged(image);
}

void TSession::SetListenerImage(int image) {
  listenerImage_ = image;
  ListenerImageChanged(image);
}

// ----- end ----------------------------------------------------------------------------------------

void TSession::RequestEnd() {
  closing_ = true;
  EndRequested();
}

void TSession::BeginExit() {
  closing_ = true;
  link_->EnableKeepAlive(false);
  if (storesSaved_) return;
  storesSaved_ = true;
  SaveGroups();
  try {
    if (settingsLoaded_) SaveSettings();
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Saving the settings: ") + e.what());
  }
  db_->SaveAtExit();
}

void TSession::FinishExit() {
  listener_->Stop();
  link_->Socket().Close();
}

void TSession::CloseLinks() {
  listener_->Stop();
  link_->Socket().Abort();
}

void TSession::Abandon() {
  closing_ = true;
  link_->EnableKeepAlive(false);
}
