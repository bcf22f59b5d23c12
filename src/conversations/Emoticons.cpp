#include "conversations/Emoticons.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/Strings.h"

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

std::size_t EmoticonMarkerEnd(const std::string& text, std::size_t pos) {
  const std::size_t end = std::min(text.size(), pos + EmoticonMarkerLength);
  std::size_t at = std::min(end, pos + 3);
  while (at < end && text[at] != '\r' && text[at] != '\n') ++at;
  return at;
}

std::optional<int> ReadEmoticonMarker(const std::string& text, std::size_t pos) {
  std::size_t first = pos + 3, last = EmoticonMarkerEnd(text, pos);
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  int n = 0;
  if (first >= last || !platform::TryStrToInt(text.substr(first, last - first), n)) return std::nullopt;
  return n;
}

std::string EmoticonPicture(const std::string& iconsFolder, int n) {
  return iconsFolder + std::to_string(n) + ".bmp";
}

