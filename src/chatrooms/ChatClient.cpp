#include "chatrooms/ChatClient.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "chatrooms/ChatHost.h"
#include "chatrooms/RoomFrames.h"
#include "core/session/PeerBounds.h"
#include "platform/Strings.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"

TChatClient::TChatClient(TChatHost& host, TComponent* owner) : TNetSocketClient(owner), host_(host) {
  RestartIdleTimer();
  idle_.SetInterval(idleMs_);
  idle_.OnTimer = [this](TTimer*) { TimerTimer(); };
}

// Nothing of the socket may call back into a connection that is going.
TChatClient::~TChatClient() {
  idle_.SetEnabled(false);
  DropHandlers();
}

void TChatClient::Bind(int idleMs, int logonMs) {
  SetLineEnd("\r\n");
  SetLineMode(true);
  LineLimit = kRoomLineLimit;
  SystemSendBuffer = peerbounds::kRoomSystemSendBytes;
  ComponentOptions = TNetSocketOptions();
  OnLineLimitExceeded = [this](TCustomNetSocket*, int length, bool& clear) {
    // Dropped through its end, and the member stays: no piece of it is ever
    // read as a frame.
    clear = true;
    LogClientError("Room frame of more than " + std::to_string(length) + " bytes dropped");
  };
  OnDataAvailable = [this](TCustomNetSocket*, int error) { DataAvailable(error); };
  OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState state) { ClientChangeState(state); };
  OnError = [this](TCustomNetSocket* socket) { ClientError(socket->LastError()); };
  OnBgException = [this](TCustomNetSocket*, const std::exception& e, bool& handled) {
    LogClientError(std::string("Client Exception: ") + e.what());
    handled = true;
  };
  idleMs_ = idleMs;
  logonMs_ = logonMs;
  bound_ = std::chrono::steady_clock::now();
  idle_.SetInterval(std::min(idleMs_, logonMs_));
  RestartIdleTimer();
}

// Whatever the frame, what waits for this member counts against the room's
// bound: a member that asks for the list and never reads is one that does
// not read relays.
void TChatClient::SendCommand(int code, const std::string& parameter) {
  SendFrame(RoomFrame(code, parameter));
  host_.KeepRelaysBounded();
}

void TChatClient::SendFrame(const std::string& frame) {
  if (State() != wsConnected) return;
  try {
    if (queuedSinceList_ >= 0) queuedSinceList_ += static_cast<std::int64_t>(frame.size());
    SendStr(frame);
    RestartIdleTimer();
  } catch (const std::exception&) {
    LogClientError("Error sending command ChatClient: ");
    CloseDelayed();
  }
}

void TChatClient::ClientError(int code) {
  LogClientError("Client Error " + std::to_string(code) + " : " +
                 (code != 0 ? NetSocketErrorDesc(code) : std::string("Undetermined Winsock Error")));
  CloseDelayed();
}

void TChatClient::LogClientError(const std::string& message) { host_.Log(IP, ListenPort, message); }

// ----- receiving ---------------------------------------------------------------------

void TChatClient::DataAvailable(int error) {
  const auto failed = [this, error] {
    ClientError(error);
    LogClientError("ClientData Error: " + std::to_string(error));
  };
  if (error != 0) {
    failed();
    return;
  }
  const std::weak_ptr<bool> alive = AliveToken();
  try {
    const std::string received = ReceiveStr();
    if (received.empty()) return;
    if (State() != wsConnected) {
      CloseDelayed();
      return;
    }
    RestartIdleTimer();
    std::string line = received;
    try {
      line = TCmdParser::RemoveEOL(received);
    } catch (const std::exception&) {
      LogClientError("ChatClient EOL Removal ");
      CloseDelayed();
    }
    ProcessCommand(line);
  } catch (const std::exception&) {
    if (!alive.expired()) failed();
  }
}

void TChatClient::Disconnect(int error) {
  if ((error & 0xFFFF) != 0) ClientError(error & 0xFFFF);
}

void TChatClient::ProcessCommand(const std::string& line) {
  const std::weak_ptr<bool> alive = AliveToken();
  std::string parameter;
  int code = 0;
  try {
    const TRoomLine frame = ReadRoomLine(line);
    code = frame.Code;
    parameter = frame.Parameter;
  } catch (const std::exception&) {
    LogClientError("ProcessChatClientCommand Error");
    CloseDelayed();
    return;
  }
  if (State() != wsConnected) return;
  try {
    DispatchCommand(code, parameter);
  } catch (const std::exception&) {
    if (alive.expired()) return;
    LogClientError("Error ChatHostedClient Command: " + std::to_string(code) + " Parameters: " + parameter);
    CloseDelayed();
  }
}

void TChatClient::DispatchCommand(int code, const std::string& parameter) {
  switch (code) {
    case cmd::RoomLogon:
      HandleLogon(parameter);
      break;
    case cmd::RoomMembersRequest:
      SendFullList();
      break;
    case cmd::RoomTextIn:
      HandleText(parameter);
      break;
    case cmd::RoomSoundIn:
      HandleSound(parameter);
      break;
    default:
      break;
  }
}

void TChatClient::HandleLogon(const std::string& parameter) {
  // One row per connection: a second logon would leave a row behind that no
  // leave could ever take out again.
  if (LoggedIn) {
    LogClientError("Second chat logon on one connection refused");
    return;
  }
  Guarded("Error initializing chatclient", [&] {
    const TFields fields = TFields::Record(parameter);
    int status = 0;
    if (fields.Count() < 4 || !platform::TryStrToInt(fields[3], status)) throw std::invalid_argument("no logon record");
    UserID = fields[0];
    UserName = host_.NameInRoom(fields[1], fields[0]);
    ListenPort = fields[2];
    StatusMode = status;
    IP = GetPeerAddr();
    UserRecord = RoomUserRecord(UserID, UserName, StatusMode, IP, ListenPort);
    LoggedIn = true;
    host_.AddClientToList(UserRecord, *this);
    host_.AddInfoText(RoomShownName(UserName) + " has joined the chat");
    SendGreeting();
  });
}

// Each handler answers for its own failure: one entry in the log, and the
// member's connection closes.
void TChatClient::Guarded(const char* failure, const std::function<void()>& run) {
  const std::weak_ptr<bool> alive = AliveToken();
  try {
    run();
  } catch (const std::exception&) {
    if (alive.expired()) return;
    LogClientError(failure);
    CloseDelayed();
  }
}

void TChatClient::SendGreeting() {
  Guarded("Error sending greeting to chatclient", [this] {
    SendCommand(cmd::RoomGreeting, GreetingRecord(host_.Setup().ChatName, host_.Setup().Greeting));
  });
}

void TChatClient::SendFullList() {
  Guarded("Error sending full list to chatclient", [this] {
    // An answer still waiting here is followed by every join and leave
    // since: read, it tells the room as it is now, and a second copy would
    // only add to what a member that keeps asking never reads.
    if (queuedSinceList_ >= 0 && QueuedBytes() > queuedSinceList_) return;
    SendFrame(host_.MemberListFrame());
    queuedSinceList_ = 0;
    host_.KeepRelaysBounded();
  });
}

// A member speaks under the name it logged on with, whatever name its
// frames carry; a connection that has not logged on is no member and is not
// heard. The records go on otherwise as they came.
void TChatClient::HandleText(const std::string& parameter) {
  if (!LoggedIn) return;
  Guarded("Error sending text to chatclient", [&] {
    const TRoomText text = ReadTextRecord(parameter);
    host_.ShowPeerText(UserName, text.Text + "\r\n");
    host_.Broadcast(cmd::RoomText, RenamedRecord(parameter, UserName), this);
  });
}

void TChatClient::HandleSound(const std::string& parameter) {
  if (!LoggedIn) return;
  Guarded("Error HostClient soundout", [&] {
    std::string named;
    int index = 0;
    const bool number = ReadSoundRecord(parameter, named, index);
    host_.ShowPeerSound(UserName, number ? std::optional<int>(index) : std::nullopt);
    host_.Broadcast(cmd::RoomSound, RenamedRecord(parameter, UserName), this);
  });
}

// ----- the connection's life ----------------------------------------------------------

void TChatClient::ClientChangeState(TSocketState state) {
  if (state != wsClosed) return;
  try {
    idle_.SetEnabled(false);
    host_.RemoveClientFromList(*this);
  } catch (const std::exception&) {
    LogClientError("Error ChatClient Change State...");
  }
  LoggedIn = false;
}

// The timer looks every idle period at the last activity, and waits out
// the rest of the period when there was some; before the logon it looks at
// the logon interval's end too.
void TChatClient::TimerTimer() {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const auto now = std::chrono::steady_clock::now();
  const auto silent = duration_cast<milliseconds>(now - lastActivity_).count();
  auto left = idleMs_ - silent;
  if (!LoggedIn) {
    const auto logonLeft = logonMs_ - duration_cast<milliseconds>(now - bound_).count();
    if (logonLeft <= 5) {
      idle_.SetEnabled(false);
      host_.LetGo(*this, "it did not log on in time");
      return;
    }
    left = std::min(left, logonLeft);
  }
  if (left > 5) {
    try {
      idle_.SetInterval(static_cast<int>(left));
    } catch (const std::exception&) {
      LogClientError("Resting ChatClient Timer ");
      CloseDelayed();
    }
    return;
  }
  idle_.SetEnabled(false);
  try {
    Close();
  } catch (const std::exception&) {
    LogClientError("Chat Client Timer Event");
    CloseDelayed();
  }
}
