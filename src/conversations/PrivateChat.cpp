#include "conversations/PrivateChat.h"

#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "platform/Strings.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"

namespace {

// Event sounds of the chat (the table in Paths.h).
constexpr int kOutTextSound = 4;
constexpr int kClosedSound = 5;

constexpr int kConnectionRefused = 10061;

constexpr const char* kCRLF = "\r\n";

}  // namespace

std::string ChatSocketErrorText(int error) {
  switch (error) {
    case 0:
      return "Undetermined Winsock Error";
    case 10053:
      return "User is behind a firewall...connection aborted";
    case 10060:
      return "User is not online...";
    case kConnectionRefused:
      return "User is behind a firewall...connection refused";
    default:
      return "Winsock Error " + std::to_string(error) + " : " + NetSocketErrorDesc(error);
  }
}

TPrivateChat::TPrivateChat(TPrivateChatView& view, TPrivateChatHost host, std::unique_ptr<TParloSocket> socket)
    : view_(view), host_(std::move(host)), socket_(std::move(socket)) {
  TimerReq.SetEnabled(false);
  TimerReq.SetInterval(1000);
  TimerReq.SetTag(60);
  TimerReq.OnTimer = [this](TTimer*) { TimerReqTimer(); };
  TimerTSent.SetEnabled(false);
  TimerTSent.SetInterval(5000);
  TimerTSent.OnTimer = [this](TTimer*) { TimerTSentTimer(); };
  TimeType.SetInterval(5000);
  TimeType.OnTimer = [this](TTimer*) { TimeTypeTimer(); };
  BindSocket();
}

TPrivateChat::~TPrivateChat() {
  *alive_ = false;
  TimerReq.SetEnabled(false);
  TimerTSent.SetEnabled(false);
  TimeType.SetEnabled(false);
  // Nothing of the socket may call back into a chat that is going. The
  // socket layer survives being freed inside one of its own events.
  socket_->DropHandlers();
  socket_->Close();
}

void TPrivateChat::BindSocket() {
  TParloSocket& s = *socket_;
  s.OnDataAvailable = [this](TCustomNetSocket*, int error) { SocketDataAvailable(error); };
  s.OnSessionConnected = [this](TCustomNetSocket*, int error) { SocketSessionConnected(error); };
  s.OnSessionClosed = [this](TCustomNetSocket*, int error) { SocketSessionClosed(error); };
  s.OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState state) { SocketChangeState(state); };
  s.OnError = [this](TCustomNetSocket* socket) { SocketErrorHandler(socket->LastError()); };
  s.OnBgException = [this](TCustomNetSocket*, const std::exception& e, bool& canClose) {
    SocketBgException(e);
    canClose = true;
  };
  s.OnSendData = nullptr;
  s.LineLimit = kLineLimit;
  s.OnLineLimitExceeded = [this](TCustomNetSocket*, int length, bool& clear) {
    // Dropped through its end: no piece of it is ever read as a command.
    clear = true;
    LineTooLong(length);
  };
  s.SetLineEnd(kCRLF);
  s.SetLineMode(true);
}

void TPrivateChat::SetOwnProfile(const std::string& record) {
  ownRecord_ = record;
  own_ = TChatProfile::FromRecord(record);
}

void TPrivateChat::SetPeerUserName(const std::string& name) {
  peer_.UserName = name;
  peerName_ = CutPeerText(name, peerbounds::kShownName);
}

void TPrivateChat::SetWaitTimer(int seconds) { TimerReq.SetTag(seconds); }

void TPrivateChat::SetCountdownInterval(int ms) { TimerReq.SetInterval(ms); }

// ----- the two sides' start ------------------------------------------------------

void TPrivateChat::ConnectToPeer(const std::string& addr, const std::string& port) {
  peerAddr_ = addr;
  peerPort_ = port;
  authorized_ = false;
  SetConnectionText(StateConnecting, "Attempting Connection...");
  const std::weak_ptr<bool> alive = alive_;
  try {
    socket_->ConnectTcp(addr, port);
  } catch (const std::exception& e) {
    if (alive.expired()) return;
    // An address that cannot be looked up is told as a refused connection,
    // and the chat ends as one does; the log keeps the look-up's own reason.
    // The socket never opened, so no event of its own will say any of it.
    view_.SetCaption("Could not establish Private Chat");
    view_.AddSystemLine("Could not establish connection to " + peerName_);
    view_.AddSystemLine(ChatSocketErrorText(kConnectionRefused));
    Log(e.what());
    if (host_.Beep) host_.Beep();
    SocketChangeState(wsClosed);
    if (alive.expired()) return;
    SocketSessionClosed(0);
  }
}

void TPrivateChat::AcceptIncomingChat(const std::string& peerRecord) {
  authorized_ = false;
  incoming_ = true;
  TakePeerAddr();
  TakePeerRecord(peerRecord);
  view_.AddSystemLine("Accepted Connection to: " + peerName_);
  SetConnectionText(StateConnected, "Connected...");
  ShowCaption();
  socket_->SendCommand(cmd::ChatAccepted, ownRecord_, "");
  Authorize();
}

// ----- what the user does ----------------------------------------------------------

bool TPrivateChat::SendText(const std::string& input) {
  if (!authorized_) {
    view_.ShowInformation("The connection is either not established yet, or has been closed.", "Connection Closed");
    return false;
  }
  const std::string text = TCmdParser::RemoveEOL(input + kCRLF);
  const std::string escaped = TCmdParser::EscapeText(text);
  // The peer closes the link on a line longer than its limit: a message
  // that long would end the chat instead of arriving.
  if (escaped.size() + 16 > static_cast<std::size_t>(kLineLimit)) {
    view_.ShowInformation("The message is too long to send, please send it in parts.", "Message Too Long");
    return false;
  }
  socket_->SendCommand(cmd::ChatText, "", escaped);
  spoken_ = true;
  view_.ShowOwnText(text + kCRLF);
  PlayEventSound(kOutTextSound);
  return true;
}

void TPrivateChat::NotifyTyping() {
  if (TimerTSent.Enabled()) return;
  TimerTSent.SetEnabled(true);
  if (Connected()) socket_->SendCommand(cmd::ChatTyping, "", "");
}

// A user who keeps typing is announced again once the pause is over.
void TPrivateChat::TimerTSentTimer() {
  TimerTSent.SetEnabled(false);
  if (Connected()) socket_->SendCommand(cmd::ChatTyping, "", "");
}

void TPrivateChat::SendChatSound(int n) {
  if (n < 0 || n >= ChatSoundCount) return;
  spoken_ = true;
  if (Connected()) socket_->SendCommand(cmd::ChatSoundEffect, std::to_string(n), "");
  if (host_.PlayChatSound) host_.PlayChatSound(n);
}

void TPrivateChat::Close() { socket_->Close(); }

// ----- receiving ---------------------------------------------------------------------

void TPrivateChat::SocketDataAvailable(int error) {
  if (error != 0) {
    SocketErrorHandler(error);
    return;
  }
  const std::string received = socket_->ReceiveStr();
  if (received.empty() || !Connected() || lineTooLong_) return;
  // A line that came whole in one read is handed out whatever its length.
  if (received.size() > static_cast<std::size_t>(kLineLimit)) {
    LineTooLong(static_cast<int>(received.size()));
    return;
  }
  ProcessClientCommand(TCmdParser::CleanLine(received));
}

void TPrivateChat::ProcessClientCommand(const std::string& line) {
  if (line.empty()) return;
  const std::weak_ptr<bool> alive = alive_;
  try {
    const int code = TCmdParser::ExtractCommand(line);
    const std::string params = TCmdParser::ExtractParameters(line);
    const std::string text = TCmdParser::ExtractCommandText(line);
    if (Connected()) DispatchClientCommand(code, params, text);
  } catch (const std::exception&) {
    if (alive.expired()) return;
    socket_->Close();
    // The peer as its record names it: the port it listens on.
    if (host_.LogError) host_.LogError(peerAddr_, peer_.ListenPort, "ProcessClientCommand: " + line);
  }
}

void TPrivateChat::DispatchClientCommand(int code, const std::string& params, const std::string& text) {
  switch (code) {
    case cmd::PeerHello:
      PeerHello();
      break;
    case cmd::ChatRequest:
      break;
    case cmd::ChatAccepted:
      HandleChatAccepted(params);
      socket_->SendCommand(cmd::ChatConfirmed, "", "");
      ChatConfirmed();
      break;
    case cmd::ChatConfirmed:
      ChatConfirmed();
      break;
    case cmd::ChatRefused:
      ChatRefused(params);
      break;
    case cmd::ChatRejected:
      ChatEnded("Connection was rejected");
      break;
    case cmd::ChatText:
      ShowPeerText(TCmdParser::UnescapeText(text) + kCRLF);
      view_.SetPanel(1, "");
      break;
    case cmd::ChatTyping:
      ShowPeerTyping();
      break;
    case cmd::ChatSoundEffect:
      ShowPeerSound(params);
      break;
    case cmd::CamInvite:
      if (host_.CamOffer) host_.CamOffer(params);
      break;
    case cmd::Error:
      ChatEnded("Invalid Command...security shutdown...");
      break;
    default:
      socket_->Close();
      break;
  }
}

void TPrivateChat::PeerHello() {
  socket_->SendCommand(cmd::ChatRequest, ownRecord_, "");
  SetConnectionText(StateConnecting, "Connecting...");
  TimerReq.SetEnabled(true);
}

void TPrivateChat::HandleChatAccepted(const std::string& peerRecord) {
  TakePeerRecord(peerRecord);
  TakePeerAddr();
  view_.AddSystemLine("Now Chatting with: " + peerName_);
  SetConnectionText(StateConnected, "Connected...");
  ShowCaption();
  ShowPeerText(TCmdParser::UnescapeText(peer_.Banner) + kCRLF);
}

void TPrivateChat::ChatConfirmed() {
  TimerReq.SetEnabled(false);
  SetConnectionText(StateConnected, "Connected...");
  Authorize();
}

void TPrivateChat::ChatRefused(const std::string& reason) {
  authorized_ = false;
  view_.AddSystemLine(TCmdParser::UnescapeText(reason));
  SetConnectionText(StateConnected, "Connected...");
  socket_->Close();
}

void TPrivateChat::ChatEnded(const std::string& line) {
  authorized_ = false;
  view_.AddSystemLine(line);
  view_.SetPanel(1, "");
  socket_->Close();
}

void TPrivateChat::ShowPeerText(const std::string& text) {
  view_.ShowPeerText(text);
  PeerTextShown(text);
}

void TPrivateChat::ShowPeerTyping() {
  view_.SetPanel(1, peerName_ + " is typing a message...");
  TimeType.SetEnabled(true);
}

void TPrivateChat::TimeTypeTimer() {
  view_.SetPanel(1, "");
  TimeType.SetEnabled(false);
}

// A sound the table does not have plays nothing: the peer may send any
// number. A parameter that is no number at all is a broken command, which
// ends the chat.
void TPrivateChat::ShowPeerSound(const std::string& param) {
  view_.AddSystemLine(peerName_ + " is sending sound...");
  const int n = platform::StrToInt(param);
  if (n >= 0 && n < ChatSoundCount && host_.PlayChatSound) host_.PlayChatSound(n);
}

void TPrivateChat::TimerReqTimer() {
  if (TimerReq.Tag() < 1) {
    TimerReq.SetEnabled(false);
    SetConnectionText(StateClosed, "Timed Out...");
    socket_->Close();
    return;
  }
  TimerReq.SetTag(TimerReq.Tag() - 1);
  SetConnectionText(StateConnecting, "Time out in: " + std::to_string(TimerReq.Tag()) + " seconds");
}

// ----- the socket's events -------------------------------------------------------------

void TPrivateChat::SocketSessionConnected(int error) {
  if (error == 0) {
    view_.SetCaption("Initiating Private Chat");
    TakePeerAddr();
    view_.AddSystemLine("Connected to " + peerName_ + " waiting for authorization...");
    return;
  }
  view_.SetCaption("Could not establish Private Chat");
  view_.AddSystemLine("Could not establish connection to " + peerName_);
  SocketErrorHandler(error);
}

void TPrivateChat::SocketSessionClosed(int error) {
  view_.AddSystemLine(error != 0 ? "The User is not online..." : "Connection Closed");
}

void TPrivateChat::SocketChangeState(TSocketState state) {
  switch (state) {
    case wsInvalidState:
    case wsOpened:
      authorized_ = false;
      break;
    case wsConnected:
      TakePeerAddr();
      authorized_ = false;
      break;
    case wsClosed:
      TimerReq.SetEnabled(false);
      authorized_ = false;
      SetConnectionText(StateClosed, "Closed...");
      PlayEventSound(kClosedSound);
      if (host_.LinkClosed) host_.LinkClosed();
      break;
    default:
      break;
  }
}

void TPrivateChat::SocketErrorHandler(int error) {
  const std::string text = ChatSocketErrorText(error);
  view_.AddSystemLine(text);
  Log("Winsock Error " + std::to_string(error) + " : " + text);
  socket_->CloseDelayed();
  if (host_.Beep) host_.Beep();
}

void TPrivateChat::SocketBgException(const std::exception& e) { Log(std::string("PChat Socket Exception: ") + e.what()); }

void TPrivateChat::LineTooLong(int length) {
  // What follows it in the same read is not read as commands either.
  lineTooLong_ = true;
  Log("Incoming line of more than " + std::to_string(length) + " bytes; connection closed");
  socket_->CloseDelayed();
}

// ----- helpers ---------------------------------------------------------------------------

void TPrivateChat::TakePeerRecord(const std::string& record) {
  peerRecord_ = record;
  peer_ = TChatProfile::FromRecord(record);
  peerName_ = CutPeerText(peer_.UserName, peerbounds::kShownName);
}

void TPrivateChat::ShowCaption() {
  view_.SetCaption(peer_.UserName + " - " + peer_.UserID + "  Private Chat");
}

void TPrivateChat::TakePeerAddr() {
  if (socket_->State() != wsConnected) return;
  platform::net::SockAddr peer;
  if (socket_->GetPeerName(&peer) != 0) return;
  peerAddr_ = platform::net::InetNtoa(peer.addr);
  peerPort_ = std::to_string(peer.port);
}

void TPrivateChat::SetConnectionText(int state, const std::string& text) {
  chatState_ = state;
  view_.SetPanel(2, text);
}

void TPrivateChat::Authorize() {
  if (authorized_) return;
  authorized_ = true;
  ChatAuthorized();
}

void TPrivateChat::Log(const std::string& message) {
  if (host_.LogError) host_.LogError(peerAddr_, peerPort_, message);
}

void TPrivateChat::PlayEventSound(int event) {
  if (host_.PlayEventSound) host_.PlayEventSound(event);
}
