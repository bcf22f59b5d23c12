// The rich edit control as the chat windows use it: the transcript road
// (caret to the end, attributes, text, pictures), attributes kept once per
// distinct look, numbering, and RTF out and back in through the clipboard.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "QuillEdit_helpers.h"
#include "QuillRtf_helpers.h"
#include "QuillView_helpers.h"
#include "editor/QuillRichEdit.h"
#include "platform/Caret.h"
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
  e->SetSourceOptions(e->SourceOptions() & ~srAllowUndo);
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
  // With undo switched off the appends keep no undo memory.
  EXPECT_EQ(e->GetEditSource().UndoList().Count(), 0);
  e->SetSelStart(e->GetTextLen() - 3);  // after the first picture of the line
  EXPECT_EQ(e->GetSelAttributes().Name(), "DejaVu Sans Mono");

  // A picture is one character, saved in plain text as the byte 1.
  EXPECT_EQ(e->Lines().Get(1), "hi \x01");
  EXPECT_EQ(e->GetTextLen(), 17 + 2 + 4 + 2 + 4);
  const fs::path saved = icons.dir / "saved.txt";
  e->Lines().SaveToFile(saved.string());
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "abcAnn (10:02 AM)\r\nhi \x01\r\n\x01\x01yo\r\n");

  EXPECT_FALSE(e->CanCopy());
  e->SelectAll();
  EXPECT_TRUE(e->CanCopy());
  EXPECT_EQ(e->GetFontManager().GetCount(), 4);

  // A peer's text holding the object byte shows no picture of the table.
  Append(*e, "odd\x01 byte", plain);
  const int last = e->LineCount() - 1;
  ASSERT_EQ(e->Lines().Get(last), "\x01\x01yoodd\x01 byte");
  EXPECT_NE(e->RichEditSource().FindEmbeddedObject(1, last), nullptr);
  EXPECT_EQ(e->RichEditSource().FindEmbeddedObject(8, last), nullptr);
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
  const char* dir = std::getenv("PARLO_BINARY_DIR");
  shot.save(QString::fromStdString(std::string(dir != nullptr ? dir : ".") + "/rich-transcript-sample.png"));
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

// A block of changes ends, for views of a rich document, with the lines it
// changed and then one updated line at the position.
TEST(QuillRichEdit, BlockEndsWithOneUpdatedLine) {
  auto e = MakeRich();
  std::vector<std::pair<TQuillOperation, int>> told;
  TQuillObject listener;
  const TQuillNotifyEvent handler{&listener, &told, [&](TQuillObject*, intptr_t param) {
                                    const auto* r = reinterpret_cast<const TNotifyRecord*>(param);
                                    if (r != nullptr && r->Operation >= oprUpdateLine) told.push_back({r->Operation, r->Point.Y});
                                  }};
  e->RichEditSource().RegisterNotifier(handler);
  e->SetSelText("a\r\nb");
  e->RichEditSource().UnRegisterNotifier(handler);
  EXPECT_EQ(told, (std::vector<std::pair<TQuillOperation, int>>{{oprUpdateLines, MaxInt}, {oprUpdateLine, 1}}));
}

// Where a plain reading would lose them: a paragraph set on an empty control
// has a line to go to; an undone join gives the second line its own paragraph
// back; Backspace over a selection deletes it, even at the start of a
// numbered line; a plain character is never a picture; a link is found under
// the mouse from its first character.
TEST(QuillRichEdit, ParagraphsAndLinksWhereTheyStand) {
  auto e = MakeRich();
  e->GetParagraph().SetAlignment(TQuillAlignment::algCenter);
  ASSERT_EQ(e->LineCount(), 1);
  EXPECT_EQ(e->FindParagraph(0)->Alignment(), TQuillAlignment::algCenter);
  e->SetSelText("one\r\ntwo");
  e->GetEditSource().JumpTo(0, 1);
  e->GetParagraph().SetNumbering(TQuillNumberingStyle::nbsNumber);
  e->GetEditSource().JumpTo(3, 0);
  e->GetEditSource().JoinStrings();
  e->GetEditSource().Undo();
  ASSERT_EQ(e->LineCount(), 2);
  EXPECT_EQ(e->FindParagraph(1)->Numbering(), TQuillNumberingStyle::nbsNumber);
  e->GetEditSource().JumpTo(0, 1);
  e->SetSelection({2, 0, 0, 1}, TQuillSelType::slStream);
  e->DeleteStr(ecLeft);
  EXPECT_EQ(edittest::LinesOf(*e), std::vector<std::string>{"ontwo"});
  Append(*e, "x", Font("DejaVu Sans", 10, 0));  // attribute entry 0
  ASSERT_EQ(e->InsertGraphic(QImage(2, 2, QImage::Format_RGB32), "p")->Number, 0);
  EXPECT_EQ(e->RichEditSource().FindEmbeddedObject(6, 0), nullptr);
  edittest::SetLines(*e, {"www.example.org is it"});
  auto over = [&](int column) {
    const TPoint p = e->TextToPixelPoint({column, 0}, false);
    return e->UrlAtPoint({p.X + 1, p.Y + 1});
  };
  EXPECT_TRUE(over(0));
  EXPECT_FALSE(over(17));
}

// Numbered paragraphs count on through line breaks; Backspace at the start
// of a numbered line first takes the numbering away, then the indents, and
// only then joins the lines.
TEST(QuillRichEdit, NumberingFollowsBreaksAndBackspace) {
  auto e = MakeRich(300, 200);
  e->SetWordWrap(true);
  edittest::SetLines(*e, {"one", "two", "three", "four"});
  e->SetSelection({0, 0, 5, 2}, TQuillSelType::slStream);
  e->GetParagraph().SetNumbering(TQuillNumberingStyle::nbsNumber);
  e->SetSelection({}, TQuillSelType::slNone);
  auto numbers = [&] {
    std::vector<int> out;
    for (int line = 0; line < e->LineCount(); ++line) {
      const TQuillParagraph* p = e->FindParagraph(line);
      out.push_back(p != nullptr && p->Numbering() == TQuillNumberingStyle::nbsNumber ? p->Number() : 0);
    }
    return out;
  };
  EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3, 0}));
  // The text of a numbered line starts after its number.
  EXPECT_EQ(e->TextToPixelPoint({0, 1}, false).X, 24);

  e->GetEditSource().JumpTo(3, 0);
  e->ProcessKey(ecNewLine);
  EXPECT_EQ(edittest::LinesOf(*e), (std::vector<std::string>{"one", "", "two", "three", "four"}));
  EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3, 4, 0}));

  e->GetEditSource().JumpTo(0, 2);
  e->DeleteStr(ecLeft);
  EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 0, 1, 0})) << "the list goes on from 1 after the line";
  EXPECT_EQ(e->FindParagraph(2)->LeftIndent(), 48);
  e->DeleteStr(ecLeft);
  EXPECT_EQ(e->FindParagraph(2)->LeftIndent(), 0);
  EXPECT_EQ(e->LineCount(), 5);
  e->DeleteStr(ecLeft);
  EXPECT_EQ(edittest::LinesOf(*e), (std::vector<std::string>{"one", "two", "three", "four"}));
  EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3, 0}));

  // Undoing a paragraph change brings the old paragraph back.
  e->GetEditSource().JumpTo(0, 3);
  e->GetParagraph().SetAlignment(TQuillAlignment::algRight);
  EXPECT_EQ(e->FindParagraph(3)->Alignment(), TQuillAlignment::algRight);
  e->GetEditSource().Undo();
  EXPECT_EQ(e->FindParagraph(3), nullptr);
}

// Copy puts the plain text and RTF (ended by one zero byte) on the
// clipboard, and paste reads the RTF back with its attributes, links and
// pictures. What is not RTF goes in as text at the caret; a read-only text
// takes nothing; with PlainText only text travels.
TEST(QuillRichEdit, CopyAndPasteCarryRtf) {
  Emoticons icons;
  auto a = MakeRich();
  Append(*a, "Ann (10:02)\r\n", Font("DejaVu Sans", 12, 0xC00000, fsBold));
  Append(*a, "hi ", Font("DejaVu Serif", 10, 0x000000, fsItalic));
  a->InsertImageFromFile(icons.Path(2));
  a->SetSelStart(a->GetTextLen());
  TQuillEditorAttributes& link = a->GetSelAttributes();
  link.BeginUpdate();
  link.Assign(Font("DejaVu Sans", 10, 0xFF0000, fsUnderline));
  link.SetUrl("http://www.example.org/a?b=c");
  link.EndUpdate();
  a->SetSelText("www.example.org");
  a->SelectAll();
  a->CopyToClipboard();
  EXPECT_EQ(platform::ClipboardText(), "Ann (10:02)\nhi www.example.org") << "pictures are left out of the text";
  std::string rtf;
  ASSERT_GT(TCustomQuillEdit::ReadFromClipboard(platform::kRichTextFormat, rtf), 0);
  EXPECT_EQ(rtf.find('\0'), rtf.size() - 1);
  if (rtftest::PandocAvailable()) {
    const auto read = rtftest::FlattenPandocJson(rtftest::RunPandoc({"-f", "rtf", "-t", "json"}, rtf.substr(0, rtf.size() - 1)));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].back().Url, "http://www.example.org/a?b=c");
  }

  auto b = MakeRich();
  b->PasteFromClipboard();
  ASSERT_EQ(edittest::LinesOf(*b), edittest::LinesOf(*a));
  TQuillEditorAttributes x, y;
  for (int line = 0; line < a->LineCount(); ++line)
    for (int column = 0; column < a->LineWidth(line); ++column) {
      a->GetAttribute({column, line}, x);
      b->GetAttribute({column, line}, y);
      EXPECT_EQ(std::make_tuple(x.Name(), x.Size(), x.Style(), x.Color(), x.Url()),
                std::make_tuple(y.Name(), y.Size(), y.Style(), y.Color(), y.Url()))
          << line << ":" << column;
    }
  const TQuillEditorObject* picture = b->RichEditSource().FindEmbeddedObject(4, 1);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 24);
  ASSERT_NE(picture->GetImage(), nullptr);
  EXPECT_EQ(picture->GetImage()->pixelColor(12, 12), QColor(255, 120, 0));

  // Dragging the link to the front of the text takes its attributes along.
  b->SetSelection({4, 1, 19, 1}, TQuillSelType::slStream);
  b->LockSelection(1);  // as the mouse holds it while it drags
  b->GetEditSource().JumpTo(0, 0);
  b->LockSelection(-1);
  ASSERT_TRUE(b->MoveBlock(true));
  EXPECT_EQ(edittest::LinesOf(*b), (std::vector<std::string>{"www.example.orgAnn (10:02)", "hi \x01"}));
  b->GetAttribute({3, 0}, y);
  EXPECT_EQ(y.Url(), "http://www.example.org/a?b=c");

  auto c = MakeRich();
  edittest::SetLines(*c, {"keep this"});
  c->SetReadOnly(true);
  // A read-only text takes nothing pasted, dropped, inserted or written.
  c->PasteFromClipboard();
  std::istringstream dropped("{\\rtf1 dropped}");
  c->LoadFromRtfStream(dropped, true);
  EXPECT_EQ(c->InsertImageFromFile(icons.Path(1)), nullptr);
  c->SetSelText("written");
  EXPECT_EQ(edittest::LinesOf(*c), std::vector<std::string>{"keep this"});
  c->SetReadOnly(false);
  c->GetEditSource().JumpTo(5, 0);
  platform::SetClipboardText("plain");
  ASSERT_TRUE(TCustomQuillEdit::WriteToClipboard(platform::kRichTextFormat, "no rtf here\r\nsecond "));
  c->PasteFromClipboard();
  EXPECT_EQ(edittest::LinesOf(*c), (std::vector<std::string>{"keep no rtf here", "second this"}));
  platform::SetClipboardText("plain");
  ASSERT_TRUE(TCustomQuillEdit::WriteToClipboard(platform::kRichTextFormat,
                                                 std::string("{\\rtf1 ok}\0{\\rtf1 lost}", 22)));
  c->GetEditSource().JumpTo(0, 0);
  c->PasteFromClipboard();
  EXPECT_EQ(c->Lines().Get(0), "okkeep no rtf here");
  // Line ends written as character codes break the line they come into.
  std::istringstream codes("{\\rtf1 x\\'0d\\'0ay\\'0az}");
  c->GetEditSource().JumpTo(0, 1);
  c->LoadFromRtfStream(codes, true);
  EXPECT_EQ(edittest::LinesOf(*c), (std::vector<std::string>{"okkeep no rtf here", "x", "y", "zsecond this"}));

  a->SetPlainText(true);
  a->CopyToClipboard();
  EXPECT_FALSE(platform::ClipboardHasFormat(platform::kRichTextFormat));

  // A whole load replaces the document and starts its history afresh; from
  // another rich editor the content comes over as RTF.
  a->SetPlainText(false);
  const fs::path file = icons.dir / "saved.rtf";
  a->SaveToRtfFile(file.string());
  auto d = MakeRich();
  edittest::SetLines(*d, {"old text", "goes"});
  d->SetReadOnly(true);  // a whole load goes in all the same
  d->LoadFromRtfFile(file.string());
  EXPECT_EQ(edittest::LinesOf(*d), edittest::LinesOf(*a));
  EXPECT_FALSE(d->GetCanUndo());
  EXPECT_FALSE(d->GetModified());
  // Both ends know the file they worked on, as a plain load and save do.
  EXPECT_EQ(a->GetEditSource().FileName(), file.string());
  EXPECT_EQ(d->GetEditSource().FileName(), file.string());
  EXPECT_THROW(d->LoadFromRtfFile((icons.dir / "missing.rtf").string()), platform::EStreamError);
  EXPECT_EQ(d->GetEditSource().FileName(), file.string()) << "a file that cannot be opened is not recorded";
  // A picture file that is missing goes in empty; one that is there but is
  // no picture raises, and nothing goes in.
  std::ofstream(icons.dir / "bad.bmp", std::ios::binary) << "no picture";
  const std::vector<std::string> lines = edittest::LinesOf(*c);
  EXPECT_THROW(c->InsertImageFromFile((icons.dir / "bad.bmp").string()), EInvalidGraphic);
  EXPECT_EQ(edittest::LinesOf(*c), lines);
  const TQuillEditorObject* none = c->InsertImageFromFile((icons.dir / "missing.bmp").string());
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->Width(), 0);
  c->Undo();
  ASSERT_NE(d->RichEditSource().FindEmbeddedObject(4, 1), nullptr);
  c->AssignContent(*a, false);
  EXPECT_EQ(edittest::LinesOf(*c), edittest::LinesOf(*a));
  c->GetAttribute({0, 0}, y);
  EXPECT_EQ(y.Style(), fsBold);
}

// A picture shown again shares its entry of the object table: each
// character that shows it paints it in its own cell, is copied as a picture
// of its own and comes back by undo; a number that names no picture inserts
// nothing.
TEST(QuillRichEdit, PictureShownAgainSharesItsEntry) {
  Emoticons icons;
  auto a = MakeRich();
  const TQuillEditorObject* face = a->InsertImageFromFile(icons.Path(3));
  ASSERT_NE(face, nullptr);
  Append(*a, " y ", Font("DejaVu Sans", 10, 0));
  for (int number : {face->Number, face->Number, face->Number + 1}) a->InsertObjectReference(number);
  ASSERT_EQ(a->Lines().Get(0), "\x01 y \x01\x01");
  edittest::Settle();
  const QImage shot = a->viewport()->grab().toImage();
  a->SelectAll();
  a->CopyToClipboard();
  auto b = MakeRich();
  b->PasteFromClipboard();
  a->SetSelText("");
  a->GetEditSource().Undo();
  for (int column : {0, 4, 5}) {
    const TPoint at = a->TextToPixelPoint({column, 0}, false);
    EXPECT_EQ(shot.pixelColor(at.X + 14, at.Y + 14), QColor(255, 80, 0)) << column;
    EXPECT_EQ(a->RichEditSource().FindEmbeddedObject(column + 1, 0), face) << column;
    const TQuillEditorObject* copy = b->RichEditSource().FindEmbeddedObject(column + 1, 0);
    EXPECT_TRUE(copy != nullptr && *copy->GetImage() == *face->GetImage()) << column;
  }
  EXPECT_EQ(a->RichEditSource().ObjectsManager().GetCount(), 1);
}

// A transcript saved as RTF, read by outside programs: pandoc finds its
// text, bold headers, italics and links; LibreOffice (when installed) its
// faces and colours too. A picture at the very end of a line is written.
TEST(QuillRichEdit, ExportedTranscriptReadsElsewhere) {
  if (!rtftest::PandocAvailable()) GTEST_SKIP() << "pandoc is not installed";
  Emoticons icons;
  auto e = MakeRich();
  e->SetPlainText(true);
  const TQuillFont body = Font("DejaVu Serif", 10, 0x008000);
  Append(*e, "Ann (10:02 AM)\r\n", Font("DejaVu Sans", 12, 0x0000C0, fsBold));
  Append(*e, "see ", body);
  e->SetSelStart(e->GetTextLen());
  TQuillEditorAttributes& link = e->GetSelAttributes();
  link.BeginUpdate();
  link.Assign(Font("DejaVu Sans", 10, 0xFF0000, fsUnderline));
  link.SetUrl("http://www.example.org/");
  link.EndUpdate();
  e->SetSelText("www.example.org");
  e->SetSelStart(e->GetTextLen());
  TQuillEditorAttributes& after = e->GetSelAttributes();
  after.BeginUpdate();
  after.Assign(Font("DejaVu Serif", 10, 0x008000, fsItalic));
  after.SetUrl("");
  after.EndUpdate();
  e->SetSelText(" soon");
  e->InsertImageFromFile(icons.Path(1));
  Append(*e, "\r\nBob (10:03 AM)\r\n", Font("DejaVu Sans", 12, 0xC00000, fsBold));
  Append(*e, "ok", body);
  e->InsertImageFromFile(icons.Path(2));

  std::ostringstream out;
  e->SaveToRtfStream(out, false);
  const std::string rtf = out.str();
  EXPECT_EQ(std::count(rtf.begin(), rtf.end(), '\x01'), 0);
  size_t pictures = 0;
  for (size_t at = rtf.find("{\\pict"); at != std::string::npos; at = rtf.find("{\\pict", at + 1)) ++pictures;
  EXPECT_EQ(pictures, 2u) << "both pictures stand at the end of their lines";
  EXPECT_EQ(rtf.find("\\highlight"), std::string::npos) << "text on the editor's background has none of its own";

  auto para = [](std::initializer_list<std::tuple<std::string, unsigned, std::string>> runs) {
    rtftest::FlatPara p;
    for (const auto& [text, flags, url] : runs)
      for (char c : text) p.push_back({c, flags, url});
    return p;
  };
  const std::vector<rtftest::FlatPara> expected = {
      para({{"Ann (10:02 AM)", rtftest::FlagBold, ""}}),
      para({{"see ", 0, ""},
            {"www.example.org", rtftest::FlagUnderline, "http://www.example.org/"},
            {" soon", rtftest::FlagItalic, ""}}),
      para({{"Bob (10:03 AM)", rtftest::FlagBold, ""}}),
      para({{"ok", 0, ""}})};
  const std::string json = rtftest::RunPandoc({"-f", "rtf", "-t", "json"}, rtf);
  EXPECT_EQ(rtftest::Compare(expected, rtftest::FlattenPandocJson(json)), "");

  if (!rtftest::LibreOfficeAvailable()) GTEST_SKIP() << "LibreOffice is not installed";
  const fs::path dir = icons.dir / "lo";
  fs::create_directories(dir);
  std::ofstream(dir / "transcript.rtf", std::ios::binary) << rtf;
  ASSERT_TRUE(rtftest::RunLibreOffice({(dir / "transcript.rtf").string()}, "html", dir.string()));
  std::ifstream in(dir / "transcript.html", std::ios::binary);
  const QString html = QString::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
  const struct {
    const char* color;
    const char* face;
    const char* text;
  } looks[] = {{"#c00000", "DejaVu Sans", "Ann"},
               {"#008000", "DejaVu Serif", "see"},
               {"#0000ff", "DejaVu Sans", "www.example.org"},
               {"#0000c0", "DejaVu Sans", "Bob"}};
  for (const auto& look : looks) {
    const QRegularExpression shown(QString("<font color=\"%1\"><font face=\"%2[^\"]*\">(<[^>]*>\\s*)*%3")
                                       .arg(look.color, look.face, QRegularExpression::escape(look.text)));
    EXPECT_TRUE(shown.match(html).hasMatch()) << look.text;
  }
}

// Rows of several fonts and pictures: how much a row takes, how tall it is
// and where its base line lies.
TEST(QuillRichEdit, RowsTakeTheirTallestRunAndFitTheirWidth) {
  Emoticons icons;
  auto e = MakeRich(300, 300);
  e->SetWordWrap(true);
  TQuillRichPainter& painter = e->RichPainter();
  const TQuillFont small = Font("DejaVu Sans", 8, 0);
  Append(*e, "text", small);
  const int textHeight = painter.GetLineHeight(0, 0);
  const int textBase = painter.RichRow(0)->Info.BaseLine;

  // A picture taller than the text: the row grows to it and the text's
  // base line moves down so that the picture stands on it.
  e->InsertImageFromFile(icons.Path(3));  // 28 pixels
  const TQuillRichWrapRecord* row = painter.RichRow(0);
  ASSERT_EQ(row->Runs.size(), 2u);
  EXPECT_EQ(row->Info.Height, 28);
  EXPECT_EQ(row->Info.BaseLine, 28 - textHeight + textBase);
  EXPECT_EQ(row->Runs[1].BaseLine, row->Info.BaseLine);
  EXPECT_EQ(e->TextToPixelPoint({0, 1}, false).Y, 28);

  // A superscript run raises the row's base line by the font's offset.
  Append(*e, "\r\nx", small);
  e->SetSelStart(e->GetTextLen());
  e->GetSelAttributes().SetScriptStyle(TQuillScriptStyle::ssSuperScript);
  e->SetSelText("2");
  const TQuillFontRecord& font = *painter.RichRow(1)->Runs[0].Font;
  EXPECT_EQ(painter.RichRow(1)->Info.BaseLine, std::max(font.Info.Ascent, painter.RichRow(1)->Runs[1].BaseLine));
  EXPECT_EQ(painter.RichRow(1)->Runs[1].BaseLine,
            painter.RichRow(1)->Runs[1].Font->Info.Ascent + font.Info.SuperscriptOffset);

  // The script metrics are the font's own (DejaVu Sans: sub- and superscript values
  // 1433, 286 and 983 of its 2048 units); a 20-pixel face gives 14, 3 and 10 pixels.
  TCanvasFont face;
  face.Name = "DejaVu Sans";
  face.Height = -20;
  const TQuillFontInfo info = TQuillFontManager::GetFontInfo(face);
  EXPECT_EQ(std::make_tuple(info.SubscriptSize, info.SubscriptOffset, info.SuperscriptOffset),
            std::make_tuple(14, 3, 10));

  // However narrow the room, a row takes a character; a wide word wraps.
  e->resize(8, 300);
  edittest::Settle();
  EXPECT_EQ(painter.GetWrapLenForLine(0, "text", 1), 1);
  e->resize(300, 300);
  edittest::Settle();
  const int wide = 300 - 4;
  EXPECT_GE(painter.WrapWidth(), wide - 4);

  // Justified rows share out their room, but not the paragraph's last row.
  e->SetSelStart(e->GetTextLen());
  Append(*e, "\r\n" + std::string(60, 'a').replace(10, 1, " ").replace(30, 1, " ").replace(45, 1, " ") +
                 " the end", small);
  const int line = e->LineCount() - 1;
  e->GetEditSource().JumpTo(0, line);
  e->GetParagraph().SetAlignment(TQuillAlignment::algJustify);
  const int first = e->WrapList().FirstRowOfLine(line);
  ASSERT_GE(e->WrapList().Count(), first + 2) << "the line wraps";
  auto rowWidth = [&](int r) {
    int width = 0;
    for (const TQuillLineInfo& run : painter.RichRow(r)->Runs) width += run.Width + run.Left;
    return width;
  };
  const int lastRow = e->WrapList().Count() - 1;
  for (int r = first; r < lastRow; ++r)
    EXPECT_GE(rowWidth(r), painter.WrapWidth() - painter.RichRow(r)->Runs.back().Width) << r;
  EXPECT_EQ(rowWidth(lastRow), painter.RichRow(lastRow)->Info.Width);
}

// Links: an address typed with a blank after it is underlined in the link
// colour (not in a read-only text), and a click on text with a link address
// opens that address.
TEST(QuillRichEdit, TypedAddressesAreMarkedAndLinksOpen) {
  auto e = MakeRich();
  e->SetSourceOptions(e->SourceOptions() | srHighlightUrls);
  e->setFocus();
  for (char c : std::string("go www.example.org now")) {
    char key = c;
    e->KeyPress(key);
  }
  TQuillEditorAttributes at;
  e->GetAttribute({5, 0}, at);
  EXPECT_EQ(at.Style(), fsUnderline);
  EXPECT_EQ(at.Color(), e->Colors().HyperStringColor());
  e->GetAttribute({1, 0}, at);
  EXPECT_EQ(at.Style(), 0);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{22, 0})) << "the caret stays where typing left it";
  EXPECT_EQ(e->SelType(), TQuillSelType::slNone);

  auto r = MakeRich();
  r->SetSourceOptions(r->SourceOptions() | srHighlightUrls);
  edittest::SetLines(*r, {"go www.example.org"});
  r->SetReadOnly(true);
  r->GetEditSource().JumpTo(18, 0);
  char blank = ' ';
  r->KeyPress(blank);
  r->GetAttribute({5, 0}, at);
  EXPECT_EQ(at.Style(), 0);

  std::string opened;
  SetUrlOpener([&](const std::string& address) { opened = address; });
  e->SetSelStart(e->GetTextLen());
  TQuillEditorAttributes& link = e->GetSelAttributes();
  link.SetUrl("https://example.net/page");
  e->SetSelText(" here");
  e->ProcessUrl({24, 0});
  EXPECT_EQ(opened, "https://example.net/page");
  // Paths tell addresses apart by letter case: a link whose address differs
  // only in case opens its own page, not the other one's.
  e->SetSelStart(e->GetTextLen());
  e->GetSelAttributes().SetUrl("https://example.net/Page");
  e->SetSelText(" there");
  e->ProcessUrl({30, 0});
  EXPECT_EQ(opened, "https://example.net/Page");
  e->ProcessUrl({24, 0});
  EXPECT_EQ(opened, "https://example.net/page");
  // The scheme and host are read without case: one entry, the first spelling.
  const int entries = e->GetFontManager().Count();
  e->SetSelStart(e->GetTextLen());
  e->GetSelAttributes().SetUrl("HTTPS://Example.NET/page");
  e->SetSelText(" again");
  EXPECT_EQ(e->GetFontManager().Count(), entries);
  SetUrlOpener(nullptr);
}

// With real tabs, a row is in shown columns (a tab as blanks up to its
// stop) while attributes belong to the stored characters.
TEST(QuillRichEdit, TabsShowAsBlanksAndKeepTheirCharactersAttributes) {
  auto e = MakeRich();
  e->SetSourceOptions(e->SourceOptions() | srUseTab);
  edittest::SetLines(*e, {"a\tb c"});
  e->SetSelection({8, 0, 9, 0}, TQuillSelType::slStream);
  e->GetSelAttributes().SetStyle(fsBold);
  EXPECT_EQ(Words(*e, 0), (std::vector<int>{NoData, NoData, 0, NoData, NoData}));
  const TQuillRichWrapRecord* row = e->RichPainter().RichRow(0);
  ASSERT_NE(row, nullptr);
  ASSERT_EQ(row->Runs.size(), 3u);
  EXPECT_EQ(row->Runs[0].End, 8);
  EXPECT_EQ(row->Runs[1].Font->Font.Style, fsBold);
  const TQuillFontRecord& plain = *row->Runs[0].Font;
  EXPECT_EQ(e->TextToPixelPoint({8, 0}, false).X, plain.CharWidth('a') + 7 * plain.BlankWidth());
  EXPECT_EQ(e->TextToPixelPoint({9, 0}, false).X - e->TextToPixelPoint({8, 0}, false).X,
            row->Runs[1].Font->CharWidth('b'));
}

// The caret stands on the base line of the text before it, as tall as that
// text; undo and redo carry attributes with the characters; live spelling
// marks the runs of a misspelled word, not the word being typed.
TEST(QuillRichEdit, CaretUndoAndSpellingFollowTheRuns) {
  auto e = MakeRich();
  Append(*e, "Big", Font("DejaVu Sans", 20, 0));
  Append(*e, "small", Font("DejaVu Sans", 8, 0x0000FF, fsBold));
  e->setFocus();
  edittest::Settle();
  TQuillRichPainter& painter = e->RichPainter();
  const TQuillRichWrapRecord& row = *painter.RichRow(0);
  e->GetEditSource().JumpTo(8, 0);
  EXPECT_EQ(painter.GetCaretSize().Y, row.Runs[1].Height);
  EXPECT_EQ(painter.GetCaretBaseLine(), row.Info.BaseLine - row.Runs[1].BaseLine);
  if (e->hasFocus()) {
    EXPECT_EQ(e->Caret().Pos().Y, painter.GetCaretBaseLine());
  }
  e->GetEditSource().JumpTo(2, 0);
  EXPECT_EQ(painter.GetCaretSize().Y, row.Runs[0].Height);

  const std::vector<int> words = Words(*e, 0);
  e->SetSelection({1, 0, 6, 0}, TQuillSelType::slStream);
  e->ClearSelection();
  EXPECT_EQ(e->Lines().Get(0), "Bll");
  e->Undo();
  EXPECT_EQ(Words(*e, 0), words);
  e->Redo();
  e->Undo();
  EXPECT_EQ(Words(*e, 0), words) << "a redone deletion undoes with its words again";

  TCustomQuillRichEditSource& doc = e->RichEditSource();
  doc.OnWordSpell = [](TQuillObject*, const std::string& word, bool& correct) { correct = word != "smal"; };
  e->SetSourceOptions(e->SourceOptions() | srLiveSpell);
  edittest::SetLines(*e, {"a smal word"});
  e->SetSelection({2, 0, 4, 0}, TQuillSelType::slStream);
  e->GetSelAttributes().SetStyle(fsItalic);  // the word spans two runs
  e->SetSelection({}, TQuillSelType::slNone);
  e->UpdateWordWrap(0, MaxInt);
  std::vector<bool> marked;
  for (const TQuillLineInfo& run : painter.RichRow(0)->Runs) marked.push_back(run.Misspelled);
  EXPECT_EQ(marked, (std::vector<bool>{false, false, true, true, false, false}));
}

// A load puts the pieces of a line in at once; what it builds is what the
// pieces one by one built: every character's attribute, a tab's blanks in the
// attribute of the character before them (or of the line), an object byte
// naming no picture, and the caret behind a pasted piece.
TEST(QuillRichEdit, LoadedPiecesKeepTheirAttributesAndTabs) {
  const std::string rtf =
      "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier;}}\\f0 ab\\tab{\\f1\\b cd\\'01}\\tab e\\par"
      "\\tab x\\'01\\tab{\\i\\'01}\\tab y\\par{\\b z}\\'0dw}";
  auto e = MakeRich();
  edittest::SetLines(*e, {"[]", "next"});
  e->GetEditSource().JumpTo(1, 0);
  std::istringstream in(rtf);
  e->LoadFromRtfStream(in, true);
  EXPECT_EQ(edittest::LinesOf(*e), (std::vector<std::string>{"[ab     cd\x01     e", "        x\x01      \x01       y",
                                                             "z", "w]", "next"}));
  const int n = NoData;
  EXPECT_EQ(Words(*e, 0), (std::vector<int>{n, 0, 0, 0, 0, 0, 0, 0, 1, 1, n, 1, 1, 1, 1, 1, 0}));
  EXPECT_EQ(Words(*e, 1),
            (std::vector<int>{n, n, n, n, n, n, n, n, 0, n, 0, 0, 0, 0, 0, 0, n, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Words(*e, 2), std::vector<int>{3});
  EXPECT_EQ(Words(*e, 3), (std::vector<int>{0, n}));
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{1, 3}));
  ASSERT_EQ(e->GetFontManager().GetCount(), 4);
  EXPECT_EQ(e->GetFontManager().GetItem(1)->Name(), "Courier");
  EXPECT_EQ(e->GetFontManager().GetItem(3)->Style(), fsBold);

  // A whole load or save reports its progress through the control; a piece
  // pasted in does not.
  std::vector<std::pair<int, int>> loads, saves;
  e->OnFileLoad = [&](TQuillObject*, int position, int total) { loads.emplace_back(position, total); };
  e->OnFileSave = [&](TQuillObject*, int position, int total) { saves.emplace_back(position, total); };
  std::istringstream piece(rtf);
  e->LoadFromRtfStream(piece, true);
  EXPECT_TRUE(loads.empty());
  std::istringstream whole("{\\rtf1 a\\par\nb\\par\nc}");
  e->LoadFromRtfStream(whole, false);
  EXPECT_EQ(loads, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
  std::ostringstream out;
  e->SaveToRtfStream(out, false);
  EXPECT_EQ(saves, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
}

namespace richtest {

// A digest of what a user meets of a document: every row with its runs,
// where each sampled column is drawn and which column each sampled pixel
// hits, the positions of the text, and the painted pixels at two scroll
// positions (the control alone: the blinking caret is a widget of its own).
uint64_t LayoutDigest(TCustomQuillRichEdit& e) {
  std::ostringstream out;
  TQuillRichPainter& painter = e.RichPainter();
  TQuillWrapList& rows = e.WrapList();
  rows.CheckWrapUpdated(e.LineCount() - 1, false);
  for (int r = 0; r < rows.Count(); ++r) {
    const TQuillRichWrapRecord& row = *painter.RichRow(r);
    out << row.Line << ':' << row.Start << '-' << row.End << ' ' << row.Info.Left << ',' << row.Info.Width << ','
        << row.Info.Height << ',' << row.Info.BaseLine << '[';
    for (const TQuillLineInfo& run : row.Runs)
      out << run.End << ',' << run.Width << ',' << run.Height << ',' << run.BaseLine << ',' << run.Object << ','
          << run.Left << ',' << run.Shift << ',' << run.Color << ','
          << (run.Font != nullptr ? run.Font->Font.Name + std::to_string(run.Font->Font.Height) +
                                        std::to_string(run.Font->Font.Style)
                                  : "-")
          << ';';
    out << "]\n";
    const int y = painter.TextToPixelPoint({row.Start, row.Line}, {0, 0}, false).Y + row.Info.Height / 2;
    for (int x = -3; x < e.ClientWidth() + 20; x += 5) {
      const TPoint p = painter.PixelToTextPoint({x, y}, {0, 0}, nullptr, false);
      out << p.X << ',' << p.Y << ' ';
    }
    out << '\n';
  }
  for (int line = 0; line < e.LineCount(); ++line) {
    const int length = static_cast<int>(e.Lines().Get(line).size());
    for (int x = 0; x <= length + 2; x += x < 40 ? 1 : 7)
      for (bool atEnd : {false, true}) {
        const TPoint p = painter.TextToPixelPoint({x, line}, {0, 0}, atEnd);
        out << p.X << ',' << p.Y << ' ';
      }
    out << '\n';
  }
  for (int pos = 0; pos <= e.GetTextLen() + 1; pos += 3) {
    const TPoint p = e.PosToTextPoint(pos);
    out << p.X << ',' << p.Y << '=' << e.TextPointToPos(p) << ' ';
  }
  const TPoint caret = e.GetCurrentPosition();
  out << "\ncaret " << caret.X << ',' << caret.Y << " window " << e.WindowLine() << ',' << e.WindowChar() << '\n';
  for (int top : {0, rows.Count() / 2}) {
    e.SetWindowLine(top);
    edittest::Settle();
    QImage image(e.viewport()->size(), QImage::Format_RGB32);
    e.viewport()->render(&image, {}, {}, QWidget::DrawWindowBackground);
    out.write(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
  }
  const std::string text = out.str();
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace richtest

// Wrapping, measuring and painting cost time linear in a line's length;
// what they make of a line is what the first, slower ways made of it.
// Each row of the table is a document written through the transcript road
// and its digest as those ways gave it.
TEST(QuillRichEdit, LongLinesWrapMeasureAndPaintAsBefore) {
  Emoticons icons;
  struct Piece {
    std::string text;
    int size = 10;
    TFontStyles style = 0;
    int picture = 0;  // 1..3: a picture after the text
    TQuillScriptStyle script = TQuillScriptStyle::ssNormal;
  };
  struct Case {
    const char* name;
    int width;
    std::vector<Piece> pieces;
    uint64_t digest;
    bool tabs = false;
    TQuillAlignment alignment = TQuillAlignment::algLeft;
    int leftIndent = 0, firstIndent = 0, rightIndent = 0;
  };
  std::string word, words, mixed;
  for (int i = 0; i < 2500; ++i) word += static_cast<char>('a' + i * 7 % 26);
  for (int i = 0; i < 400; ++i) words += std::string(1 + i % 9, static_cast<char>('k' + i % 11)) + (i % 13 ? " " : ".  ");
  const std::vector<Piece> styled = {{word.substr(0, 700), 10, fsBold},     {words.substr(0, 500), 14},
                                     {word.substr(0, 300), 8, fsItalic},    {" x" + words.substr(0, 400), 10, 0, 2},
                                     {"super", 10, 0, 0, TQuillScriptStyle::ssSuperScript},
                                     {"sub" + word.substr(0, 90), 12, 0, 3, TQuillScriptStyle::ssSubScript},
                                     {"odd\x01 byte\r\n" + words.substr(0, 300), 9, fsUnderline, 1}};
  std::vector<Piece> pictures;
  for (int i = 0; i < 60; ++i) pictures.push_back({word.substr(0, i % 5), 10, 0, 1 + i % 3});
  std::string tabbed;
  for (int i = 0; i < 200; ++i) tabbed += std::string(1 + i % 6, 'q') + (i % 3 ? "\t" : " ");
  const Case cases[] = {
      {"one word", 300, {{word}}, 2303753964951629322ull},
      {"short words", 300, {{words}}, 5440177829923745232ull},
      {"runs of many looks", 260, styled, 18101892889683325628ull},
      {"pictures", 70, pictures, 14766409431940499504ull},
      {"narrower than a character", 8, {{words.substr(0, 120)}}, 5883929135833404538ull},
      {"tabs", 230, {{tabbed}, {tabbed.substr(0, 300), 12, fsBold}}, 17464151311552667763ull, true},
      {"indents", 300, styled, 13376710939727375256ull, false, TQuillAlignment::algLeft, 30, 25, 40},
      {"centred", 300, styled, 4175006812025366466ull, false, TQuillAlignment::algCenter},
      {"right", 300, styled, 5493507604022413472ull, false, TQuillAlignment::algRight, 10, 0, 0},
      {"justified", 300, styled, 139258358703212801ull, false, TQuillAlignment::algJustify, 0, 20, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto e = MakeRich(c.width, 120);
    e->SetWordWrap(true);
    if (c.tabs) e->SetSourceOptions(e->SourceOptions() | srUseTab);
    for (const Piece& piece : c.pieces) {
      e->SetSelStart(e->GetTextLen());
      e->GetSelAttributes().Assign(Font("DejaVu Sans", piece.size, 0x102030 * piece.size, piece.style));
      e->GetSelAttributes().SetScriptStyle(piece.script);
      e->SetSelText(piece.text);
      e->SetSelLength(0);
      if (piece.picture) e->InsertImageFromFile(icons.Path(piece.picture));
    }
    if (c.alignment != TQuillAlignment::algLeft || c.leftIndent || c.firstIndent || c.rightIndent) {
      e->SelectAll();
      TQuillParagraph& paragraph = e->GetParagraph();
      paragraph.BeginUpdate();
      paragraph.SetAlignment(c.alignment);
      paragraph.SetLeftIndent(c.leftIndent);
      paragraph.SetFirstIndent(c.firstIndent);
      paragraph.SetRightIndent(c.rightIndent);
      paragraph.EndUpdate();
      e->SetSelStart(e->GetTextLen());
    }
    edittest::Settle();
    EXPECT_EQ(LayoutDigest(*e), c.digest);
  }
}
