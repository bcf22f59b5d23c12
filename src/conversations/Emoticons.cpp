#include "conversations/Emoticons.h"

#include <array>
#include <string_view>

std::string EmoticonMarker(int n) {
  std::string marker = EmoticonMarkerLead + std::to_string(n);
  marker.resize(EmoticonMarkerLength, ' ');
  return marker;
}

namespace {

// The codes with their lengths, measured once rather than at every ':' and
// ';' of every message.
constexpr auto kCodes = [] {
  std::array<std::string_view, EmoticonCount> codes{};
  for (std::size_t n = 0; n < codes.size(); ++n) codes[n] = Emoticon[n];
  return codes;
}();

}  // namespace

std::string ReplaceEmoticonCodes(const std::string& text) {
  // One pass, the codes tried in their order at each place. Every code begins
  // with ':' or ';' and has neither further on, nor has a marker: no two codes
  // found overlap and no marker makes a new one, so this is what replacing the
  // codes one after another gives, at a message's cost instead of twenty.
  std::string result;
  result.reserve(text.size());
  std::size_t from = 0;
  // A two-letter set is looked for letter by letter: find_first_of searches
  // the set anew at every letter of the text.
  const auto next = [&text](std::size_t at) {
    for (; at < text.size(); ++at)
      if (text[at] == ':' || text[at] == ';') return at;
    return std::string::npos;
  };
  for (std::size_t at = next(0); at != std::string::npos; at = next(at)) {
    int found = 0;
    std::string_view code;
    for (int n = 1; n <= EmoticonCount && found == 0; ++n) {
      code = kCodes[n - 1];
      if (text.compare(at, code.size(), code) == 0) found = n;
    }
    if (found == 0) {
      ++at;
      continue;
    }
    result.append(text, from, at - from).append(EmoticonMarker(found));
    at += code.size();
    from = at;
  }
  result.append(text, from, std::string::npos);
  return result;
}

int ReadEmoticonMarker(const std::string& text, std::size_t pos) {
  if (pos > text.size() || text.size() - pos < EmoticonMarkerLength) return 0;
  if (text.compare(pos, 3, EmoticonMarkerLead) != 0) return 0;
  const char tens = text[pos + 3], units = text[pos + 4], last = text[pos + 5];
  if (tens < '1' || tens > '9') return 0;
  if (units == ' ') return last == ' ' ? tens - '0' : 0;
  if (units < '0' || units > '9' || last != ' ') return 0;
  const int n = (tens - '0') * 10 + (units - '0');
  return n <= EmoticonCount ? n : 0;
}

std::string EmoticonPicture(const std::string& iconsFolder, int n) {
  return iconsFolder + std::to_string(n) + ".bmp";
}

std::string EmoticonCodeOfPicture(const std::string& pictureName) {
  for (int n = 1; n <= EmoticonCount; ++n)
    if (pictureName == std::to_string(n) + ".bmp") return Emoticon[n - 1];
  return "";
}
