#include "conversations/Emoticons.h"

#include "platform/Strings.h"

std::string EmoticonMarker(int n) {
  std::string marker = EmoticonMarkerLead + std::to_string(n);
  marker.resize(EmoticonMarkerLength, ' ');
  return marker;
}

std::string ReplaceEmoticonCodes(const std::string& text) {
  std::string result = text;
  for (int n = 1; n <= EmoticonCount; ++n) result = platform::StringReplace(result, Emoticon[n - 1], EmoticonMarker(n));
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
