#include <gtest/gtest.h>

#include <QScrollBar>

#include "QuillEdit_helpers.h"
#include "QuillView_helpers.h"

using namespace quill;
using viewtest::FakeView;

namespace {
// Letter paper at 96 dots per inch is 816 x 1054 pixels; less two margins of
// 24 that leaves 1006 pixels of text, 83 rows of 12.
constexpr int kRowsPerPage = 83;

std::vector<std::string> Lines(int count, const std::string& text = "x") {
  return std::vector<std::string>(static_cast<size_t>(count), text);
}
}  // namespace

TEST(QuillPages, PaperSizesAndMargins) {
  FakeView v;
  TQuillPage& page = v.pages.GetItem(0);
  EXPECT_EQ(page.GetRealPageSize(), (TPoint{816, 1054}));
  page.SetPageSize(TQuillPageSize::psA4);
  EXPECT_EQ(page.PageWidth(), 210);
  EXPECT_EQ(page.PageHeight(), 297);
  page.SetPageWidth(210);  // its own value: no change
  EXPECT_EQ(page.PageSize(), TQuillPageSize::psA4);
  page.SetPageWidth(200);
  EXPECT_EQ(page.PageSize(), TQuillPageSize::psOther);
  EXPECT_EQ(page.PageHeight(), 297);
  const TPoint portrait = page.GetRealPageSize();
  page.SetOrientation(TQuillPageOrientation::pgLandscape);
  EXPECT_EQ(page.GetRealPageSize(), (TPoint{portrait.Y, portrait.X}));
  page.SetLeftIndent(-5);
  page.SetPageHeight(-1);
  page.SetTopGutterHeight(-2);
  EXPECT_EQ(page.LeftIndent(), 0);
  EXPECT_EQ(page.PageHeight(), 0);
  EXPECT_EQ(page.TopGutterHeight(), 0);
  // New pages take the first page's settings.
  v.pageType = TQuillPageType::ptPageBreaks;
  EXPECT_EQ(v.pages.Add().PageWidth(), 200);
  // Pages assigned are as many, with their settings, measured anew.
  FakeView other;
  other.pages.Assign(v.pages);
  ASSERT_EQ(other.pages.Count(), 2);
  EXPECT_EQ(other.pages.GetItem(1).PageWidth(), 200);
  EXPECT_EQ(other.pages.MeasuredCount(), 0);
}

TEST(QuillPages, TextFlowsOverPagesAndLookupsStopAtTheEnd) {
  FakeView v;
  v.pageType = TQuillPageType::ptPageBreaks;
  v.SetText(Lines(200));
  TQuillPages& pages = v.pages;
  // While rows are rebuilt, a text point on a stale page answers it unmeasured.
  v.rebuildingFrom = 0;
  EXPECT_EQ(pages.GetPageIndexAt({0, 150}, true), 0);
  EXPECT_EQ(pages.MeasuredCount(), 0);
  v.rebuildingFrom = -1;
  EXPECT_EQ(pages.GetPageIndexAt({0, 0}, true), -1);  // the very start
  EXPECT_EQ(pages.GetPageIndexAt({0, 150}, true), 1);
  EXPECT_EQ(pages.GetItem(0).LastLine, kRowsPerPage - 1);
  EXPECT_EQ(pages.GetItem(1).FirstLine, kRowsPerPage);
  // Past the last line: the last page, and no pages beyond the text.
  EXPECT_EQ(pages.GetPageIndexAt({0, 5000}, true), 2);
  EXPECT_EQ(pages.Count(), 3);
  EXPECT_EQ(pages.GetPageIndexAt({3, 5000}, true), 2);
  EXPECT_EQ(pages.Count(), 3);
  // Page-break pages are as high as their text.
  EXPECT_EQ(pages.GetItem(1).Height, kRowsPerPage * 12);
  EXPECT_EQ(pages.GetPageIndexAt({0, kRowsPerPage * 12 + 1}, false), 1);

  // Text that shrinks drops the pages it no longer reaches, never the first.
  v.SetText(Lines(10));
  pages.GetItem(0).LastLine = 9;
  pages.RemoveExtraPages();
  EXPECT_EQ(pages.Count(), 1);
}

TEST(QuillPages, AWrappedLineContinuesOnTheNextPage) {
  FakeView v;
  v.pageType = TQuillPageType::ptPageLayout;
  v.wordWrap = true;
  v.SetText({std::string(1000, 'w'), "end"});
  v.WrapAll(4);
  TQuillPages& pages = v.pages;
  EXPECT_EQ(pages.GetPageIndexAt({400, 0}, true), 1);
  const TQuillPage& first = pages.GetItem(0);
  const TQuillPage& second = pages.GetItem(1);
  EXPECT_EQ(first.LastLine, 0);
  EXPECT_EQ(first.LastChar, kRowsPerPage * 4 - 1);
  EXPECT_EQ(second.FirstLine, 0);
  EXPECT_EQ(second.FirstChar, kRowsPerPage * 4);
  // In page layout pages sit on the desk one below the other.
  EXPECT_EQ(first.Top, 24);
  EXPECT_EQ(second.Top, 24 + 1054 + 24);
  // The estimate must not divide by the last line of a page that ends
  // inside line 0.
  EXPECT_EQ(pages.GetEstimatedHeight(), pages.GetMaxScrollHeight());
  EXPECT_EQ(pages.GetPageIndexAt({1, 1}, true), 3);
  EXPECT_EQ(pages.Count(), 4);
}

// A page too low for even one row still takes one, so that paging ends.
TEST(QuillPages, APageLowerThanOneLineStillHoldsOne) {
  FakeView v;
  v.pageType = TQuillPageType::ptPageBreaks;
  v.SetText(Lines(20));
  v.pages.GetItem(0).SetPageHeight(5);
  EXPECT_EQ(v.pages.GetPageIndexAt({0, 19}, true), 19);
  EXPECT_EQ(v.pages.Count(), 20);
  EXPECT_EQ(v.pages.GetPageIndexAt({0, 400}, true), 19);
  EXPECT_EQ(v.pages.Count(), 20);
}

// The height estimate of a long text is computed in 64 bits: its product
// passes 2^31 long before the answer does.
TEST(QuillPages, EstimatesTallTextsWithoutOverflow) {
  FakeView v;
  v.pageType = TQuillPageType::ptPageLayout;
  const int lines = 83000;
  v.SetText(Lines(lines));
  v.pages.GetPageIndexAt({0, lines / 2}, true);
  const TQuillPage& last = v.pages.GetItem(v.pages.MeasuredCount() - 1);
  ASSERT_GT(int64_t{last.Top + last.Height} * lines, int64_t{1} << 31);
  const int64_t pagesInAll = (lines + kRowsPerPage - 1) / kRowsPerPage;
  const int estimate = v.pages.GetEstimatedHeight();
  EXPECT_NEAR(estimate, pagesInAll * (1054 + 24), 2 * 1078);
}

TEST(QuillPages, PaintsBreaksAndNumbers) {
  FakeView v;
  v.pageType = TQuillPageType::ptPageBreaks;
  v.SetText(Lines(200));
  v.pages.GetPageIndexAt({0, 199}, true);
  TQuillPage& page = v.pages.GetItem(0);
  page.SetPaintPageNumber(true);
  page.SetNumAlignment(TQuillNumAlignment::taRightJustify);
  PaintPageBreak(v, v.recorder, 0, 996);
  PaintPageBreak(v, v.recorder, 2, 2000);  // no break after the last page
  PaintPageNumber(v, v.recorder, 0, {0, 0, 400, 996});
  PaintPageNumber(v, v.recorder, 1, {0, 0, 400, 996});  // numbers are per page
  EXPECT_EQ(v.recorder.Calls(), (std::vector<std::string>{"Line 0,996-400,996 pen=clBlack,dot",
                                                          "ExtTextOut 392,983 \"1\" font=Courier New,-10 color=clWindowText"}));
}

// A page on the desk: the paper, the desk around it, a frame and a shadow,
// each pixel covered once.
TEST(QuillPages, PaintsAPageOnTheDesk) {
  FakeView v;
  v.pageType = TQuillPageType::ptPageLayout;
  v.SetText(Lines(10));
  v.pages.GetPageIndexAt({0, 9}, true);
  PaintPages(v, v.recorder, {0, 0, 1000, 1200}, 0, 0, false);
  EXPECT_EQ(v.recorder.Calls(), (std::vector<std::string>{
                                    "FillRect 64,24,880,1078 brush=clWindow",
                                    "FillRect 0,24,63,1080 brush=clBtnShadow",
                                    "FillRect 882,24,1000,1080 brush=clBtnShadow",
                                    "FillRect 0,0,1000,23 brush=clBtnShadow",
                                    "Rectangle 63,23,881,1079 brush=clBtnShadow,clear pen=clBlack",
                                    "Line 881,24-881,1080 pen=clBlack",
                                    "Line 64,1079-881,1079 pen=clBlack",
                                    "FillRect 0,1080,1000,1200 brush=clBtnShadow"}));
}

// However the page layout and the vertical bar come, the bar reaches the
// last page and the last line can be scrolled to.
TEST(QuillPages, TheBarReachesTheLastPageWhicheverIsSetFirst) {
  std::vector<int> ranges;
  for (bool barFirst : {false, true}) {
    auto e = edittest::MakeEdit(400, 300);
    edittest::SetLines(*e, Lines(300, "a line of text"));
    if (barFirst) e->SetScrollBars(TScrollStyle::ssVertical);
    e->SetPageType(TQuillPageType::ptPageLayout);
    if (!barFirst) e->SetScrollBars(TScrollStyle::ssVertical);
    edittest::Settle();
    // Pages are measured as they are shown: the end is reached in steps.
    for (int i = 0; i < 8; ++i) {
      e->DoVScroll(scBottom, 0);
      e->viewport()->repaint();
      edittest::Settle();
    }
    EXPECT_EQ(e->PixelToTextPoint({0, e->ClientHeight() - 1}, false).Y, 299) << barFirst;
    EXPECT_EQ(e->Pages().Count(), 5) << barFirst;
    ranges.push_back(e->verticalScrollBar()->maximum());
  }
  EXPECT_EQ(ranges[0], ranges[1]);
}
