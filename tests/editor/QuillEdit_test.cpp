#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QStyleHints>

#include <climits>

#include "QuillEdit_helpers.h"
#include "QuillView_helpers.h"

using namespace edittest;

namespace {

struct PositionCase {
  int pos;
  TPoint point;
};

}  // namespace

// Character positions count a line break as two characters; positions past
// the text mean its end and lines past the last count as empty, and neither
// may cost a walk over billions of lines.
TEST(QuillEdit, PositionModelMapsAcrossLineBreaksAndCountsOnPastTheEnd) {
  auto e = MakeEdit();
  EXPECT_EQ(e->GetTextLen(), 0);
  EXPECT_EQ(e->PosToTextPoint(0), (TPoint{0, 0}));
  EXPECT_EQ(e->TextPointToPos({0, 0}), 0);

  SetLines(*e, {"ab", "c"});
  EXPECT_EQ(e->GetTextLen(), 5);
  // Past the end each line beyond the last counts as empty, two characters.
  const PositionCase toPoint[] = {{0, {0, 0}},  {2, {2, 0}},  {3, {0, 1}},  {4, {0, 1}},
                                  {5, {1, 1}},  {6, {0, 2}},  {7, {0, 2}},  {8, {0, 3}},
                                  {-7, {0, 0}}, {INT_MIN, {0, 0}}, {INT_MAX, {0, 2 + (INT_MAX - 6) / 2}}};
  for (const auto& c : toPoint) EXPECT_EQ(e->PosToTextPoint(c.pos), c.point) << c.pos;
  const PositionCase toPos[] = {{2, {9, 0}}, {4, {0, 1}}, {5, {5, 1}}, {9, {0, 3}},
                                {7 + 2 * (1000000000 - 2), {0, 1000000000}}, {INT_MAX, {INT_MAX, INT_MAX}}};
  for (const auto& c : toPos) EXPECT_EQ(e->TextPointToPos(c.point), c.pos) << c.point.X << "," << c.point.Y;

  // With real tabs a column is a display column: b stands at column 8.
  e->SetSourceOptions(e->SourceOptions() | srUseTab);
  SetLines(*e, {"a\tb"});
  EXPECT_EQ(e->TextPointToPos({8, 0}), 2);
  EXPECT_EQ(e->PosToTextPoint(3), (TPoint{9, 0}));
  EXPECT_EQ(e->GetRealChar(0, 8), 2);
  EXPECT_EQ(e->GetRealChar(0, MaxInt), MaxInt);
}

TEST(QuillEdit, EditMessagesAnswerWithOffsetsAndHandOutStrings) {
  auto e = MakeEdit();
  std::vector<std::string> lines;
  for (int i = 0; i < 1000; ++i) lines.push_back(std::string(70, static_cast<char>('a' + i % 26)));
  SetLines(*e, lines);

  auto reply = e->Perform(TEditMessage::EM_SETSEL, 10, 70000);
  EXPECT_EQ(reply.Result, 69990);
  // Past 65535 the packed answer cannot hold the offsets; the range can.
  EXPECT_EQ(e->Perform(TEditMessage::EM_GETSEL).Result, 0);
  reply = e->Perform(TEditMessage::EM_EXGETSEL);
  EXPECT_EQ(reply.Min, 10);
  EXPECT_EQ(reply.Max, 70000);
  e->Perform(TEditMessage::EM_SETSEL, 3, 75);
  EXPECT_EQ(e->Perform(TEditMessage::EM_GETSEL).Result, 3 | (75 << 16));
  reply = e->Perform(TEditMessage::EM_GETSELTEXT);
  EXPECT_EQ(reply.Text, std::string(67, 'a') + "\r\nbbb");
  EXPECT_EQ(reply.Result, 72);

  EXPECT_EQ(e->Perform(TEditMessage::EM_SETSEL, 0, 0).Result, 0);
  EXPECT_EQ(e->SelType(), TQuillSelType::slNone);
  EXPECT_EQ(e->Perform(TEditMessage::EM_SETSEL, 0, -1).Result, e->GetTextLen());

  EXPECT_EQ(e->Perform(TEditMessage::EM_GETLINECOUNT).Result, 1000);
  EXPECT_EQ(e->Perform(TEditMessage::EM_LINEINDEX, 3).Result, 3 * 72);
  EXPECT_EQ(e->Perform(TEditMessage::EM_LINEFROMCHAR, 3 * 72 + 5).Result, 3);
  reply = e->Perform(TEditMessage::EM_GETLINE, 2, 5);
  EXPECT_EQ(reply.Text, "ccccc");
  EXPECT_EQ(reply.Result, 5);
  EXPECT_EQ(e->Perform(TEditMessage::EM_GETTEXTRANGE, 68, 74).Text, "aa\r\nbb");
  // A range is taken as selecting it would take it; the selection stays.
  const TRect all = e->SelRect();
  EXPECT_EQ(e->Perform(TEditMessage::EM_GETTEXTRANGE, 69, 71).Text, "a\r\n");
  EXPECT_EQ(e->Perform(TEditMessage::EM_GETTEXTRANGE, 71, 73).Text, "b");
  EXPECT_EQ(e->SelRect(), all);

  EXPECT_EQ(e->Perform(TEditMessage::EM_LINESCROLL, 2, 5).Result, 1);
  EXPECT_EQ(e->WindowLine(), 5);
  EXPECT_EQ(e->WindowChar(), 2);
  EXPECT_EQ(e->Perform(TEditMessage::EM_GETFIRSTVISIBLELINE).Result, 5);
  e->Perform(TEditMessage::EM_LINESCROLL, -9, -100);
  EXPECT_EQ(e->WindowLine(), 0);
  EXPECT_EQ(e->WindowChar(), 0);
  e->Perform(TEditMessage::EM_LINESCROLL, 0, 5000);
  EXPECT_EQ(e->WindowLine(), e->MaxVisibleLine());

  // A click's pixel maps to its character: row 1 of the view shows line 6.
  const int x = 3 * CharWidth(*e) + 1, y = LineHeight(*e) + 1;
  e->Perform(TEditMessage::EM_LINESCROLL, 0, -5000);
  e->Perform(TEditMessage::EM_LINESCROLL, 0, 5);
  const auto packed = static_cast<uint32_t>(e->Perform(TEditMessage::EM_CHARFROMPOS, 0, x | (y << 16)).Result);
  EXPECT_EQ(packed >> 16, 6u);
  EXPECT_EQ(packed & 0xFFFF, static_cast<uint32_t>((6 * 72 + 3) & 0xFFFF));
}

TEST(QuillEdit, WheelStepsAccumulateAndScrollAtLeastOneLine) {
  auto e = MakeEdit();
  std::vector<std::string> lines(100, "text");
  SetLines(*e, lines);
  e->SetWindowLine(0);
  const int saved = QGuiApplication::styleHints()->wheelScrollLines();
  QGuiApplication::styleHints()->setWheelScrollLines(3);
  e->MouseWheel(-40);
  e->MouseWheel(-40);
  EXPECT_EQ(e->WindowLine(), 0);
  e->MouseWheel(-40);
  EXPECT_EQ(e->WindowLine(), 3);
  QGuiApplication::styleHints()->setWheelScrollLines(1);
  e->MouseWheel(-120);
  EXPECT_EQ(e->WindowLine(), 4);
  e->MouseWheel(120 * 50);
  EXPECT_EQ(e->WindowLine(), 0);
  QGuiApplication::styleHints()->setWheelScrollLines(saved);
}

TEST(QuillEdit, OverwriteModeIsSharedByEveryEditor) {
  auto a = MakeEdit();
  auto b = MakeEdit();
  a->SetOverwrite(true);
  EXPECT_TRUE(b->Overwrite());
  b->Toggle(ecToggleOverwrite);
  EXPECT_FALSE(a->Overwrite());
}

namespace {

class TNamedSource : public TCustomQuillEditSource {};

// An editor that only shows documents of its own class, as the rich editor does.
class TPickyEdit : public TCustomQuillEdit {
 public:
  TPickyEdit() : TCustomQuillEdit(nullptr, Classes()) {}

 private:
  static TQuillEditClasses Classes() {
    TQuillEditClasses c = DefaultClasses();
    c.EditSourceClassName = "TNamedSource";
    c.NewEditSource = [] { return std::make_unique<TNamedSource>(); };
    c.IsEditSource = [](const TCustomQuillEditSource& s) { return dynamic_cast<const TNamedSource*>(&s) != nullptr; };
    return c;
  }
};

}  // namespace

TEST(QuillEdit, ExternalDocumentsAreCheckedFollowedAndLetGoWhenDestroyed) {
  auto e = MakeEdit();
  SetLines(*e, {"own text"});
  {
    TCustomQuillEditSource shared;
    shared.Strings().Add("shared text");
    e->SetEditSource(&shared);
    EXPECT_EQ(LinesOf(*e), std::vector<std::string>{"shared text"});
    // Edits through the document reach the editor's rows and caret.
    shared.JumpTo(6, 0);
    shared.InsertString("!");
    EXPECT_EQ(LinesOf(*e), std::vector<std::string>{"shared! text"});
  }
  EXPECT_EQ(e->EditSource(), nullptr);
  EXPECT_EQ(LinesOf(*e), std::vector<std::string>{"own text"});

  viewtest::EnsureApp();
  TPickyEdit picky;
  TCustomQuillEditSource plain;
  TNamedSource named;
  try {
    picky.SetEditSource(&plain);
    FAIL() << "a document of another class was taken";
  } catch (const platform::Exception& error) {
    EXPECT_STREQ(error.what(), "The instance of TNamedSource expected");
  }
  EXPECT_EQ(picky.EditSource(), nullptr);
  picky.SetEditSource(&named);
  EXPECT_EQ(picky.EditSource(), &named);
}

TEST(QuillEdit, TurningWordWrapKeepsTheTopLine) {
  auto e = MakeEdit();
  e->resize(20 * CharWidth(*e) + 4, 100);
  Settle();
  std::vector<std::string> lines;
  for (int i = 0; i < 100; ++i) lines.push_back("line " + std::to_string(i) + " runs on past the edge of the window");
  SetLines(*e, lines);
  e->SetWindowLine(40);
  e->SetWordWrap(true);
  EXPECT_EQ(e->RowStart(e->WindowLine()), (TPoint{0, 40}));
  EXPECT_GT(e->WindowLine(), 40);
  e->SetWindowLine(e->WindowLine() + 1);  // the second row of line 40 (or later)
  const int line = e->RowStart(e->WindowLine()).Y;
  e->SetWordWrap(false);
  EXPECT_EQ(e->WindowLine(), line);
  EXPECT_EQ(e->WrapList().Count(), 0);
}

TEST(QuillEdit, IndentsAndLineNumberWidthsFollowTheText) {
  auto e = MakeEdit();
  EXPECT_EQ(e->GetLeftIndent(), 0);
  SetLines(*e, {"abc", "def"});
  EXPECT_EQ(e->PixelToTextPoint({0, 0}, false), (TPoint{0, 0}));

  struct Digits {
    int lines, startFrom, digits;
  };
  e->LineNumbers().SetVisible(true);
  for (const Digits d : {Digits{9, 1, 1}, Digits{10, 1, 2}, Digits{10, 0, 1}, Digits{100, 1, 3}}) {
    e->LineNumbers().SetStartFrom(d.startFrom);
    SetLines(*e, std::vector<std::string>(static_cast<size_t>(d.lines), "x"));
    EXPECT_EQ(e->GetLineNumberLength(), d.digits) << d.lines << " lines from " << d.startFrom;
    EXPECT_EQ(e->GetLeftIndent(), d.digits * CharWidth(*e) + e->LineNumbers().Indent());
  }

  // The longest line follows edits both ways.
  SetLines(*e, {"aaaa", "bb", "cccccc"});
  EXPECT_EQ(e->GetMaxLineWidth(), 6);
  TCustomQuillEditSource& doc = e->GetEditSource();
  doc.JumpTo(2, 1);
  doc.InsertString("bbbbbbb");
  EXPECT_EQ(e->GetMaxLineWidth(), 9);
  doc.JumpTo(0, 1);
  doc.DeleteString(8);
  EXPECT_EQ(e->GetMaxLineWidth(), 6);
}

// Text points and pixels map back and forth through scrolling, gutter,
// line numbers and wrapped rows, in each page type.
TEST(QuillEdit, PixelsAndTextPointsMapBothWays) {
  for (auto type : {TQuillPageType::ptNormal, TQuillPageType::ptPageBreaks, TQuillPageType::ptPageLayout}) {
    auto e = MakeEdit(500, 300);
    e->SetOptions(e->Options() | eoPaintGutter);
    e->LineNumbers().SetVisible(true);
    e->SetPageType(type);
    e->SetWordWrap(true);
    std::vector<std::string> lines;
    for (int i = 0; i < 300; ++i) lines.push_back("line " + std::to_string(i) + " holds words enough for two rows or more");
    SetLines(*e, lines);
    // Lines 150 to 152 in view: the last of them at the bottom.
    e->GetEditSource().JumpTo(0, 152);
    e->GetEditSource().JumpTo(0, 150);
    const int cw = CharWidth(*e), lh = LineHeight(*e);
    for (TPoint p : {TPoint{3, 150}, TPoint{20, 151}, TPoint{0, 152}}) {
      const TPoint pixel = e->TextToPixelPoint(p, false);
      ASSERT_GE(pixel.Y, 0) << static_cast<int>(type);
      ASSERT_LT(pixel.Y, e->ClientHeight()) << static_cast<int>(type);
      EXPECT_EQ(e->PixelToTextPoint({pixel.X + cw / 2, pixel.Y + lh / 2}, false), p) << static_cast<int>(type);
    }
  }
}

TEST(QuillEdit, PagesFollowTheTextAsItGrows) {
  auto e = MakeEdit(400, 300);
  e->SetPageType(TQuillPageType::ptPageBreaks);
  for (int i = 0; i < 300; ++i) e->Lines().Add("line " + std::to_string(i));
  e->GetEditSource().JumpTo(0, 299);
  Settle();
  TQuillPages& pages = e->Pages();
  ASSERT_GT(pages.Count(), 1);
  const int perPage = pages.GetItem(0).LastLine + 1;
  EXPECT_GT(perPage, 10);
  for (int i = 1; i < pages.Count(); ++i) {
    EXPECT_EQ(pages.GetItem(i).FirstLine, pages.GetItem(i - 1).LastLine + 1) << i;
    if (i + 1 == pages.Count()) continue;
    EXPECT_EQ(pages.GetItem(i).LastLine - pages.GetItem(i).FirstLine + 1, perPage) << i;
  }
  // A pixel below the last page maps to its last line.
  e->SetPageType(TQuillPageType::ptPageLayout);
  e->SetOptions(e->Options() | eoPaintGutter);
  // On paper the text starts right of the margin and of the gutter.
  TQuillPage& first = pages.GetItem(0);
  EXPECT_EQ(first.PageRect().Left, first.PageOuterRect(false).Left + first.LeftIndent() + e->GetLeftIndent());
  e->SetWindowLine(1 << 20);
  EXPECT_EQ(e->PixelToTextPoint({100, e->ClientHeight() - 1}, false).Y, 299);
}
