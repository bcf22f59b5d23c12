#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Instant messages travel through the directory server as a MessageRecord:
// 9011 carries nine "{$}" fields, the recipient's id first; the server hands
// the other eight to the recipient as 9012.

// The message field as it travels. The free-text escapes (CR, LF, ",") are not
// enough for a field that sits inside a frame's parameters and a record: a ">"
// would end the parameters and a "{$}" would start another field, and either
// would cut the message short. Both travel as codes of their own, ">" as "$g"
// and "{$}" as "$f"; a receiver that knows only the free-text escapes shows the
// codes as they stand, but no part of the message is lost on the way. Like the
// other codes, a "$g" or "$f" typed by the user comes back as ">" or "{$}".
std::string EscapeMessageText(const std::string& text);
std::string UnescapeMessageText(const std::string& field);
// Only the two codes of this field undone: the free-text escapes stay, as the
// history table takes its messages.
std::string UnescapeMessageCodes(const std::string& field);

// A user id as the directory server hands them out: 1 to 18 decimal digits.
// Nothing else may name a sender's section in "incoming.msg" or a window's Tag.
bool IsDecimalUserId(const std::string& id);
// The id as a window's Tag; nothing for an id that is not decimal.
std::optional<std::uint64_t> UserTag(const std::string& id);

// The local date and time in the desktop's own short date and long time, as
// the own header in a message window shows it.
std::string LocalDateTimeNow();
// The same without anything that would break the record it goes into.
std::string MessageTimeNow();

// What goes out with 9011. Every field but the message (escaped already) is
// kept clear of what would break the frame or the record.
struct TMessageRecord {
  std::string Recipient, UserID, UserName, Online = "1", Status, ListenIP, ListenPort, Sent, Message;
  std::string Build() const;
};

// One relayed message (9012), read once at the edge.
struct TRelayedMessage {
  std::string UserID, UserName, Online, Status, ListenIP, ListenPort, Sent;
  std::string Message;  // still escaped as it travelled
  // The record as it is kept until shown: the server's bytes, with the commas
  // the parameter parser turned into line breaks put back and stray line
  // breaks left out.
  std::string Record;

  // Nothing for a record of fewer than eight fields.
  static std::optional<TRelayedMessage> Parse(const std::string& params);
  // The status a message window shows: 5 when the sender is offline, else
  // the status field read as a decimal number (blanks before it and leading
  // zeros allowed): a StatusMode 0..4, or 5 for offline; -1 for anything else.
  int StatusNumber() const;
};
