#pragma once

#include <memory>
#include <string>

#include "platform/Signal.h"
#include "platform/Timer.h"
#include "transport/NetSocket.h"

class TContacts;
class TParloSocket;
class TSession;

// The connection to the directory server, ListServ: registering or logging
// on, publishing the profile and status, the friends' states and the group
// listing, the keep-alive and the answers to what the server pushes. It fills
// the session's friends and online lists and raises events for what other
// windows handle (relayed messages, random contacts, update information, the
// photo upload's answer).
//
// The socket runs in line mode with CR LF ends from the first connect, so
// frames that arrive together are read one by one and one split across reads
// is joined.
class TDirectoryLink {
 public:
  static constexpr int kAliveInterval = 180000;

  explicit TDirectoryLink(TSession& session);
  ~TDirectoryLink();
  TDirectoryLink(const TDirectoryLink&) = delete;
  TDirectoryLink& operator=(const TDirectoryLink&) = delete;

  TParloSocket& Socket() { return *listServ_; }
  bool Connected() const;
  // One command to the server with an empty text; nothing while not connected.
  void Send(int code, const std::string& params);

  // ----- actions ------------------------------------------------------------
  // Close, then connect to ServerIP:ServerPort.
  void ConnectToServer();
  // "Connect to Server" (also the keep-alive's and the start's): registration
  // without an account, the password prompt without a remembered password,
  // else a connect unless connected already.
  void ActionServerConnectExecute();
  // "Retrieve Full Online listing": the listing now, or a connection that
  // only fetches it.
  void ActionFullListingExecute();
  void ActionServerDisconnectExecute();
  void AskAccountPassword();
  // The registration window; cancelled, the program ends.
  void ShowRegistration();

  // ----- keep-alive ------------------------------------------------------------
  // The timer runs from the end of the start-up; tests shorten its period.
  void EnableKeepAlive(bool on);
  void SetAliveInterval(int ms);
  void TimerAliveTimer();

  // ----- what the server sends ------------------------------------------------------
  void ProcessServerData(const std::string& line);
  void ProcessServerCommand(int code, const std::string& params, const std::string& text);
  // 9002's parameters: the new id and password are stored; false (and the
  // stored ones emptied) when they cannot be read.
  bool HandleRegistrationReply(const std::string& params);
  void ShowInvalidLogon();
  // One user's state (9016) into the friends list and the stored friend; the
  // other lists are not touched.
  void UpdateOnlineList(const std::string& record);
  // Every friend shown offline, before the server's states are filled in again.
  void MarkFriendsOffline();
  // A whole user list merged into a list: a user it holds already goes to
  // UpdateOnlineList (the friends list only), any other is added. The friends
  // list takes no more than kFriendsLimit users (what is left out is logged),
  // a group's listing kListingLimit (said once in the log; the status bar
  // says it while the listing is cut). The friends store is saved once for
  // the whole list.
  void FillContactList(TContacts& list, const std::string& userList);

  // Sends the keep-alive while connected, reconnects while not (AutoLogon).
  TTimer TimerAlive;
  bool KeepAlivePending = false;  // the next 9010 answers a keep-alive
  bool ListingOnly = false;       // the next 9010 ends the connection

  // The connection's state (wsConnecting, wsConnected, wsClosed ...).
  platform::TSignal<TSocketState> StateChanged;
  // 9014: the server has taken the log-on.
  platform::TSignal<> LoggedOn;
  // 9012 from a sender who is not blocked: the MessageRecord's first eight fields.
  platform::TSignal<std::string> IncomingMessage;
  // 9018: a random contact was found (the RandomContactRecord), for the open
  // random-contact window.
  platform::TSignal<std::string> ShowRandomContact;
  // 9020: no random contact.
  platform::TSignal<> ShowNoRandomContact;
  // 9026: the update information.
  platform::TSignal<std::string> UpdateInformation;
  // 9101: the answer to a profile photo upload (parameters, text).
  platform::TSignal<std::string, std::string> PhotoAnswer;

 private:
  void ListServDataAvailable(int error);
  void ListServChangeState(TSocketState newState);
  void SendLogon();
  // The friends list and the stored friend take one user's state.
  void UpdateFriend(const std::string& record);

  TSession& session_;
  std::unique_ptr<TParloSocket> listServ_;
  // A modal window of this link (registration, password) is open, or the
  // connect action runs: the keep-alive leaves the link alone.
  bool inConnectAction_ = false;
  bool listingCutSaid_ = false;
  // Where the link was last aimed: what its log entries name, also once
  // the socket has forgotten it.
  std::string serverAddr_, serverPort_;
  // This connection sent 9001 and waits for its 9002.
  bool registrationAsked_ = false;
};
