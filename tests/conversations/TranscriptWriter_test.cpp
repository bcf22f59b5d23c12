#include "conversations/TranscriptWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "Conversations_helpers.h"
#include "conversations/Emoticons.h"

namespace {

using testing_support::TRecordingTranscript;

// Each message as the transcript shows it: the bold header, then the body
// with pictures ({n}) for codes and underlined (_..._) addresses.
TEST(TranscriptWriter, RendersCodesAsPicturesAndAddressesAsLinks) {
  struct Case {
    const char* text;
    const char* shown;
  };
  const std::vector<Case> cases = {
      {"hi :)\r\n", "hi {1}\r\n"},
      {":-)\r\n", "{4}\r\n"},
      {"wink ;)~ and ;)\r\n", "wink {6} and {11}\r\n"},
      {":? then :-?\r\n", "{12} then {13}\r\n"},
      {":P ;p\r\n", "{2} {20}\r\n"},
      {"see http://a.org/x now\r\n", "see _http://a.org/x_ now\r\n"},
      {"mail mailto:bo@x.org or http://x.org\r\n", "mail mailto:bo@x.org or _http://x.org_\r\n"},
      {"http://a.org mailto:b@c.d\r\n", "_http://a.org_ _mailto:b@c.d_\r\n"},
      // A picture in a message leaves every address plain.
      {":) http://a.org\r\n", "{1} http://a.org\r\n"},
      {"http://a.org :D\r\n", "http://a.org {3}\r\n"},
      // A "$->" typed by hand is a marker: the three characters after it,
      // trimmed, are the picture's number, and six characters go; a number
      // outside the table is an empty picture ({}).
      {"$->7  !\r\n", "{7}!\r\n"},
      {"$-> 5 ok\r\n", "{5}ok\r\n"},
      {"a$->12", "a{12}"},
      // A line break after the number is the message's, not the marker's.
      {"$->3\r\nnext\r\n", "{3}\r\nnext\r\n"},
      {"$->99 x $->0  :)\r\n", "{}x {}{1}\r\n"},
      // One whose characters are no number stays as it was typed, and breaks nothing.
      {"a $-> b\r\n", "a $-> b\r\n"},
      {"$->\r\n", "$->\r\n"},
      {"x$->", "x$->"},
      // An address ends at a line break: the next line is not part of it.
      {"http://a.org\r\nnext\r\n", "_http://a.org_\r\nnext\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TRecordingTranscript t;
    platform::TFont font;
    TTranscriptWriter(t, font, "C:\\home\\Icons\\").WriteMessage("Ann", "1:05 PM", c.text);
    EXPECT_EQ(t.Marked(), std::string("*Ann (t)*\r\n") + c.shown);
    EXPECT_TRUE(t.OnlyAppended);
    EXPECT_TRUE(t.Modified);
  }
}

// Messages follow one another at the end, each header bold and never
// underlined even right after a link; the picture files are the home's icons;
// the sender's face and colour reach every run; an empty message writes nothing.
TEST(TranscriptWriter, AppendsMessagesWithTheSendersFont) {
  TRecordingTranscript t;
  platform::TFont font;
  font.Name = "Courier";
  font.Color = platform::clNavy;
  font.Underline = true;
  TTranscriptWriter writer(t, font, "C:\\home\\Icons\\");
  writer.WriteMessage("Ann", "9:00 AM", "go http://x.org\r\n");
  writer.WriteMessage("Bob", "9:01 AM", "");
  writer.WriteMessage("Ann", "9:02 AM", "ok :-)\r\n");
  EXPECT_EQ(t.Marked(), "*Ann (t)*\r\ngo _http://x.org_\r\n*Ann (t)*\r\nok {4}\r\n");
  EXPECT_EQ(t.Pictures, std::vector<std::string>{"C:\\home\\Icons\\4.bmp"});
  for (const platform::TFont& f : t.Fonts) {
    EXPECT_EQ(f.Name, "Courier");
    EXPECT_EQ(f.Color, platform::clNavy);
  }
  EXPECT_FALSE(font.Bold);
  EXPECT_FALSE(font.Underline);
}

// Codes become markers as if each code in turn were replaced throughout:
// texts made of the codes' own characters, against that replacement done
// the long way.
TEST(TranscriptWriter, CodesBecomeMarkersAsIfReplacedOneAfterAnother) {
  auto inTurn = [](std::string s) {
    for (int n = 1; n <= EmoticonCount; ++n) {
      const std::string code = Emoticon[n - 1];
      for (std::size_t at = s.find(code); at != std::string::npos; at = s.find(code, at + EmoticonMarkerLength))
        s.replace(at, code.size(), EmoticonMarker(n));
    }
    return s;
  };
  const std::string letters = ":;-)(PpD!@<~?}*&$> x";
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 12, ' ');
    for (char& c : text) c = letters[random() % letters.size()];
    ASSERT_EQ(ReplaceEmoticonCodes(text), inTurn(text)) << text;
  }
}

TEST(TranscriptWriter, HeaderClockAndMarkers) {
  EXPECT_EQ(HeaderTime(0, 5, "AM"), "12:05 AM");
  EXPECT_EQ(HeaderTime(23, 59, "PM"), "11:59 PM");
  // The half of the day as the desktop's locale names it, none included.
  EXPECT_EQ(HeaderTime(13, 7, "nachm."), "1:07 nachm.");
  EXPECT_EQ(HeaderTime(9, 30, ""), "9:30 ");
  // Every minute of the day reads as the C library's formatted print writes it.
  for (int hour = 0; hour < 24; ++hour)
    for (int minute = 0; minute < 60; ++minute) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%d:%02d %s", hour % 12 == 0 ? 12 : hour % 12, minute,
                    hour < 12 ? "AM" : "PM");
      ASSERT_EQ(HeaderTime(hour, minute, hour < 12 ? "AM" : "PM"), expected);
    }
  for (int n = 1; n <= EmoticonCount; ++n) {
    const std::string marker = EmoticonMarker(n);
    ASSERT_EQ(marker.size(), 6u);
    EXPECT_EQ(ReadEmoticonMarker("x" + marker, 1), n);
  }
}

}  // namespace
