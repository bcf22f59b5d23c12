#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Signal.h"

class TIncomingMessages;
class TSession;
struct TRelayedMessage;

// What the message windows do for the relayed messages. The conversation
// windows set it once they can show a transcript; until then every message
// waits in "incoming.msg" and is announced in the alert.
struct TMessageWindows {
  // A message window for this user is open.
  std::function<bool(const std::string& userId)> IsOpen;
  // The message into the sender's open window, or into a new one.
  std::function<void(const TRelayedMessage& message)> Show;
  // Another message window may open now (empty: always).
  std::function<bool()> HasRoom;
};

// Instant messages through the directory server: what the user sends goes out
// as a MessageRecord (9011); what arrives (9012) is kept in "incoming.msg"
// until the user has seen it, its sender is listed in the Incoming list, and
// it is shown in a message window at once (setting ShowMsg, or a window for
// the sender already open) or announced. Both directions are written to the
// history when the settings say so.
//
// A message never holds up the others: one that cannot be read or shown is
// logged and taken out of the store, and the rest go on. A message shown at
// once is never stored. While the windows hold all they may, a message for a
// sender without a window waits and is announced, as with ShowMsg off; the
// main window's status bar says so. What waits is bounded by the store: past
// its bound a stranger's message is logged and not kept, while a friend's is
// kept in place of strangers' messages (logged too).
class TRelayedMessages {
 public:
  explicit TRelayedMessages(TSession& session);
  ~TRelayedMessages();
  TRelayedMessages(const TRelayedMessages&) = delete;
  TRelayedMessages& operator=(const TRelayedMessages&) = delete;

  TIncomingMessages& Store() { return *store_; }
  // Empty hooks: no windows.
  void SetWindows(TMessageWindows windows) { windows_ = std::move(windows); }
  bool HasWindows() const { return windows_.IsOpen && windows_.Show; }

  // The message text (escaped with EscapeMessageText) to the user with 9011;
  // false, and nothing sent, while the directory link is down. The history
  // row is written either way.
  bool SendMessageViaServer(const std::string& message, const std::string& recipientId);

  // 9012's parameters, from a sender who is not blocked.
  void StoreRelayedMessage(const std::string& params);
  // Every waiting message of the user, in the order they came, into the
  // user's message window; then the next sender with waiting messages is
  // announced.
  void OpenMessagesFrom(const std::string& userId);
  // "Check Messages": the first sender with waiting messages is announced, or
  // that none wait.
  void CheckMessages();

  // A sender whose messages wait: user id, user name, the time the last one was sent.
  platform::TSignal<std::string, std::string, std::string> MessageAnnounced;
  platform::TSignal<> NoMessagesWaiting;

 private:
  void AddIncomingSender(const TRelayedMessage& message, const std::string& key);
  // The sender is listed in the Incoming list already.
  bool FindIncomingSender(const std::string& userId) const;
  // `key` "": the message is not stored. `entry` names the operation in the log.
  void ShowRelayedMessage(const TRelayedMessage& message, const std::string& senderId, const std::string& key,
                          const char* entry);
  // Where a message goes as it arrives: into a window now, or to wait.
  bool ShowsAtOnce(const TRelayedMessage& message);
  void AnnounceRelayedMessage(const TRelayedMessage& message, const std::string& senderId, const std::string& key);
  // Drops what cannot be read on the way; false when nothing readable waits.
  bool AnnounceFirstWaiting();
  void LogHistory(const std::string& peerId, const std::string& userName, const std::string& sent,
                  const std::string& message);

  TSession& session_;
  std::unique_ptr<TIncomingMessages> store_;
  TMessageWindows windows_;
  platform::TConnection incoming_;
  bool windowsFullSaid_ = false, storeFullSaid_ = false, madeWaySaid_ = false;
};
