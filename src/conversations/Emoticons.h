#pragma once

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
// The number of the marker that starts at `pos` of text, or 0 when what stands
// there is no marker: only the six characters a marker is written as count,
// so a "$->" typed by the user or sent by a peer stays text.
int ReadEmoticonMarker(const std::string& text, std::size_t pos);
// The picture file of code n inside the icons folder (ending in a backslash).
std::string EmoticonPicture(const std::string& iconsFolder, int n);
// The code whose picture file has this name ("4.bmp" gives ":-)"); "" for a
// name that is no emoticon's.
std::string EmoticonCodeOfPicture(const std::string& pictureName);
