#pragma once

#include <string>
#include <vector>

// The frames and records of a chat room. Every room frame carries its whole
// content in the parameter; the text after ">" is always empty.
//
// Reading is more forgiving than the plain command rules, so that what a
// member typed arrives whole:
// - the parameter runs from the first "<" to the LAST ">" of the line, so a
//   ">" inside a text or a name stays in it (the empty text after the final
//   ">" is all a room frame ever has, from any sender);
// - commas are not turned into line breaks: names travel unescaped, and a
//   comma in one must neither split the name nor shift the fields after it;
// - a text record's text is everything after its first "{$}", so a "{$}"
//   typed by a member is text, not a field boundary.
// Frames of older senders read the same way; what an older receiver makes of
// ours is exactly what it made of its own kind's frames.

// Frames longer than this are dropped whole at the receiver.
inline constexpr int kRoomLineLimit = 65536;
// What a sender keeps a frame within, so that even an older receiver that
// reads one line in pieces of 8191 bytes gets every frame in one piece.
inline constexpr std::size_t kRoomFrameBudget = 8191;

struct TRoomLine {
  int Code = 9999;        // 9999 when the first four characters are no number
  std::string Parameter;  // as it stood on the wire
};

// A received line as the receivers read it: up to a zero byte, one CR LF off
// the end, leading characters below 33 dropped, then code and parameter.
TRoomLine ReadRoomLine(const std::string& received);

// One frame. CR and LF never go out inside it: should the parameter hold
// one, it is written as "$r" or "$n", as free text is.
std::string RoomFrame(int code, const std::string& parameter);

// "id{$}name{$}port{$}status": what a member logs on with.
std::string LogonRecord(const std::string& userId, const std::string& userName, const std::string& listenPort,
                        int statusMode);
// "id{$}name{$}1{$}status{$}ip{$}port": one member of the room.
std::string RoomUserRecord(const std::string& userId, const std::string& userName, int statusMode,
                           const std::string& ip, const std::string& listenPort);
// The records joined by "||"; "" for none.
std::string RoomUserList(const std::vector<std::string>& records);
// "name{$}" + the text escaped.
std::string TextRecord(const std::string& userName, const std::string& text);
std::string SoundRecord(const std::string& userName, int index);
// "chat name{$}" + the greeting escaped.
std::string GreetingRecord(const std::string& chatName, const std::string& greeting);

// Sender and (unescaped) text of a text record; also reads a greeting.
// Throws std::invalid_argument for a parameter without "{$}": it holds no
// text, and its handler fails as any other does.
struct TRoomText {
  std::string Name, Text;
};
TRoomText ReadTextRecord(const std::string& parameter);

// Sender and sound of a sound record; false when the sound is no number.
// A number the table has not (outside 0..47) is read as it is: it plays
// nothing, and the room relays it as any other.
bool ReadSoundRecord(const std::string& parameter, std::string& name, int& index);

// The record with its first field, the sender's name, replaced by `name`;
// the rest goes as it came.
std::string RenamedRecord(const std::string& parameter, const std::string& name);
