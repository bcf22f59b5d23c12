#pragma once

#include <optional>
#include <string>

// The smiley codes that travel as plain text in chat messages and are drawn
// locally from the numbered pictures of the home's "Icons" folder. Before a
// message is shown each code becomes a display marker, "$->" and its number
// left-aligned in three characters, which the transcript writer turns into
// the picture.
inline constexpr int EmoticonCount = 20;

// Code n (1..20) at index n-1. The order is the order of replacement: ";)~"
// (6) goes before ";)" (11), so the longer code is not split.
inline constexpr const char* Emoticon[EmoticonCount] = {
    ":)",  ":P",  ":D", ":-)", ";-)", ";)~", ":-!", ":!", ":-@", ":-<",
    ";)",  ":?",  ":-?", ":~", ";~?", ":}",  ":*",  ":@", ":&",  ";p",
};

inline constexpr const char* EmoticonMarkerLead = "$->";
inline constexpr int EmoticonMarkerLength = 6;

// "$->1  " ... "$->20 ".
std::string EmoticonMarker(int n);
// Every code replaced by its marker, codes 1 to 20 in that order,
// case-sensitively (":P" and ";p" stay apart).
std::string ReplaceEmoticonCodes(const std::string& text);
// Where the marker whose "$->" starts at `pos` of text ends: six characters
// on, sooner at the text's end or at a line break, which stays the text's.
std::size_t EmoticonMarkerEnd(const std::string& text, std::size_t pos);
// Its number: the characters after "$->", blanks trimmed. A "$->" typed by
// hand is read the same way. Nothing when they are no number.
std::optional<int> ReadEmoticonMarker(const std::string& text, std::size_t pos);
// The picture file of code n inside the icons folder (ending in a backslash).
std::string EmoticonPicture(const std::string& iconsFolder, int n);
