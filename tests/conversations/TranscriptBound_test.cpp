#include "conversations/TranscriptBound.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QWidget>
#include <set>

#include "conversations/ConversationParts.h"
#include "conversations/Emoticons.h"
#include "conversations/RichTranscript.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptWriter.h"
#include "core/Widgets_helpers.h"
#include "editor/QuillRichEdit.h"
#include "platform/Charset.h"
#include "platform/Strings.h"
#include "resources/Resources.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator keeps its own count; its header is not always installed.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const auto m = mallinfo2();
  return m.uordblks + m.hblkhd;
#endif
}

std::string Repeated(const std::string& unit, std::size_t size) {
  std::string out;
  while (out.size() < size) out += unit;
  return out.substr(0, size);
}

void WriteEmoticons(const QTemporaryDir& home) {
  for (int n = 1; n <= EmoticonCount; ++n)
    ASSERT_TRUE(resources::Emoticon(n).save(home.filePath(QString("%1.bmp").arg(n)), "BMP"));
}

}  // namespace

// Messages written into the real control as the windows write them, past
// the bound of ten: cut down to half each time, what the user saves is one
// line saying how many went, then the newest messages whole, in order.
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

// The first message cut out from the menu: the window's bound still cuts
// the oldest messages away at a message's end, and keeps the others whole.
TEST(TranscriptBound, CutsAtMessageEndsAfterTheUserCutText) {
  testing_support::WidgetApp();
  QWidget window;
  const TTranscriptControl control = MakeRichTranscript(&window);
  TTranscript& t = *control.Transcript;
  platform::TFont font;
  auto message = [](int n) { return "Bob (1:00 PM)\r\n" + std::to_string(n) + Repeated("w", 65000) + "\r\n"; };
  for (int n = 1; n <= 24; ++n) {
    WriteTranscriptMessage(t, font, "", "Bob", "1:00 PM", message(n).substr(15));
    if (n != 12) continue;
    t.SetSelStart(0);
    t.SetSelLength(static_cast<int>(message(1).size()));
    t.CutToClipboard();
  }
  std::string saved = TranscriptFileText(t), expected = "\n";
  const int dropped = saved.starts_with("[") ? std::stoi(saved.substr(1)) : 0;
  for (int n = 24; n > dropped; --n) expected.insert(0, message(n));
  expected.insert(0, "[" + std::to_string(dropped) + " earlier messages are no longer shown here]\r\n");
  std::erase(expected, '\r');
  EXPECT_TRUE(dropped > 0 && saved == expected) << saved.substr(0, 100);
}

// Peer lines full of emoticon codes, far more pictures than the control's
// object table can number (65,535), into a window that stays open: the
// newest message still shows each face and saves each code, and the table
// holds no more entries than there are faces.
TEST(TranscriptBound, ShowsEmoticonsHoweverManyCameBefore) {
  testing_support::WidgetApp();
  QTemporaryDir home;
  WriteEmoticons(home);
  std::string same, every;
  for (int i = 0; i < 18000; ++i) same += ":)", every += Emoticon[i % EmoticonCount] + std::string(" ");
  for (const std::string& line : {same, every}) {
    QWidget window;
    const TTranscriptControl control = MakeRichTranscript(&window);
    auto& edit = dynamic_cast<quill::TCustomQuillRichEdit&>(*control.Widget);
    platform::TFont font;
    for (int m = 0; m < 8; ++m)
      WriteTranscriptMessage(*control.Transcript, font, platform::FromQString(home.path()) + "/",
                             "Bob", "1:00 PM", line + "\r\n");
    const int body = edit.Lines().Count() - 2;
    const std::string row = edit.Lines().Get(body);
    EXPECT_EQ(std::count(row.begin(), row.end(), '\x01'), 18000);
    std::set<const quill::TQuillEditorObject*> faces;
    for (std::size_t i = 0; i < row.size(); ++i)
      if (row[i] == '\x01') faces.insert(edit.RichEditSource().FindEmbeddedObject(static_cast<int>(i) + 1, body));
    for (const quill::TQuillEditorObject* p : faces)
      EXPECT_TRUE(p != nullptr && *p->GetImage() == resources::Emoticon(std::stoi(p->ObjectName)));
    std::string saved = row;  // the pictures left out
    std::erase(saved, '\x01');
    EXPECT_TRUE(TranscriptFileText(*control.Transcript).ends_with("Bob (1:00 PM)\n" + saved + "\n\n"));
    EXPECT_LE(edit.RichEditSource().ObjectsManager().GetCount(), EmoticonCount);
  }
}

// A peer's 64 KB lines of every dear kind, into a window well past its
// bound: what the window's transcript holds on the heap (the real cost of
// faces, runs and line breaks, not their characters) stays within the 16 MB
// a window may take, and the newest message is kept whole under the notice.
TEST(TranscriptBound, KeepsWhatAWindowHoldsWithinItsCost) {
  testing_support::WidgetApp();
  QTemporaryDir home;
  WriteEmoticons(home);
  const std::string icons = platform::FromQString(home.path()) + "/";
  const struct {
    const char* name;
    std::string unit;
    int lines;
  } kinds[] = {
      {"faces", ":)", 8},
      {"faces and words", "hi :) ", 8},
      {"line breaks", "\r\n", 6},
      {"short lines", "ab\r\n", 6},
      {"words", "ok so we go now and then ", 36},
  };
  constexpr std::size_t kWindowBytes = std::size_t{16} << 20;
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    QWidget window;
    window.resize(594, 430);
    const TTranscriptControl control = MakeRichTranscript(&window);
    control.Widget->setGeometry(8, 8, 460, 260);
    window.show();
    const std::size_t before = HeapInUse();
    std::size_t peak = 0;
    platform::TFont font;
    std::string line;
    for (int n = 0; n < kind.lines; ++n) {
      line = std::to_string(100000 + n) + Repeated(kind.unit, 65000);
      WriteTranscriptMessage(*control.Transcript, font, icons, "Bob", "1:00 PM", line + "\r\n");
      peak = std::max(peak, HeapInUse());
    }
    EXPECT_LT(peak - before, kWindowBytes);
    std::string shown = platform::StringReplace(line, ":)", "");  // saved without its pictures
    std::erase(shown, '\r');
    const std::string saved = TranscriptFileText(*control.Transcript);
    EXPECT_TRUE(saved.starts_with("[")) << saved.substr(0, 80);
    EXPECT_TRUE(saved.ends_with("Bob (1:00 PM)\n" + shown + "\n\n"));
  }
}
