#include "conversations/MessageConversation.h"

#include "core/session/DirectoryLink.h"
#include "core/session/MessageRecord.h"
#include "core/session/Paths.h"
#include "core/session/PeerBounds.h"
#include "core/session/RelayedMessages.h"
#include "core/session/Session.h"
#include "transport/CmdParser.h"

namespace {

constexpr const char* kCRLF = "\r\n";
constexpr int kOutTextSound = 1;  // "Text message sent"

}  // namespace

TMessageConversation::TMessageConversation(TSession& session, TMessageView& view) : session_(session), view_(view) {}

void TMessageConversation::SetPeer(const TMessagePeer& peer) {
  peer_ = peer;
  peerName_ = CutPeerText(peer.UserName, peerbounds::kShownName);
  tag_ = UserTag(peer.UserID);
}

std::string TMessageConversation::Caption() const {
  return peerName_ + " - " + CutPeerText(peer_.UserID, peerbounds::kShownName) + "  Message";
}

bool TMessageConversation::IsFor(const std::string& userId) const {
  const auto tag = UserTag(userId);
  return tag && tag == tag_;
}

void TMessageConversation::ShowStatus(int number) {
  if (number < 0 || number > kOffline) return;
  status_ = number;
  if (number == kOffline) view_.ShowStatus("Current Status: Offline", 4);
  else view_.ShowStatus(std::string("Current Status: ") + StatusText[number], number);
}

bool TMessageConversation::SendMessage(const std::string& input) {
  if (!session_.Link().Connected()) {
    view_.ShowInformation("You must be connected to the server to send a message to another user.", "Not connected");
    return false;
  }
  const std::string text = TCmdParser::RemoveEOL(input + kCRLF);
  const std::string escaped = EscapeMessageText(text);
  if (escaped.size() > kMessageLimit) {
    view_.ShowInformation("The message is too long to send, please send it in parts.", "Message Too Long");
    return false;
  }
  session_.Messages().SendMessageViaServer(escaped, peer_.UserID);
  view_.ShowOwnText(text + kCRLF);
  session_.Paths().PlayEventSound(kOutTextSound);
  return true;
}

void TMessageConversation::ShowIncomingMessage(const TRelayedMessage& message) {
  sent_ = message.Sent;
  const std::string text = UnescapeMessageText(message.Message) + kCRLF;
  view_.ShowPeerText(text);
  peer_.ListenIP = message.ListenIP;
  peer_.ListenPort = message.ListenPort;
  view_.SetCaption(Caption());
  ShowStatus(message.StatusNumber());
  view_.PeerTextArrived();
  PeerTextShown(text);
}

void TMessageConversation::Block() {
  if (!peer_.UserID.empty()) session_.BlockUser(peer_.UserID, peer_.UserName);
}

void TMessageConversation::AddFriend() {
  session_.AddFriend(peer_.UserID, peer_.UserName, peer_.ListenIP, peer_.ListenPort);
}

void TMessageConversation::ViewProfile() { session_.ShowUserProfilePage(peer_.UserID, peer_.UserName); }

void TMessageConversation::SendFile(TContactCommand command) { session_.RunContactCommand(command, PeerContact()); }

TContact TMessageConversation::PeerContact() const {
  const bool offline = status_ == kOffline;
  return TContact{peer_.UserName, -1, "", peer_.ListenIP, peer_.ListenPort, peer_.UserID, offline ? "0" : "1"};
}
