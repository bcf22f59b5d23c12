#include "core/DialogLook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/session/PeerBounds.h"
#include "platform/Charset.h"

namespace {

// What a window shows of a stranger's text: at most the bound and "...",
// never half of a CR LF, and with a place to break after every few
// characters of a run without blanks, so that no name widens a window.
TEST(DialogLook, ShowsPeerTextCutAndBreakable) {
  const std::string x64(64, 'x');
  const struct {
    std::string text;
    std::size_t limit;
    std::string shown;
  } cases[] = {
      {"Bob", 64, "Bob"},
      {"", 64, ""},
      {x64, 64, x64},
      {x64 + "y", 64, x64 + "..."},
      {std::string(65400, 'W'), 64, std::string(64, 'W') + "..."},
      {"ab\r\ncd", 3, "ab..."},  // the cut falls between CR and LF: both go
      {"ab\r\ncd", 4, "ab\r\n..."},
      {"ab\r\ncd", 2, "ab..."},
      {"\r\n", 1, "..."},
      {"x", 0, "..."},
      {"Ann Lee, " + std::string(30, 'z') + " and more", 40, "Ann Lee, " + std::string(30, 'z') + " ..."},
  };
  constexpr QChar kBreak(0x200B);
  for (const auto& c : cases) {
    EXPECT_EQ(CutPeerText(c.text, c.limit), c.shown) << c.text.substr(0, 80);
    QString label = dialoglook::PeerText(c.text, c.limit);
    int run = 0, longest = 0;
    for (const QChar ch : label) longest = std::max(longest, run = ch == kBreak || ch.isSpace() ? 0 : run + 1);
    EXPECT_LE(longest, 16) << c.text.substr(0, 80);
    EXPECT_EQ(platform::FromQString(label.remove(kBreak)), c.shown);
  }
}

// The input's count is the size of the text that would be sent, whatever the
// input holds: line breaks go as CR LF, a character beyond 16 bits as one "?".
TEST(DialogLook, CountsTheInputAsItWouldBeSent) {
  const QChar high(0xD83D), low(0xDE00);
  const QString cases[] = {"", "two\nlines\n", "cr\rlf\r\n",
                           QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5 a\xF0\x9F\x98\x80" "b"),
                           QString(high) + "x" + low, QString(high)};  // halves of a pair apart: each a "?"
  for (const QString& memo : cases)
    EXPECT_EQ(dialoglook::TextFromMemoSize(memo), dialoglook::TextFromMemo(memo).size()) << memo.toStdString();
}

}  // namespace
