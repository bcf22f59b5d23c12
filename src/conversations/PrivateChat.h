#pragma once

#include <functional>
#include <memory>
#include <string>

#include "conversations/ChatProfile.h"
#include "platform/Signal.h"
#include "platform/Timer.h"
#include "transport/ParloSocket.h"

// What a private chat shows. The window implements it; tests record it.
class TPrivateChatView {
 public:
  virtual ~TPrivateChatView() = default;
  // One line of the system log beside the transcript.
  virtual void AddSystemLine(const std::string& text) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // Panel 1 holds the typing notice; panel 2 the connection text, drawn
  // beside the picture of the chat's ChatState.
  virtual void SetPanel(int panel, const std::string& text) = 0;
  // One message under its sender's header; the text ends in CR LF.
  virtual void ShowPeerText(const std::string& text) = 0;
  virtual void ShowOwnText(const std::string& text) = 0;
  virtual void ShowInformation(const std::string& text, const std::string& caption) = 0;
};

// What the chat asks of the program around it. Unset hooks are skipped.
struct TPrivateChatHost {
  std::function<void(const std::string& addr, const std::string& port, const std::string& message)> LogError;
  std::function<void(int event)> PlayEventSound;
  // Only indexes of the sound table reach it.
  std::function<void(int index)> PlayChatSound;
  std::function<void()> Beep;
  // The chat's webcam channel: an offer (1037) on this link, and the link's end.
  std::function<void(const std::string& params)> CamOffer;
  std::function<void()> LinkClosed;
};

// One private chat over a direct link to the other user's program: the
// handshake (1000-1005), the conversation (1006 text, 1007 typing, 1008
// sounds), the answer countdown, the typing notices and the link's errors.
// The window beside it shows what it is told and passes on what the user does.
//
// Side A (the caller) connects with ConnectToPeer; side B takes the
// connection its listener accepted and answers with AcceptIncomingChat. Once
// the link has closed the chat stays as it is: it never reconnects.
class TPrivateChat {
 public:
  static constexpr int StateClosed = 0;
  static constexpr int StateConnected = 1;
  static constexpr int StateConnecting = 2;  // also: waiting for the answer

  // A line longer than this is no frame of ours: the link is closed.
  static constexpr int kLineLimit = 65536;

  // Takes the socket (new for side A, the accepted one for side B) and binds
  // its events; the socket is in line mode with CR LF line ends.
  TPrivateChat(TPrivateChatView& view, TPrivateChatHost host, std::unique_ptr<TParloSocket> socket);
  ~TPrivateChat();
  TPrivateChat(const TPrivateChat&) = delete;
  TPrivateChat& operator=(const TPrivateChat&) = delete;

  // The own profile record, sent unchanged with 1001 or 1002.
  void SetOwnProfile(const std::string& record);
  // Side A knows the peer's name before its record arrives.
  void SetPeerUserName(const std::string& name);
  // The seconds side A waits for the answer (setting WaitTimer); set once.
  void SetWaitTimer(int seconds);
  // One countdown step; a second unless a test shortens it.
  void SetCountdownInterval(int ms);

  // Side A: connects to the peer's listener.
  void ConnectToPeer(const std::string& addr, const std::string& port);
  // Side B: the user (or an automatic answer) accepted the caller's record.
  void AcceptIncomingChat(const std::string& peerRecord);

  // Sends the input as typed (CR LF line breaks) and shows it. False, with
  // the refusal shown, while the chat is not authorized: the input stays.
  bool SendText(const std::string& input);
  // A key other than Enter went into the input.
  void NotifyTyping();
  // Enter sent the input: the typing notice starts afresh with the next key.
  void StopTypingNotice() { TimerTSent.SetEnabled(false); }
  void SendChatSound(int n);
  // The window closes: the link goes with it.
  void Close();

  bool Authorized() const { return authorized_; }
  // Side B before this side has sent any text or sound: a chat that a
  // request opened and nobody here has taken up yet.
  bool Unanswered() const { return incoming_ && !spoken_; }
  int ChatState() const { return chatState_; }
  const TChatProfile& Own() const { return own_; }
  const TChatProfile& Peer() const { return peer_; }
  // The peer's name as the system lines, the typing notice and the message
  // headers show it: cut once, when the name arrives. The peer can send one
  // sound line after another, and a line with a name as long as a frame
  // holds takes the window about a second to lay out.
  const std::string& PeerName() const { return peerName_; }
  const std::string& PeerRecord() const { return peerRecord_; }
  const std::string& PeerAddr() const { return peerAddr_; }
  bool Connected() const { return socket_->State() == wsConnected; }
  TParloSocket& Socket() { return *socket_; }

  // The handshake has completed on this side.
  platform::TSignal<> ChatAuthorized;
  // A peer message has been shown (its text as shown, CR LF at the end).
  platform::TSignal<std::string> PeerTextShown;

  // The answer countdown: Tag holds the seconds left.
  TTimer TimerReq;
  // Paces the typing notices this side sends.
  TTimer TimerTSent;
  // Clears the peer's typing notice.
  TTimer TimeType;

  // The handlers, public so that tests can drive them without a network.
  void ProcessClientCommand(const std::string& line);
  void DispatchClientCommand(int code, const std::string& params, const std::string& text);
  void SocketErrorHandler(int error);

 private:
  void BindSocket();
  void SocketDataAvailable(int error);
  void SocketSessionConnected(int error);
  void SocketSessionClosed(int error);
  void SocketChangeState(TSocketState state);
  void SocketBgException(const std::exception& e);
  void LineTooLong(int length);

  void PeerHello();
  void HandleChatAccepted(const std::string& peerRecord);
  void ChatConfirmed();
  void ChatRefused(const std::string& reason);
  void ChatEnded(const std::string& line);
  void ShowPeerText(const std::string& text);
  void ShowPeerTyping();
  void TimerTSentTimer();
  void TimeTypeTimer();
  void ShowPeerSound(const std::string& param);
  void TakePeerRecord(const std::string& record);
  void TakePeerAddr();
  void ShowCaption();
  void SetConnectionText(int state, const std::string& text);
  void Authorize();
  void TimerReqTimer();
  void Log(const std::string& message);
  void PlayEventSound(int event);

  TPrivateChatView& view_;
  TPrivateChatHost host_;
  std::unique_ptr<TParloSocket> socket_;
  bool authorized_ = false;
  bool incoming_ = false, spoken_ = false;
  bool lineTooLong_ = false;
  int chatState_ = StateClosed;
  std::string ownRecord_, peerRecord_, peerAddr_, peerPort_;
  TChatProfile own_, peer_;
  std::string peerName_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The system line for a socket error, by its number.
std::string ChatSocketErrorText(int error);
