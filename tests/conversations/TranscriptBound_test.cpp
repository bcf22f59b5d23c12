#include "conversations/TranscriptBound.h"

#include <gtest/gtest.h>

#include <QWidget>

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
  const std::string saved = TranscriptFileText(t);  // as "Save Chat Session" saves it
  // Cut after the 11th, 17th and 23rd message, five kept each time.
  std::string expected = "[18 earlier messages are no longer shown here]\n";
  for (int n = 19; n <= 25; ++n) expected += "Ann (1:00 PM)\nmessage " + std::to_string(n) + "\n";
  EXPECT_EQ(saved, expected + "\n");  // the control saves its last, empty line too
}
