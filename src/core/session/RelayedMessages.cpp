#include "core/session/RelayedMessages.h"

#include "core/session/DBStuff.h"
#include "core/session/DirectoryLink.h"
#include "core/session/ErrorLog.h"
#include "core/session/IncomingMessages.h"
#include "core/session/MessageRecord.h"
#include "core/session/Paths.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "transport/CommandCodes.h"

namespace {

void Log(const std::string& message) { LogError("", "", message); }

}  // namespace

// A message is a friend's when its sender is on the friends list and the
// record comes from the address the directory server last gave for that
// friend: the record is the sender's own word, and any sender can claim a
// friend's id.
TRelayedMessages::TRelayedMessages(TSession& session)
    : session_(session),
      store_(std::make_unique<TIncomingMessages>(
          session.Paths().IncomingFile, [&session](const std::string& senderId, const std::string& record) {
            const auto message = TRelayedMessage::Parse(record);
            return message && session.DB().IsFriendAt(senderId, message->ListenIP);
          })) {
  incoming_ = session.Link().IncomingMessage.Connect([this](const std::string& params) { StoreRelayedMessage(params); });
}

TRelayedMessages::~TRelayedMessages() = default;

// ----- sending --------------------------------------------------------------------

bool TRelayedMessages::SendMessageViaServer(const std::string& message, const std::string& recipientId) {
  const TSettings& s = session_.Settings;
  TMessageRecord record;
  record.Recipient = recipientId;
  record.UserID = s.UserID;
  record.UserName = s.UserName;
  record.Status = std::to_string(s.StatusMode);
  record.ListenIP = s.ListenIP;
  record.ListenPort = s.ListenPort;
  record.Sent = MessageTimeNow();
  record.Message = message;
  LogHistory(recipientId, s.UserName, record.Sent, message);
  if (!session_.Link().Connected()) return false;
  session_.Link().Send(cmd::MessageOut, record.Build());
  testhooks::Trace("message sent to " + recipientId);
  return true;
}

// Nothing when LogHistory is off; with LogHistoryOnly only what goes to or
// comes from a friend. Written at once: a message the user has seen must not
// depend on the program ending well.
void TRelayedMessages::LogHistory(const std::string& peerId, const std::string& userName, const std::string& sent,
                                  const std::string& message) {
  const TSettings& s = session_.Settings;
  if (!s.LogHistory || (s.LogHistoryOnly && !session_.DB().IsFriend(peerId))) return;
  try {
    session_.DB().AddHistory(peerId, userName, sent, UnescapeMessageCodes(message));
    session_.DB().SaveHistory();
  } catch (const std::exception& e) {
    Log(std::string("Saving the message history: ") + e.what());
  }
}

// ----- receiving ------------------------------------------------------------------

void TRelayedMessages::StoreRelayedMessage(const std::string& params) {
  try {
    const auto message = TRelayedMessage::Parse(params);
    if (!message) return;
    // The id names a section of the store and a window: anything else a
    // server might put there must not.
    if (!IsDecimalUserId(message->UserID)) {
      Log("Receiving message: the sender id \"" + message->UserID + "\" is no user id; the message is dropped");
      testhooks::Trace("message dropped");
      return;
    }
    std::string key;
    if (!ShowsAtOnce(*message)) {
      const TIncomingMessages::TAdded added = store_->Add(message->UserID, message->Record);
      key = added.Key;
      if (key.empty()) {
        if (!storeFullSaid_)
          Log("Receiving message: " + std::to_string(TIncomingMessages::kMaxWaiting) +
              " messages (or " + std::to_string(TIncomingMessages::kMaxWaitingPerSender) +
              " from one sender) wait to be read; new ones are not kept until some are read");
        storeFullSaid_ = true;
        testhooks::Trace("message not kept " + message->UserID);
        return;
      }
      if (added.MadeWay > 0) {
        if (!madeWaySaid_)
          Log("Receiving message: the waiting messages are at their bound; strangers' messages are dropped to "
              "keep a friend's");
        madeWaySaid_ = true;
        testhooks::Trace("message made way " + std::to_string(added.MadeWay));
      } else {
        storeFullSaid_ = madeWaySaid_ = false;
      }
      testhooks::Trace("message stored " + message->UserID + " " + key);
    }
    AddIncomingSender(*message, key);
  } catch (const std::exception&) {
    Log("Receiving message");
  }
}

bool TRelayedMessages::ShowsAtOnce(const TRelayedMessage& message) {
  if (!HasWindows() || session_.IsUserBlocked(message.Record)) return false;
  if (windows_.IsOpen(message.UserID)) return true;
  if (!session_.Settings.ShowMsg) return false;
  if (!windows_.HasRoom || windows_.HasRoom()) {
    windowsFullSaid_ = false;
    return true;
  }
  // Said once while the windows stay full; the text stays in the status bar
  // as the messages keep coming.
  const std::string notice = "Too many message windows open: new messages wait in the alert";
  if (!windowsFullSaid_) Log(notice);
  windowsFullSaid_ = true;
  session_.SetStatusText(notice);
  return false;
}

void TRelayedMessages::AddIncomingSender(const TRelayedMessage& message, const std::string& key) {
  if (session_.IsUserBlocked(message.Record)) return;
  if (!FindIncomingSender(message.UserID)) {
    TContact c{message.UserName, -1, "", message.ListenIP, message.ListenPort, message.UserID, message.Online};
    const int status = message.StatusNumber();
    if (status == 5) {
      c.Status = "Offline";
    } else if (status >= 0) {
      c.Image = status;
      c.Status = StatusText[status];
    }
    session_.Incoming.Add(std::move(c));
    TraceContacts(session_.Incoming);
  }
  if (key.empty()) ShowRelayedMessage(message, message.UserID, key, "Receiving message");
  else AnnounceRelayedMessage(message, message.UserID, key);
}

bool TRelayedMessages::FindIncomingSender(const std::string& userId) const {
  return session_.Incoming.FindById(userId) != 0;
}

// The key goes whatever the window made of the message: one that cannot be
// shown must not come back at every check and hold up the ones after it.
void TRelayedMessages::ShowRelayedMessage(const TRelayedMessage& message, const std::string& senderId,
                                          const std::string& key, const char* entry) {
  LogHistory(senderId, message.UserName, message.Sent, message.Message);
  try {
    windows_.Show(message);
    testhooks::Trace("message shown " + senderId + " " + key);
  } catch (const std::exception&) {
    Log(entry);
  }
  if (!key.empty()) store_->Remove(senderId, key);
}

void TRelayedMessages::AnnounceRelayedMessage(const TRelayedMessage& message, const std::string& senderId,
                                              const std::string& key) {
  try {
    if (HasWindows() && windows_.IsOpen(senderId)) {
      ShowRelayedMessage(message, senderId, key, "Showing message alert");
      return;
    }
    testhooks::Trace("message announced " + senderId);
    MessageAnnounced(senderId, message.UserName, message.Sent);
  } catch (const std::exception&) {
    Log("Showing message alert");
  }
}

bool TRelayedMessages::AnnounceFirstWaiting() {
  for (const std::string& sender : store_->Senders()) {
    if (!IsDecimalUserId(sender)) {
      Log("Incoming messages: \"" + sender + "\" is no user id; its messages are dropped");
      store_->RemoveSender(sender);
      continue;
    }
    const auto keys = store_->Keys(sender);
    if (keys.empty()) store_->RemoveSender(sender);
    for (const std::string& key : keys) {
      const auto message = TRelayedMessage::Parse(store_->Read(sender, key));
      if (!message) {
        Log("Incoming messages: " + sender + " " + key + " cannot be read; it is dropped");
        store_->Remove(sender, key);
        continue;
      }
      AnnounceRelayedMessage(*message, sender, key);
      return true;
    }
  }
  return false;
}

void TRelayedMessages::OpenMessagesFrom(const std::string& userId) {
  try {
    // Without a window to show them in, the messages wait for the next check.
    if (!HasWindows() || !IsDecimalUserId(userId)) return;
    for (const std::string& key : store_->Keys(userId)) {
      // The section goes as a whole below: one write for all of them.
      const auto message = TRelayedMessage::Parse(store_->Read(userId, key));
      if (message) ShowRelayedMessage(*message, userId, "", "Showing new message");
      else Log("Incoming messages: " + userId + " " + key + " cannot be read; it is dropped");
    }
    store_->RemoveSender(userId);
    AnnounceFirstWaiting();
  } catch (const std::exception&) {
    Log("Showing new message");
  }
}

void TRelayedMessages::CheckMessages() {
  try {
    if (AnnounceFirstWaiting()) return;
    testhooks::Trace("no messages waiting");
    NoMessagesWaiting();
  } catch (const std::exception&) {
    Log("Checking message alerts");
  }
}
