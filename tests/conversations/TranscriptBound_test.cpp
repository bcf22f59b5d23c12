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

// Messages written into the real control as the windows write them, past
// the bound of ten: cut down to half each time, what the user saves is one
// line saying how many went, then the newest messages whole, in order. (The
// bound on characters is the end-to-end flood's.)
TEST(TranscriptBound, KeepsTheNewestMessagesWholeAndSaysHowManyWent) {
  testing_support::WidgetApp();
  QWidget window;
  const TTranscriptControl control = MakeRichTranscript(&window);
  TTranscript& t = *control.Transcript;
  TTranscriptBound bound(10, 1 << 20);
  platform::TFont font{"DejaVu Sans", 0, 10};
  auto message = [](int n) { return "message " + std::to_string(n) + "\r\n"; };
  for (int n = 1; n <= 25; ++n) {
    TTranscriptWriter(t, font, "").WriteMessage("Ann", "1:00 PM", message(n));
    bound.MessageWritten(t);
  }
  QTemporaryDir dir;
  const std::string file = platform::FromQString(dir.filePath("chat.txt"));
  t.GetLines().SaveToFile(file);  // as "Save Chat Session" saves it
  std::ifstream in(file, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Cut after the 11th, 17th and 23rd message, five kept each time.
  std::string expected = "[18 earlier messages are no longer shown here]\r\n";
  for (int n = 19; n <= 25; ++n) expected += "Ann (1:00 PM)\r\n" + message(n);
  EXPECT_EQ(saved, expected + "\r\n");  // the control saves its last, empty line too
}
