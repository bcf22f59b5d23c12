#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/session/Router.h"
#include "platform/Signal.h"

class TSession;
struct TRelayedMessage;

// What a message window shows. The window implements it; tests record it.
class TMessageView {
 public:
  virtual ~TMessageView() = default;
  // One message under its sender's header; the text ends in CR LF.
  virtual void ShowPeerText(const std::string& text) = 0;
  // A peer message is shown and the caption and status have caught up with
  // it: the user may be told (a sound, the taskbar button).
  virtual void PeerTextArrived() {}
  virtual void ShowOwnText(const std::string& text) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // The status panel's text, beside the picture of a StatusMode.
  virtual void ShowStatus(const std::string& text, int image) = 0;
  virtual void ShowInformation(const std::string& text, const std::string& caption) = 0;
};

// The other user as the window knows them.
struct TMessagePeer {
  std::string UserID, UserName, ListenIP, ListenPort;
};

// One instant-message conversation with one user. Unlike a private chat it
// owns no link: what the user sends goes to the directory server through the
// session, and what arrives is handed in by whoever found this window for its
// sender. The window beside it shows and passes on what the user does.
class TMessageConversation {
 public:
  static constexpr int kOffline = 5;
  // Longer messages would not reach every server as one line.
  static constexpr std::size_t kMessageLimit = 60000;

  TMessageConversation(TSession& session, TMessageView& view);

  // Whoever opens the window says who is at the other end.
  void SetPeer(const TMessagePeer& peer);
  const TMessagePeer& Peer() const { return peer_; }
  // The peer's name as the window shows it, cut once; and the caption it
  // makes with the id.
  const std::string& PeerName() const { return peerName_; }
  std::string Caption() const;
  // The key by which relayed messages find the window: the peer's id as a
  // number, none for an id that is not decimal (such a window is never found).
  const std::optional<std::uint64_t>& Tag() const { return tag_; }
  bool IsFor(const std::string& userId) const;
  // The own name in the own headers.
  std::string OwnUserName;
  // The time the peer sent the last message, as the peer's header shows it.
  const std::string& Sent() const { return sent_; }
  int Status() const { return status_; }
  // 0..4 a StatusMode, 5 offline; any other number changes nothing.
  void ShowStatus(int number);

  // Sends the input as typed (CR LF line breaks) and shows it. False, with
  // the reason shown, while not connected to the directory server or for a
  // message too long to send: the input stays.
  bool SendMessage(const std::string& input);
  // A relayed message of this peer.
  void ShowIncomingMessage(const TRelayedMessage& message);

  void Block();
  void AddFriend();
  void ViewProfile();
  // SendFile, SendImage or SendSound to the peer.
  void SendFile(TContactCommand command);

  // A peer message has been shown (its text as shown, CR LF at the end).
  platform::TSignal<std::string> PeerTextShown;

 private:
  TContact PeerContact() const;

  TSession& session_;
  TMessageView& view_;
  TMessagePeer peer_;
  std::string peerName_;
  std::optional<std::uint64_t> tag_;
  std::string sent_;
  int status_ = 0;
};
