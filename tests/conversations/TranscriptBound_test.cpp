#include "conversations/TranscriptBound.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QWidget>
#include <fstream>
#include <iterator>

#include "conversations/RichTranscript.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptWriter.h"
#include "core/Widgets_helpers.h"
#include "platform/Charset.h"

namespace {

// Messages written into the real control as the windows write them, past
// one bound or the other: what the user can save is one line saying how
// many went, then the newest messages whole, in order.
TEST(TranscriptBound, KeepsTheNewestMessagesWholeAndSaysHowManyWent) {
  testing_support::WidgetApp();
  struct Case {
    const char* name;
    int maxMessages, maxChars, written;
    int firstKept, dropped;
  };
  // Each message is "Ann (1:00 PM)" CR LF "message NN" CR LF: 27 characters.
  const Case cases[] = {
      {"within both", 10, 10000, 10, 1, 0},
      {"by count: down to half", 10, 10000, 25, 19, 18},
      {"by length", 1000, 300, 30, 23, 22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget window;
    const TTranscriptControl control = MakeRichTranscript(&window);
    TTranscript& t = *control.Transcript;
    TTranscriptBound bound(c.maxMessages, c.maxChars);
    platform::TFont font{"DejaVu Sans", 0, 10};
    char text[16];
    for (int n = 1; n <= c.written; ++n) {
      std::snprintf(text, sizeof text, "message %02d\r\n", n);
      TTranscriptWriter(t, font, "").WriteMessage("Ann", "1:00 PM", text);
      bound.MessageWritten(t);
      ASSERT_LE(t.GetTextLen(), c.maxChars + 64);
    }
    EXPECT_EQ(bound.Dropped(), c.dropped);
    QTemporaryDir dir;
    const std::string file = platform::FromQString(dir.filePath("chat.txt"));
    t.GetLines().SaveToFile(file);  // as "Save Chat Session" saves it
    std::ifstream in(file, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string expected =
        c.dropped > 0 ? "[" + std::to_string(c.dropped) + " earlier messages are no longer shown here]\r\n" : "";
    for (int n = c.firstKept; n <= c.written; ++n) {
      std::snprintf(text, sizeof text, "message %02d\r\n", n);
      expected += std::string("Ann (1:00 PM)\r\n") + text;
    }
    EXPECT_EQ(saved, expected + "\r\n");  // the control saves its last, empty line too
  }
}

}  // namespace
