#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QScreen>

#include <cstdlib>

#include "QuillEdit_helpers.h"
#include "QuillView_helpers.h"
#include "platform/QtCanvas.h"
#include "platform/RecordingCanvas.h"

using namespace edittest;

namespace {

// Writes down the area of every paint.
class TPaintLog : public TQuillEdit {
 public:
  std::vector<TRect> painted;

 protected:
  void Paint() override {
    painted.push_back(Canvas().ClipRect());
    TQuillEdit::Paint();
  }
};

// What the window shows (the pixels kept between paints), and what a full
// paint of the editor draws.
QImage Shown(QWidget& w) { return w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32); }

QImage FullPaint(TCustomQuillEdit& e) {
  QImage image(e.ClientWidth(), e.ClientHeight(), QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    platform::TQtCanvas canvas(painter);
    e.PaintTo(canvas);
  }
  return image;
}

}  // namespace

// Scrolling by a row moves the pixels and paints only the row that comes
// into view; after a run of such scrolls the window shows exactly what a
// full paint draws (wrapped rows, line numbers, a selection).
TEST(QuillEditPaint, ScrollingMovesPixelsAndPaintsOnlyTheUncoveredRow) {
  viewtest::EnsureApp();
  TPaintLog e;
  Prepare(e, 300, 100);
  const int lh = LineHeight(e);
  e.resize(300, 8 * lh);
  e.LineNumbers().SetVisible(true);
  e.LineNumbers().SetStartFrom(1);
  e.SetWordWrap(true);
  std::vector<std::string> lines;
  for (int i = 0; i < 60; ++i) lines.push_back("line " + std::to_string(i) + (i % 3 ? " short" : " wraps into a second row of text"));
  SetLines(e, lines);
  e.SetSelection({3, 4, 6, 7}, TQuillSelType::slStream);
  e.SetWindowLine(0);
  // No caret: its blinking cell would be painted too.
  e.clearFocus();
  Settle();

  const int w = e.ClientWidth(), h = e.ClientHeight();
  e.painted.clear();
  e.SetWindowLine(1);
  Settle();
  ASSERT_EQ(e.painted.size(), 1u);
  EXPECT_EQ(e.painted[0], (TRect{0, h - lh, w, h}));
  e.painted.clear();
  e.SetWindowLine(0);
  Settle();
  ASSERT_EQ(e.painted.size(), 1u);
  EXPECT_EQ(e.painted[0], (TRect{0, 0, w, lh}));

  for (int top : {1, 2, 4, 3, 6, 7, 5}) {
    e.SetWindowLine(top);
    Settle();
  }
  const QImage shown = Shown(e);
  ASSERT_EQ(shown.size(), QSize(w, h));
  EXPECT_TRUE(shown == FullPaint(e));
  const char* dir = std::getenv("PARLO_BINARY_DIR");
  shown.save(QString::fromStdString(std::string(dir != nullptr ? dir : ".") + "/editor-control-sample.png"));
}

// A selection change repaints the rows it touches and no others.
TEST(QuillEditPaint, ASelectionRepaintsOnlyItsRows) {
  viewtest::EnsureApp();
  TPaintLog e;
  Prepare(e, 300, 200);
  const int lh = LineHeight(e);
  SetLines(e, std::vector<std::string>(20, "some text on a line"));
  e.clearFocus();
  Settle();
  struct Case {
    TRect selection;
    int firstRow, lastRow;
  };
  for (const Case& c : {Case{{2, 3, 9, 3}, 3, 3}, Case{{5, 2, 4, 6}, 2, 6}, Case{{1, 8, 2, 8}, 8, 8}}) {
    e.SetSelection({}, TQuillSelType::slNone);
    Settle();
    e.painted.clear();
    e.SetSelection(c.selection, TQuillSelType::slStream);
    Settle();
    ASSERT_FALSE(e.painted.empty());
    for (const TRect& r : e.painted) {
      EXPECT_GE(r.Top, c.firstRow * lh);
      EXPECT_LE(r.Bottom, (c.lastRow + 1) * lh);
    }
  }
  // On pages too, within the page's text.
  e.SetPageType(TQuillPageType::ptPageLayout);
  e.SetSelection({}, TQuillSelType::slNone);
  Settle();
  e.painted.clear();
  e.SetSelection({2, 3, 9, 3}, TQuillSelType::slStream);
  Settle();
  ASSERT_FALSE(e.painted.empty());
  const TPoint row = e.TextToPixelPoint({0, 3}, false);
  const TRect text = e.Pages().GetItem(0).PageRect();
  for (const TRect& r : e.painted) {
    EXPECT_GE(r.Top, row.Y);
    EXPECT_LE(r.Bottom, row.Y + lh);
    EXPECT_GE(r.Left, text.Left);
  }
  // So does a change of that line's text.
  e.SetSelection({}, TQuillSelType::slNone);
  Settle();
  e.painted.clear();
  e.GetEditSource().JumpTo(0, 3);
  e.GetEditSource().InsertString("new ");
  Settle();
  ASSERT_FALSE(e.painted.empty());
  for (const TRect& r : e.painted) {
    EXPECT_GE(r.Top, row.Y);
    EXPECT_LE(r.Bottom, row.Y + lh);
  }
}

TEST(QuillEditPaint, LineNumbersSkipHiddenLinesAndContinuationRows) {
  auto e = MakeEdit(300, 200);
  e->LineNumbers().SetVisible(true);
  e->LineNumbers().SetStartFrom(1);
  e->LineNumbers().SetAlignment(TQuillLineNumbersAlign::lnRight);
  std::vector<std::string> lines(120, "text");
  SetLines(*e, lines);
  int index = 2;
  EXPECT_EQ(e->GetVisibleLineIndex(index), 0);  // no lines hidden: left as it is
  EXPECT_EQ(index, 2);
  e->SetSourceOptions(e->SourceOptions() | srAllowHiddenLines);
  e->Lines().SetCollapsed(0, true);
  e->Lines().SetVisible(1, false);
  EXPECT_EQ(e->GetVisibleLineIndex(index), 1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(e->GetRealLineIndex(index), 2);
  e->SetWindowLine(0);

  platform::TRecordingCanvas canvas({0, 0, e->ClientWidth(), e->ClientHeight()});
  e->PaintTo(canvas);
  std::vector<std::string> numbers;
  for (const std::string& call : viewtest::CallsStarting(canvas, "ExtTextOut 0,")) {
    const size_t quote = call.find('"');
    numbers.push_back(call.substr(quote + 1, call.find('"', quote + 1) - quote - 1));
  }
  ASSERT_GE(numbers.size(), 6u);
  // Three digits for 120 lines, right-aligned; line 2 is hidden.
  EXPECT_EQ((std::vector<std::string>(numbers.begin(), numbers.begin() + 6)),
            (std::vector<std::string>{"  1", "  3", "  4", "  5", "  6", "  7"}));
}

TEST(QuillEditPaint, FormattingMarksStandForBlanksTabsAndLineEnds) {
  auto e = MakeEdit();
  SetLines(*e, {"a b"});
  EXPECT_EQ(e->GetFmtString(0), "a\xB7" "b\xB6");
  e->SetSourceOptions(e->SourceOptions() | srUseTab);
  e->GetEditSource().SetTabStops("4");
  SetLines(*e, {"\tb", "ab\tc"});
  EXPECT_EQ(e->GetFmtString(0), "\xB7\xBB\xB7\xB7" "b\xB6");
  EXPECT_EQ(e->GetFmtString(1), "ab\xBB\xB7" "c\xB6");
  e->OnGetFormattingMark = [](TQuillObject*, TQuillFormattingMark mark, char& ch) {
    if (mark == TQuillFormattingMark::fmSpace) ch = 0;
  };
  EXPECT_EQ(e->GetFmtString(0), " \xBB  b\xB6");
}
