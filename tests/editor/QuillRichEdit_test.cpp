// The rich edit control as the chat windows use it: the transcript road
// (caret to the end, attributes, text, pictures), attributes kept once per
// distinct look, numbering, and RTF out and back in through the clipboard.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QPainter>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "QuillEdit_helpers.h"
#include "QuillView_helpers.h"
#include "editor/QuillRichEdit.h"
#include "platform/Clipboard.h"

namespace fs = std::filesystem;
using namespace quill;

namespace richtest {

// Emoticon pictures as the windows keep them: "Icons\<n>.bmp" in a folder.
struct Emoticons {
  fs::path dir = fs::temp_directory_path() / ("parlo-rich-" + std::to_string(getpid()));
  Emoticons() {
    viewtest::EnsureApp();
    fs::create_directories(dir / "Icons");
    for (int n = 1; n <= 3; ++n) {
      QImage face(16 + 4 * n, 16 + 4 * n, QImage::Format_RGB32);
      face.fill(Qt::white);
      QPainter p(&face);
      p.setBrush(QColor(255, 200 - 40 * n, 0));
      p.drawEllipse(face.rect().adjusted(0, 0, -1, -1));
      p.end();
      face.save(QString::fromStdString((dir / "Icons" / (std::to_string(n) + ".bmp")).string()), "BMP");
    }
  }
  ~Emoticons() { fs::remove_all(dir); }
  // The name as the windows build it, with the program's backslash.
  std::string Path(int n) const { return dir.string() + "/Icons\\" + std::to_string(n) + ".bmp"; }
};

std::unique_ptr<TQuillRichEdit> MakeRich(int width = 400, int height = 200) {
  viewtest::EnsureApp();
  auto edit = std::make_unique<TQuillRichEdit>();
  edittest::Prepare(*edit, width, height);
  return edit;
}

TQuillFont Font(const std::string& name, int size, TColor color, TFontStyles style = 0) {
  TQuillFont f;
  f.Name = name;
  f.Size = size;
  f.Color = color;
  f.Style = style;
  return f;
}

// One step of the transcript road.
void Append(TCustomQuillRichEdit& e, const std::string& text, const TQuillFont& font) {
  e.SetSelStart(e.GetTextLen());
  e.GetSelAttributes().Assign(font);
  e.SetSelText(text);
  e.SetSelLength(0);
}

std::vector<int> Words(TCustomQuillRichEdit& e, int line) {
  std::vector<int> out;
  for (char16_t w : e.Lines().GetStrData(line)) out.push_back(w);
  return out;
}

}  // namespace richtest

using namespace richtest;

TEST(QuillRichEdit, TranscriptRoadKeepsOneEntryPerLookAndTheHeaderFont) {
  Emoticons icons;
  auto e = MakeRich();
  e->SetPlainText(true);
  e->SetWordWrap(true);
  e->SetReadOnly(true);
  const TQuillFont boldRed = Font("DejaVu Sans", 10, 0x0000FF, fsBold);
  const TQuillFont plain = Font("DejaVu Sans", 10, 0x000000);
  Append(*e, "a", boldRed);
  Append(*e, "b", plain);
  Append(*e, "c", boldRed);
  EXPECT_EQ(e->GetFontManager().GetCount(), 2);
  EXPECT_EQ(Words(*e, 0), (std::vector<int>{0, 1, 0}));

  // A header line: what follows its line break reads as the header.
  const TQuillFont header = Font("DejaVu Sans", 12, 0x008000, fsBold | fsUnderline);
  Append(*e, "Ann (10:02 AM)\r\n", header);
  e->SetSelStart(e->GetTextLen());
  const TQuillEditorAttributes& after = e->GetSelAttributes();
  EXPECT_EQ(after.Name(), "DejaVu Sans");
  EXPECT_EQ(after.Size(), 12);
  EXPECT_EQ(after.Color(), 0x008000);
  EXPECT_EQ(after.Style(), fsBold | fsUnderline);

  // Pictures: behind one the attributes are those of the text before it; at
  // the start of a line of pictures, those of the first text after them.
  Append(*e, "hi ", boldRed);
  ASSERT_NE(e->InsertImageFromFile(icons.Path(1)), nullptr);
  EXPECT_EQ(e->GetSelAttributes().Style(), fsBold);
  Append(*e, "\r\n", plain);
  e->InsertImageFromFile(icons.Path(2));
  e->InsertImageFromFile(icons.Path(3));
  EXPECT_EQ(e->GetSelAttributes().Size(), 10) << "a line of pictures reads as its line attribute";
  Append(*e, "yo", Font("DejaVu Sans Mono", 9, 0x800000, fsItalic));
  // The program's appends to a read-only transcript keep no undo memory.
  EXPECT_EQ(e->GetEditSource().UndoList().Count(), 0);
  e->SetSelStart(e->GetTextLen() - 3);  // after the first picture of the line
  EXPECT_EQ(e->GetSelAttributes().Name(), "DejaVu Sans Mono");

  // A picture is one character; saved as plain text the pictures are gone.
  EXPECT_EQ(e->Lines().Get(1), "hi \x01");
  EXPECT_EQ(e->GetTextLen(), 17 + 2 + 4 + 2 + 4);
  const fs::path saved = icons.dir / "saved.txt";
  e->Lines().SaveToFile(saved.string());
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "abcAnn (10:02 AM)\r\nhi \r\nyo\r\n");

  EXPECT_FALSE(e->CanCopy());
  e->SelectAll();
  EXPECT_TRUE(e->CanCopy());
  EXPECT_EQ(e->GetFontManager().GetCount(), 4);
}

// A transcript as the chat windows write it, painted on the headless screen
// and kept as "rich-transcript-sample.png" in the build folder for people to
// look at. What is measured is where things are drawn: each picture's
// pixels sit in the box the caret positions give it, and every character
// has its ink inside its own cell.
TEST(QuillRichEdit, PaintsRunsAndPicturesWhereTheyAreMeasured) {
  Emoticons icons;
  auto e = MakeRich(420, 260);
  e->SetPlainText(true);
  e->SetWordWrap(true);
  e->SetReadOnly(true);
  e->SetScrollBars(TScrollStyle::ssVertical);
  const TQuillFont body = Font("DejaVu Sans", 10, 0x402000);
  auto message = [&](const std::string& who, TColor color, const std::string& time, const std::string& text,
                     int picture) {
    Append(*e, who + " (" + time + ")\r\n", Font("DejaVu Sans", 10, color, fsBold));
    Append(*e, text, body);
    if (picture > 0) e->InsertImageFromFile(icons.Path(picture));
    Append(*e, "\r\n", body);
  };
  message("Ann", 0x0000C0, "10:02 AM", "Hello Bob, did the files arrive? ", 1);
  message("Bob", 0xC00000, "10:03 AM", "They did, thanks! The pictures are lovely and the long message wraps onto "
                                       "a second row without trouble ", 2);
  Append(*e, "see ", body);
  Append(*e, "www.example.org", Font("DejaVu Sans", 10, 0xFF0000, fsUnderline));
  Append(*e, " and ", body);
  Append(*e, "WWWW", Font("DejaVu Sans Mono", 16, 0x008000, fsItalic));
  e->InsertImageFromFile(icons.Path(3));
  edittest::Settle();

  QImage shot = e->viewport()->grab().toImage();
  shot.save("rich-transcript-sample.png");
  const int last = e->LineCount() - 1;
  const std::string line = e->Lines().Get(last);
  const size_t w = line.find("WWWW");
  ASSERT_NE(w, std::string::npos);
  auto hasInk = [&](int x0, int x1, int y0, int y1) {
    for (int x = x0; x < x1; ++x)
      for (int y = y0; y < y1; ++y)
        if (qGray(shot.pixel(x, y)) < 128) return true;
    return false;
  };
  const TPoint top = e->TextToPixelPoint({0, last}, false);
  const int rowHeight = e->RichPainter().GetLineHeight(last, 0);
  for (int i = 0; i < 4; ++i) {
    const int x0 = e->TextToPixelPoint({static_cast<int>(w) + i, last}, false).X;
    const int x1 = e->TextToPixelPoint({static_cast<int>(w) + i + 1, last}, false).X;
    EXPECT_TRUE(hasInk(x0, x1, top.Y, top.Y + rowHeight)) << "W " << i;
    // A click in the left half of a character puts the caret before it.
    EXPECT_EQ(e->PixelToTextPoint({x0 + 1, top.Y + 2}, false).X, static_cast<int>(w) + i);
  }
  // The last picture: the yellow-orange face stands in its measured box.
  const int column = static_cast<int>(line.size()) - 1;
  const TPoint pic = e->TextToPixelPoint({column, last}, false);
  const QColor centre = shot.pixelColor(pic.X + 14, pic.Y + rowHeight - 14);
  EXPECT_EQ(centre, QColor(255, 80, 0)) << pic.X << "," << pic.Y;
}

// Changing attributes of a selection merges only the kinds that changed;
// a whole font replaces them all. Each change is one undo step, and full
// tables refuse new entries instead of wrapping the 16-bit numbers.
TEST(QuillRichEdit, SelectionAttributesMergeOnlyWhatChanged) {
  auto e = MakeRich();
  Append(*e, "serif ", Font("DejaVu Serif", 11, 0x000080));
  Append(*e, "sans", Font("DejaVu Sans", 9, 0x008000, fsItalic));
  const std::vector<int> before = Words(*e, 0);
  e->SetSelection({2, 0, 8, 0}, TQuillSelType::slStream);
  TQuillEditorAttributes& a = e->GetSelAttributes();
  EXPECT_FALSE(a.GetConsistentAttributes() & caFace) << "two faces are selected";
  EXPECT_TRUE(a.GetConsistentAttributes() & caCharSet);
  a.SetStyle(a.Style() | fsBold);
  EXPECT_EQ(e->SelType(), TQuillSelType::slStream) << "the selection stays";

  struct Expect {
    int column;
    const char* face;
    int size;
    TFontStyles style;
    TColor color;
  };
  // Setting bold on the selection sets the style to what the first selected
  // character had plus bold: the serif run had none, so the sans run loses
  // its italic too (a style is one kind).
  const Expect merged[] = {{0, "DejaVu Serif", 11, 0, 0x000080},
                           {2, "DejaVu Serif", 11, fsBold, 0x000080},
                           {7, "DejaVu Sans", 9, fsBold, 0x008000},
                           {8, "DejaVu Sans", 9, fsItalic, 0x008000}};
  TQuillEditorAttributes at;
  for (const Expect& x : merged) {
    e->GetAttribute({x.column, 0}, at);
    EXPECT_EQ(at.Name(), x.face) << x.column;
    EXPECT_EQ(at.Size(), x.size) << x.column;
    EXPECT_EQ(at.Style(), x.style) << x.column;
    EXPECT_EQ(at.Color(), x.color) << x.column;
  }

  e->SetSelection({2, 0, 8, 0}, TQuillSelType::slStream);
  e->GetSelAttributes().Assign(Font("DejaVu Sans Mono", 14, 0x0000FF));
  for (int column : {2, 7}) {
    e->GetAttribute({column, 0}, at);
    EXPECT_EQ(at.Name(), "DejaVu Sans Mono");
    EXPECT_EQ(at.Size(), 14);
    EXPECT_EQ(at.Style(), 0);
  }
  // Attribute changes in a row undo as one group, words and all.
  e->GetEditSource().Undo();
  EXPECT_EQ(Words(*e, 0), before);
  EXPECT_EQ(e->Lines().Get(0), "serif sans");

  // Full tables: the attribute table hands out the nearest entry, the
  // object table takes no more pictures (and nothing goes into the text).
  TQuillRichFontManager& attributes = e->GetFontManager();
  for (int i = attributes.GetCount(); i < kMaxTableEntries; ++i) {
    auto entry = std::make_unique<TQuillEditorAttributes>();
    entry->SetUserData(i + 1000);
    ASSERT_EQ(attributes.Add(std::move(entry)), i);
  }
  e->SetSelection({}, TQuillSelType::slNone);
  e->GetEditSource().JumpTo(0, 0);
  TQuillEditorAttributes fresh;
  fresh.Assign(Font("DejaVu Sans", 30, 0x123456));
  const uint16_t number = e->GetAttributeIndex(NoData, fresh);
  EXPECT_LT(number, kMaxTableEntries);
  EXPECT_EQ(attributes.GetCount(), kMaxTableEntries);
  TQuillObjectsManager& objects = e->RichEditSource().ObjectsManager();
  while (objects.GetCount() < kMaxTableEntries) objects.Add(std::make_unique<TQuillEditorObject>());
  const std::string line = e->Lines().Get(0);
  EXPECT_EQ(e->InsertGraphic(QImage(4, 4, QImage::Format_RGB32), "x"), nullptr);
  EXPECT_EQ(e->Lines().Get(0), line);
}
