#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "chatrooms/RoomMembers.h"
#include "core/session/PeerBounds.h"
#include "platform/Signal.h"
#include "transport/NetSocketServer.h"

class TChatClient;

// What the host window shows of its room. Tests record it.
class TChatHostView {
 public:
  virtual ~TChatHostView() = default;
  // One line of the system log above the transcript.
  virtual void AddInfoText(const std::string& text) = 0;
  // A member's text under its sender's name; the text ends in CR LF.
  virtual void ShowPeerText(const std::string& name, const std::string& text) = 0;
  virtual void ShowOwnText(const std::string& text) = 0;
  // The member list changed as a whole.
  virtual void MembersChanged() = 0;
  // One row came in at `index`, or went from there; the others stayed as
  // they were, so a window need not fill its list anew.
  virtual void MemberAdded(int /*index*/) { MembersChanged(); }
  virtual void MemberRemoved(int /*index*/) { MembersChanged(); }
  virtual void ShowInformation(const std::string& text, const std::string& caption) = 0;
};

// What the room asks of the program around it. Unset hooks are skipped.
struct TChatHostHooks {
  std::function<void(const std::string& addr, const std::string& port, const std::string& message)> LogError;
  std::function<void(int index)> PlayChatSound;
  std::function<void(int event)> PlayEventSound;
  std::function<void()> Beep;
};

// Who hosts the room and how: filled before the room starts listening.
struct TChatRoomSetup {
  std::string UserID, UserName;
  int StatusMode = 0;
  std::string ListenPort;  // the host's own peer listener, shown in its row
  std::string ChatIP;      // the address members connect to
  std::string ChatPort;
  std::string ChatName, Greeting;
  // Members the room takes at once; 0: no limit.
  int MemberLimit = 0;
};

// A room hosted on this computer: the listening server with one TChatClient
// per member, the member list (the host's own row first to be added), and the
// relay of texts and sounds. The host window beside it shows what it is told.
// Closing the room sends nothing: the members see their connections close.
// A room holds at most so many connections, a few of them from one address;
// one that does not log on soon goes, and one waiting to log on is let go
// for a newcomer once the places are taken. Whatever is queued for members
// who do not read (relays, list answers, any frame) is bounded over the
// whole room (PeerBounds.h).
class TChatHost {
 public:
  TChatHost(TChatHostView& view, TChatHostHooks hooks, TChatRoomSetup setup);
  ~TChatHost();
  TChatHost(const TChatHost&) = delete;
  TChatHost& operator=(const TChatHost&) = delete;

  // Listens on 0.0.0.0 at the chat port; false (logged) when it cannot.
  bool StartListening();
  // The host's own row, as the window is first shown.
  void AddOwnRow();
  // The host's own text, as typed (CR LF line breaks), to every member and
  // into the transcript. False, with the user told, when it is too long to
  // travel as one frame. An empty input is sent too.
  bool SendText(const std::string& input);
  void SendSound(int index);
  // "Remove from Chat": closes the connection the row came in on, without a
  // word to the member; another connection with the same UserID stays, and
  // the host's own row removes nobody.
  void RemoveFromChat(const TRoomMembers::Row& row);
  // The window is closing: from now on leaves are neither shown nor announced.
  void Close();
  // How long a member may send nothing before its connection closes, and
  // the time a connection has to log on (tests shorten them).
  void SetIdleInterval(int ms) { idleMs_ = ms; }
  void SetLogonInterval(int ms) { logonMs_ = ms; }
  // Connections the room holds at once (tests lower it).
  int MaxConnections = peerbounds::kRoomConnections;

  const TChatRoomSetup& Setup() const { return setup_; }
  const TRoomMembers& Members() const { return members_; }
  // Rows other than the host's own.
  int ClientCount() const { return members_.Count() > 0 ? members_.Count() - 1 : 0; }
  TNetSocketServer& Server() { return *server_; }

  // For the connections' handlers.
  void AddClientToList(const std::string& record, TChatClient& client);
  void RemoveClientFromList(TChatClient& client);
  void AddInfoText(const std::string& text) { view_.AddInfoText(text); }
  void ShowPeerText(const std::string& name, const std::string& text);
  // "<name> sent a sound...", and the sound played; a sound that is no
  // number is logged as one that cannot be played.
  void ShowPeerSound(const std::string& name, std::optional<int> index);
  // The name the room gives one logging on as `name` with `userId`: no
  // member's and never the host's, so that nobody speaks under another's
  // name, and nobody keeps another out by logging on first with that one's
  // id or name (DistinctRoomName).
  std::string NameInRoom(const std::string& name, const std::string& userId) const;
  // One frame to every connection but `except` (null: to all).
  void Broadcast(int code, const std::string& parameter, const TChatClient* except = nullptr);
  // The 2004 answer as the list stands, built once per change of the list.
  const std::string& MemberListFrame();
  // Drops the members furthest behind until what waits for all of them
  // fits the room's bound; to be called after anything was queued.
  void KeepRelaysBounded();
  void LogChatError(const std::string& message);
  void Log(const std::string& addr, const std::string& port, const std::string& message);
  // Resets a connection the room does not keep (turned away, let go for a
  // newcomer, too slow to log on); its close is no leave. The system line
  // says why, at most once a minute for each reason.
  void LetGo(TChatClient& client, const std::string& why);

  // A member's text has been shown (name, text without its CR LF).
  platform::TSignal<std::string, std::string> PeerTextShown;
  // A member's sound has been played (name, index).
  platform::TSignal<std::string, int> PeerSoundPlayed;

 private:
  void ServerClientCreate(TNetSocketClient* client);
  void ServerClientConnect(TNetSocketClient* client, int error);
  void ServerError();
  void ServerBgException(bool& handled);
  // Whether `newcomer` stays: past a bound, a connection that has not logged
  // on is let go for it, else it is turned away.
  bool Admit(TChatClient& newcomer);
  // The connection that has waited longest without logging on: at `address`
  // when given, else at the address holding the most places. Null when none waits.
  TChatClient* CallerToLetGo(const TChatClient& newcomer, const std::string* address) const;
  void PlayChatSound(int index);

  TChatHostView& view_;
  TChatHostHooks hooks_;
  TChatRoomSetup setup_;
  TRoomMembers members_;
  std::string listFrame_;  // empty: to be built
  std::unique_ptr<TNetSocketServer> server_;
  int idleMs_;
  int logonMs_ = peerbounds::kRoomLogonMs;
  // When each reason to let a connection go was last shown.
  std::map<std::string, std::chrono::steady_clock::time_point> letGoShown_;
  bool closing_ = false;
  bool bounding_ = false;
};

// A member's name as the room's system lines and list show it: the name is
// the member's choice, and no line shows more of it than a label would.
std::string RoomShownName(const std::string& name);

// "Winsock Error <code> : <description>", or "Undetermined Winsock Error"
// for 0: how the room windows show and log a socket error.
std::string RoomSocketErrorText(int error);
