#include "core/session/DirectoryLink.h"

#include <limits>

#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/FlagGuard.h"
#include "core/session/Paths.h"
#include "core/session/Prompts.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/ErrorSink.h"
#include "platform/StringList.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"
#include "transport/NetSocketFunctions.h"
#include "transport/ParloSocket.h"

namespace {

// A 9010 listing of ten thousand users is well under a megabyte; the limit
// leaves room for long names while still bounding what a server can make us hold.
constexpr int kServerLineLimit = 4 << 20;

constexpr int kFriendStatusSound = 8;

// The server lists every user it likes in a friends refresh, and each one
// unknown so far is added; no real user has this many friends, and past it
// the list (and every view of it) would grow for as long as the server sends.
constexpr int kFriendsLimit = 10000;
// A group's listing shown: more rows than anyone scrolls through, and each
// one held while the listing is shown.
constexpr int kListingLimit = 10000;

}  // namespace

TDirectoryLink::TDirectoryLink(TSession& session)
    : session_(session), listServ_(std::make_unique<TParloSocket>()) {
  listServ_->SetName("ListServ");
  listServ_->LineLimit = kServerLineLimit;
  listServ_->ComponentOptions.Include(wsoTcpNoDelay);
  listServ_->OnDataAvailable = [this](TCustomNetSocket*, int error) { ListServDataAvailable(error); };
  listServ_->OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState s) { ListServChangeState(s); };
  listServ_->OnSessionClosed = [this](TCustomNetSocket*, int) {
    // A keep-alive mark left by a link that died before its listing came
    // would answer the next log-on's listing 9013, and the status would never be sent.
    KeepAlivePending = false;
    registrationAsked_ = false;
  };
  listServ_->OnError = [](TCustomNetSocket* s) { ReportSocketError(*s, s->LastError()); };
  listServ_->OnBgException = [](TCustomNetSocket* s, const std::exception& e, bool&) {
    LogError(s->PeerAddr(), s->PeerPort(), std::string("Winsock Exception ") + e.what());
  };
  listServ_->OnLineLimitExceeded = [](TCustomNetSocket* s, int, bool& clear) {
    LogError(s->PeerAddr(), s->PeerPort(), "Server Data Error");
    clear = true;
  };
  TimerAlive.SetEnabled(false);
  TimerAlive.SetInterval(testhooks::IntervalMs("PARLO_TEST_ALIVE_MS", kAliveInterval));
  TimerAlive.OnTimer = [this](TTimer*) { TimerAliveTimer(); };
}

TDirectoryLink::~TDirectoryLink() {
  TimerAlive.SetEnabled(false);
  // The handlers point into the session, which is half gone by now.
  listServ_->DropHandlers();
  listServ_->Abort();
}

bool TDirectoryLink::Connected() const { return listServ_->State() == wsConnected; }

void TDirectoryLink::Send(int code, const std::string& params) { listServ_->SendCommand(code, params, ""); }

void TDirectoryLink::EnableKeepAlive(bool on) { TimerAlive.SetEnabled(on); }

void TDirectoryLink::SetAliveInterval(int ms) { TimerAlive.SetInterval(ms); }

// ----- actions --------------------------------------------------------------------

void TDirectoryLink::ConnectToServer() {
  TSettings& s = session_.Settings;
  listServ_->Close();
  KeepAlivePending = false;
  registrationAsked_ = false;
  serverAddr_ = s.ServerIP;
  serverPort_ = s.ServerPort;
  try {
    // Line mode from the start: frames that arrive together are read one by
    // one and a frame split across reads is joined.
    listServ_->SetLineEnd("\r\n");
    listServ_->SetLineMode(true);
    listServ_->ConnectTcp(s.ServerIP, s.ServerPort);
  } catch (const std::exception& e) {
    // A server address or port that cannot be resolved raises here, from a
    // menu, a window's answer or the keep-alive: nothing may leave the action.
    LogError(s.ServerIP, s.ServerPort, std::string("Connecting to the server: ") + e.what());
    listServ_->Close();
  }
}

void TDirectoryLink::ActionServerConnectExecute() {
  // The keep-alive may fire while a window of this action is open: never a
  // second one.
  if (inConnectAction_ || session_.DialogOpen || session_.Closing()) return;
  TFlagGuard busy(inConnectAction_);
  const TSettings& s = session_.Settings;
  if (!s.HasUserID) {
    ShowRegistration();
  } else if (!s.RemUserPass || s.UserPass.empty()) {
    AskAccountPassword();
  } else if (!Connected()) {
    ListingOnly = false;
    ConnectToServer();
  }
}

void TDirectoryLink::AskAccountPassword() {
  TSettings& s = session_.Settings;
  TPasswordQuestion question;
  question.Prompt = "Please enter the password to be used for your account...";
  question.Remember = s.RemUserPass;
  if (s.RemUserPass) question.Password = s.UserPass;
  bool answered = false;
  {
    TFlagGuard open(session_.DialogOpen);
    testhooks::Trace("password prompt");
    answered = session_.Prompts().AskPassword(question);
  }
  if (!answered || session_.Closing()) return;
  s.UserPass = question.Password;
  s.RemUserPass = question.Remember;
  TReg::WriteString(TReg::SettingsSection, "UserPass", s.RemUserPass ? s.UserPass : std::string());
  TReg::WriteBool(TReg::SettingsSection, "RemUserPass", s.RemUserPass);
  ConnectToServer();
}

void TDirectoryLink::ShowRegistration() {
  TRegistrationHost host;
  host.SetAccountPassword = [this](const std::string& password) {
    session_.Settings.UserPass = password;
    session_.Settings.RemUserPass = true;
  };
  host.SetUserID = [this](const std::string& userId) { session_.SetUserID(userId); };
  host.ShowHelpTopic = [this](int topic) { session_.ShowHelpTopic(topic); };
  bool registered = false;
  {
    TFlagGuard open(session_.DialogOpen);
    registered = session_.Prompts().AskRegistration(session_.DB(), std::move(host));
  }
  if (session_.Closing()) return;
  if (!registered) {
    session_.RequestEnd();
    return;
  }
  ConnectToServer();
}

void TDirectoryLink::ActionFullListingExecute() {
  if (!session_.Settings.HasUserID) {
    ShowRegistration();
  } else if (Connected()) {
    Send(cmd::ListingRequest, session_.Settings.CurrentGroup);
  } else {
    ListingOnly = true;
    ConnectToServer();
  }
}

void TDirectoryLink::ActionServerDisconnectExecute() { listServ_->Close(); }

void TDirectoryLink::TimerAliveTimer() {
  if (session_.Closing()) return;
  const TSettings& s = session_.Settings;
  if (Connected()) {
    KeepAlivePending = true;
    Send(cmd::KeepAlive, session_.DB().FriendIdList());
    return;
  }
  if (s.AutoLogon) ActionServerConnectExecute();
}

// ----- receiving ------------------------------------------------------------------------

void TDirectoryLink::ListServDataAvailable(int error) {
  if (error != 0) {
    LogError(listServ_->PeerAddr(), listServ_->PeerPort(), "Server Data Error");
    listServ_->CloseDelayed();
    return;
  }
  const std::string received = listServ_->ReceiveStr();
  if (received.empty()) return;
  try {
    ProcessServerData(TCmdParser::CleanLine(received));
  } catch (const std::exception&) {
    LogError(listServ_->PeerAddr(), listServ_->PeerPort(), "Processing Server Command");
    listServ_->Close();
  }
}

void TDirectoryLink::ProcessServerData(const std::string& line) {
  int code = 0;
  std::string params, text;
  code = TCmdParser::ExtractCommand(line);
  params = TCmdParser::ExtractParameters(line);
  text = TCmdParser::ExtractCommandText(line);
  if (Connected()) ProcessServerCommand(code, params, text);
}

void TDirectoryLink::SendLogon() {
  const TSettings& s = session_.Settings;
  Send(cmd::Logon, s.UserID + "," + s.UserPass);
}

void TDirectoryLink::ProcessServerCommand(int code, const std::string& params, const std::string& text) {
  TSettings& s = session_.Settings;
  switch (code) {
    case cmd::ServerHello:
      session_.SetStatusText("Connected to server...");
      s.ListenIP = params;
      session_.SetServerImage(1);
      if (s.HasUserID) {
        session_.SetStatusText("Sending logon info...");
        SendLogon();
      } else {
        session_.SetStatusText("Sending password...");
        Send(cmd::Register, s.UserPass);
        registrationAsked_ = true;
      }
      break;
    case cmd::Registered:
      // Only the answer to this connection's 9001 may set the account: at
      // any other time it would let the server replace or wipe the stored
      // id and password.
      if (!registrationAsked_) {
        listServ_->Close();
        break;
      }
      registrationAsked_ = false;
      if (HandleRegistrationReply(params)) {
        session_.SetStatusText("Regsitered Sending logon...");
        SendLogon();
      } else {
        listServ_->Close();
        TReg::WriteString(TReg::SettingsSection, "UserID", "");
        TReg::WriteString(TReg::SettingsSection, "UserPass", "");
        session_.Prompts().ShowError("There was an error in the registration process.", "Registration Error");
        if (!session_.Closing()) ShowRegistration();
      }
      break;
    case cmd::ProfileAsked:
      session_.SetStatusText("Sending profile data...");
      Send(cmd::Profile,
           session_.DB().BuildProfileRecord(s.CurrentProfile, s.UserID, s.CurrentGroup, s.StatusMode, s.ListenPort, ""));
      break;
    case cmd::FriendsAsked:
      session_.SetStatusText("Sending friend list...");
      Send(cmd::FriendIds, session_.DB().FriendIdList());
      break;
    case cmd::FriendStates:
      MarkFriendsOffline();
      FillContactList(session_.Friends, params);
      TraceContacts(session_.Friends);
      session_.SetStatusText("Checking messages...");
      Send(cmd::ListingRequest, s.CurrentGroup);
      break;
    case cmd::Listing: {
      session_.SetStatusText("");
      {
        TContactsUpdate batch(session_.Online);
        session_.Online.Clear();
        FillContactList(session_.Online, params);
      }
      TraceContacts(session_.Online);
      if (KeepAlivePending) {
        KeepAlivePending = false;
        Send(cmd::ListingTaken, "");
      } else if (ListingOnly) {
        listServ_->Close();
      } else {
        Send(cmd::Status, std::to_string(s.StatusMode));
      }
      break;
    }
    case cmd::MessageIn:
      if (session_.IsUserBlocked(params)) {
        testhooks::Trace("message blocked");
        break;
      }
      // Cleared first: only the notice that the message windows are full
      // sets a text on this road, and it stays in view.
      session_.SetStatusText("");
      IncomingMessage(params);
      break;
    case cmd::LogonDone:
      Send(cmd::LogonDoneTaken, "");
      Send(cmd::ListingTaken, "");
      if (s.AutoUpdate) Send(cmd::UpdateRequest, "");
      LoggedOn();
      break;
    case cmd::UserUpdate:
      UpdateOnlineList(params);
      TraceContacts(session_.Friends);
      break;
    case cmd::RandomFound:
      ShowRandomContact(params);
      break;
    case cmd::RandomNone:
      ShowNoRandomContact();
      break;
    case cmd::UpdateInfo:
      UpdateInformation(params);
      break;
    case cmd::PhotoAnswer:
      PhotoAnswer(params, text);
      break;
    case cmd::Ping:
      Send(cmd::Pong, "");
      break;
    case cmd::InvalidLogon:
      ShowInvalidLogon();
      break;
    case cmd::FriendsRefresh:
      MarkFriendsOffline();
      FillContactList(session_.Friends, params);
      TraceContacts(session_.Friends);
      Send(cmd::Pong, "");
      break;
    default:
      listServ_->Close();
      break;
  }
}

bool TDirectoryLink::HandleRegistrationReply(const std::string& params) {
  TStringList lines;
  std::string text = params;
  for (char& c : text)
    if (c == ',') c = '\r';
  lines.SetText(text);
  if (lines.Count() < 2 || lines[0].empty()) {
    TReg::WriteString(TReg::SettingsSection, "UserID", "");
    TReg::WriteString(TReg::SettingsSection, "UserPass", "");
    return false;
  }
  TSettings& s = session_.Settings;
  s.UserPass = lines[1];
  TReg::WriteString(TReg::SettingsSection, "UserID", lines[0]);
  TReg::WriteString(TReg::SettingsSection, "UserPass", s.UserPass);
  session_.SetUserID(lines[0]);
  return true;
}

void TDirectoryLink::ShowInvalidLogon() {
  listServ_->Close();
  testhooks::Trace("invalid logon");
  // The keep-alive tries again after the box is gone, not into a pile of boxes.
  TFlagGuard open(session_.DialogOpen);
  session_.Prompts().ShowError(
      "You have tried to logon with an Invalid User ID and Password, please correct this and try again.",
      "Invalid Username or Password");
}

void TDirectoryLink::ListServChangeState(TSocketState newState) {
  switch (newState) {
    case wsInvalidState:
    case wsClosed:
      session_.SetServerImage(0);
      session_.SetStatusText("Server connection closed");
      break;
    case wsConnecting:
      session_.SetServerImage(2);
      session_.SetStatusText("Connecting to server...");
      break;
    case wsConnected:
      session_.SetServerImage(1);
      session_.SetStatusText("Retrieving information...");
      break;
    default:
      break;
  }
  StateChanged(newState);
}

// ----- contact lists -------------------------------------------------------------------

void TDirectoryLink::MarkFriendsOffline() { MarkAllOffline(session_.Friends); }

void TDirectoryLink::FillContactList(TContacts& list, const std::string& userList) {
  const bool friends = &list == &session_.Friends;
  const int limit = friends ? kFriendsLimit : kListingLimit;
  const int dropped = MergeUserList(list, userList, [this](const std::string& record) { UpdateFriend(record); }, limit);
  if (dropped == 0) return;
  if (friends) {
    LogError(serverAddr_, serverPort_,
             "The friends list holds no more than " + std::to_string(kFriendsLimit) + " users; " +
                 std::to_string(dropped) + " more listed by the server were left out");
    return;
  }
  const std::string notice = "The group lists more users than can be shown: the first " +
                             std::to_string(kListingLimit) + " are listed";
  if (!listingCutSaid_) LogError(serverAddr_, serverPort_, notice);
  listingCutSaid_ = true;
  session_.SetStatusText(notice);
}

void TDirectoryLink::UpdateOnlineList(const std::string& record) { UpdateFriend(record); }

void TDirectoryLink::UpdateFriend(const std::string& record) {
  TUserRecord r;
  if (!TUserRecord::Parse(record, r)) return;
  session_.DB().UpdateFriend(r.UserID, r.UserName, r.ListenIP, r.ListenPort);
  TContacts& friends = session_.Friends;
  if (friends.Count() > 0) {
    const TContacts::Key key = friends.FindById(r.UserID);
    if (key == 0) return;
    if (ChangeContactItem(friends, key, r) && !KeepAlivePending) session_.Paths().PlayEventSound(kFriendStatusSound);
    return;
  }
  TContact c{r.UserName, -1, "", r.ListenIP, r.ListenPort, r.UserID, r.Online};
  if (r.StatusMode == "2" || r.Online == "0") {
    c.Status = "Offline";
  } else if (const int mode = r.Mode(); mode >= 0) {
    c.Image = mode;
    c.Status = StatusText[mode];
  }
  friends.Add(std::move(c));
  session_.Paths().PlayEventSound(kFriendStatusSound);
}
