#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Timer.h"
#include "transport/NetSocketServer.h"

class TChatHost;

// The host's side of one member's connection to a room: it reads the
// member's frames (logon, list request, text, sound), answers and relays
// through the room, and closes a connection that has been silent, both ways,
// for the idle interval: a member who only reads stays while the room talks.
// A link gone dead meanwhile holds its member's row until then, and the
// member comes back at once under a name of its own (TChatHost::NameInRoom).
// One that has not logged on within the logon interval is let go (reset) as
// the room lets go a caller for a newcomer.
// Made by the room's socket server for every accepted connection and freed
// by it once the connection has closed.
class TChatClient : public TNetSocketClient {
 public:
  static constexpr int kIdleMs = 300000;

  TChatClient(TChatHost& host, TComponent* owner);
  ~TChatClient() override;

  std::string IP;          // the member's address as the host sees it
  std::string ListenPort;  // from the logon record
  std::string UserID;
  std::string UserName;  // the room's name for it (TChatHost::NameInRoom)
  int StatusMode = 0;
  bool LoggedIn = false;
  std::string UserRecord;  // the member's room user record, "" before logon
  // Turned away or let go by the room before it logged on: its close is no leave.
  bool TurnedAway = false;

  // Line mode, the line limit and the event handlers; then the idle period
  // and the time it has to log on, from now.
  void Bind(int idleMs, int logonMs);
  // Writes one frame while connected, counts it as activity, and holds it
  // against the room's bound.
  void SendCommand(int code, const std::string& parameter);
  // Writes a frame built once for the whole room; the caller holds it
  // against the bound once all have theirs.
  void SendFrame(const std::string& frame);
  void RestartIdleTimer() { lastActivity_ = std::chrono::steady_clock::now(); }
  // "Client Error <code> : <text>" in the log, then the connection closes
  // once the current event is over.
  void ClientError(int code);
  // ClientError with the low 16 bits of a close's error, when they are not 0.
  // No event of the connection is bound to it.
  void Disconnect(int error);
  void LogClientError(const std::string& message);

  // The handlers, public so that tests can drive them without a network.
  void ProcessCommand(const std::string& line);
  void DispatchCommand(int code, const std::string& parameter);
  void HandleLogon(const std::string& parameter);
  void SendFullList();
  void HandleText(const std::string& parameter);
  void HandleSound(const std::string& parameter);
  void SendGreeting();

 private:
  void Guarded(const char* failure, const std::function<void()>& run);
  void DataAvailable(int error);
  void ClientChangeState(TSocketState state);
  void TimerTimer();

  TChatHost& host_;
  TTimer idle_;
  int idleMs_ = kIdleMs;
  int logonMs_ = kIdleMs;
  std::chrono::steady_clock::time_point bound_;  // when the connection was taken
  // The idle period is measured from the last frame either way; the timer
  // only looks at it, so a busy room does not re-arm a timer per frame.
  std::chrono::steady_clock::time_point lastActivity_;
  // Bytes handed to the link since its last list answer; -1 before the first.
  std::int64_t queuedSinceList_ = -1;
};
