#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>

#include "QuillEdit_helpers.h"
#include "platform/Caret.h"

using namespace edittest;

namespace {

struct MoveCase {
  const char* what;
  std::vector<std::string> lines;
  TPoint from;
  std::vector<int> commands;  // Navigate, or DeleteStr when negative
  TPoint to;
  std::vector<std::string> after;  // empty: unchanged
};

}  // namespace

TEST(QuillEditCaret, CommandsMoveAndEditAtTheCaret) {
  const MoveCase cases[] = {
      {"word left from column 0 goes to the end of the line above", {"one", "two", "three", "four"}, {0, 3}, {ecWordLeft},
       {5, 2}, {}},
      {"word left on line 0 stays", {"one"}, {0, 0}, {ecWordLeft}, {0, 0}, {}},
      {"word right over the word and the blanks", {"one  two"}, {0, 0}, {ecWordRight}, {5, 0}, {}},
      {"word left steps over a picture", {"ab\x01"}, {3, 0}, {ecWordLeft, ecWordLeft}, {0, 0}, {}},
      {"word right stops before a picture, then steps over it", {"ab\x01" "cd"}, {0, 0}, {ecWordRight, ecWordRight},
       {3, 0}, {}},
      {"end stops before trailing blanks", {"abc   "}, {0, 0}, {ecLineEnd}, {3, 0}, {}},
      {"home goes to column 0", {"abc"}, {2, 0}, {ecLineStart}, {0, 0}, {}},
      {"backspace at the very start does nothing", {"ab"}, {0, 0}, {-ecLeft}, {0, 0}, {}},
      {"backspace at column 0 joins with the line above", {"ab", "cd"}, {0, 1}, {-ecLeft}, {2, 0}, {"abcd"}},
      {"delete at the end of a line joins the next", {"ab", "cd"}, {2, 0}, {-ecRight}, {2, 0}, {"abcd"}},
      {"delete word right", {"one two"}, {0, 0}, {-ecWordRight}, {0, 0}, {"two"}},
      {"delete the line", {"one", "two"}, {1, 0}, {-ecDeleteLine}, {0, 0}, {"two"}},
      {"delete to the line end", {"one two"}, {3, 0}, {-ecLineEnd}, {3, 0}, {"one"}},
  };
  for (const auto& c : cases) {
    auto e = MakeEdit();
    SetLines(*e, c.lines);
    e->GetEditSource().JumpTo(c.from.X, c.from.Y);
    for (int command : c.commands) {
      if (command < 0) e->DeleteStr(-command);
      else e->Navigate(command);
    }
    EXPECT_EQ(e->GetCurrentPosition(), c.to) << c.what;
    EXPECT_EQ(LinesOf(*e), c.after.empty() ? c.lines : c.after) << c.what;
  }
}

TEST(QuillEditCaret, VerticalMovesKeepTheScreenColumnUntilAHorizontalMove) {
  for (bool wrap : {false, true}) {
    auto e = MakeEdit();
    if (wrap) e->SetWordWrap(true);
    else e->SetOptions(e->Options() | eoKeepColumn);
    e->SetSourceOptions(e->SourceOptions() & ~srBeyondEol);
    SetLines(*e, {"abcdefgh", "ab", "abcdefgh"});
    e->GetEditSource().JumpTo(6, 0);
    e->Navigate(ecDown);
    EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 1})) << wrap;
    e->Navigate(ecDown);
    EXPECT_EQ(e->GetCurrentPosition(), (TPoint{6, 2})) << wrap;
    e->Navigate(ecLeft);
    e->Navigate(ecUp);
    e->Navigate(ecUp);
    EXPECT_EQ(e->GetCurrentPosition(), (TPoint{5, 0})) << wrap;
  }
}

// End on a wrapped row stops at the row's end and the caret shows there,
// not at the start of the next row; Up and Down move by rows.
TEST(QuillEditCaret, WrappedRowsHaveEndsOfTheirOwn) {
  auto e = MakeEdit();
  e->resize(10 * CharWidth(*e) + 2, 5 * LineHeight(*e));
  Settle();
  e->SetWordWrap(true);
  SetLines(*e, {"hello world foo bar"});
  e->GetEditSource().JumpTo(0, 0);
  e->Navigate(ecLineEnd);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{6, 0}));
  EXPECT_TRUE(e->CaretAtRowEnd());
  EXPECT_EQ(e->TextToPixelPoint(e->GetCurrentPosition(), true), (TPoint{6 * CharWidth(*e), 0}));
  EXPECT_EQ(e->GetCaretPos(), (TPoint{6, 0}));
  e->Navigate(ecDown);
  EXPECT_EQ(e->GetCaretPos().Y, 1);
  e->Navigate(ecLineStart);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{6, 0}));
  EXPECT_FALSE(e->CaretAtRowEnd());
  e->Navigate(ecLineEnd);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{16, 0}));
}

TEST(QuillEditCaret, ScrollingStaysWithinTheText) {
  auto e = MakeEdit();
  e->resize(200, 10 * LineHeight(*e));
  Settle();
  e->SetScrollBars(TScrollStyle::ssVertical);
  std::vector<std::string> lines;
  for (int i = 0; i < 30; ++i) lines.push_back("line " + std::to_string(i));
  SetLines(*e, lines);
  e->SetWindowLine(0);
  for (int i = 0; i < 50; ++i) e->DoVScroll(scLineDown, 0);
  EXPECT_EQ(e->WindowLine(), e->MaxVisibleLine());
  EXPECT_EQ(e->WindowLine(), 29);
  e->DoVScroll(scTop, 0);
  EXPECT_EQ(e->WindowLine(), 0);
  e->DoVScroll(scPageDown, 0);
  EXPECT_EQ(e->WindowLine(), 10);

  // Page up from the middle, then past the top: the caret keeps its place
  // on the screen, then goes to the first line.
  e->GetEditSource().JumpTo(2, 14);
  e->PageUpOrDown(true);
  EXPECT_EQ(e->WindowLine(), 0);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 4}));
  e->PageUpOrDown(true);
  EXPECT_EQ(e->WindowLine(), 0);
  EXPECT_EQ(e->GetCurrentPosition().Y, 0);

  // The caret is kept in view, just enough.
  e->GetEditSource().JumpTo(0, 25);
  EXPECT_EQ(e->WindowLine(), 16);
  e->GetEditSource().JumpTo(0, 20);
  EXPECT_EQ(e->WindowLine(), 16);
  e->CenterCurrentLine(false);
  EXPECT_EQ(e->WindowLine(), 16);
  e->GetEditSource().JumpTo(0, 12);
  e->CenterCurrentLine(false);
  EXPECT_EQ(e->WindowLine(), 8);
}

TEST(QuillEditCaret, WithoutACaretTheKeysScrollTheView) {
  auto e = MakeEdit();
  SetLines(*e, {std::string(200, 'x'), "y"});
  e->SetHideCaret(true);
  e->Navigate(ecRight);
  e->Navigate(ecRight);
  EXPECT_EQ(e->WindowChar(), 2);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 0}));
  e->Navigate(ecLeft);
  EXPECT_EQ(e->WindowChar(), 1);
  e->Navigate(ecLineStart);
  EXPECT_EQ(e->WindowChar(), 0);
  e->Navigate(ecDown);
  EXPECT_EQ(e->WindowLine(), 1);
  // On pages the view is scrolled in pixels: a line is a line's height.
  std::vector<std::string> many(200, "z");
  SetLines(*e, many);
  e->SetPageType(TQuillPageType::ptPageLayout);
  e->SetWindowLine(0);
  e->Navigate(ecDown);
  EXPECT_EQ(e->WindowLine(), LineHeight(*e));
  e->Navigate(ecUp);
  EXPECT_EQ(e->WindowLine(), 0);
}

TEST(QuillEditCaret, TheCaretNeverShowsOverTheGutter) {
  auto e = MakeEdit();
  e->SetOptions(e->Options() | eoPaintGutter);
  SetLines(*e, {std::string(100, 'x')});
  QApplication::setActiveWindow(e.get());
  e->setFocus();
  Settle();
  ASSERT_TRUE(e->hasFocus());
  const int gutter = e->GetLeftIndent();
  ASSERT_GT(gutter, 0);
  e->GetEditSource().JumpTo(3, 0);
  EXPECT_TRUE(e->Caret().Visible());
  EXPECT_EQ(e->Caret().Pos(), (TPoint{gutter + 3 * CharWidth(*e), 0}));
  // Scrolled sideways past the caret's column: parked out of sight.
  e->SetWindowChar(5);
  const int h = LineHeight(*e);
  EXPECT_EQ(e->Caret().Pos(), (TPoint{-2 * h, -2 * h}));
  // Losing the focus takes the caret away.
  e->clearFocus();
  Settle();
  EXPECT_FALSE(e->Caret().Visible());
}

// The bars show the rows and columns there are and move the view through
// Qt's own slider actions; dragging the thumb moves the text only with
// thumb tracking; a bar whose page covers all goes when asked.
TEST(QuillEditCaret, ScrollBarsFollowTheTextAndDriveTheView) {
  auto e = MakeEdit();
  e->resize(300, 10 * LineHeight(*e));
  Settle();
  e->SetScrollBars(TScrollStyle::ssBoth);
  Settle();
  std::vector<std::string> lines;
  for (int i = 0; i < 40; ++i) lines.push_back(std::string(static_cast<size_t>(i), 'x'));
  SetLines(*e, lines);
  e->SetWindowLine(0);
  Settle();
  QScrollBar* bar = e->verticalScrollBar();
  const int rows = e->ScrollPageSize().Y;
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), 39 - rows + 1);
  EXPECT_EQ(bar->pageStep(), rows);

  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(e->WindowLine(), 1);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(e->WindowLine(), 1 + rows);
  EXPECT_EQ(bar->value(), 1 + rows);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(e->WindowLine(), 0);

  // Without thumb tracking a drag moves the text on release, but every
  // step of it is told; the end of the scroll is not.
  std::vector<int> codes;
  e->OnScroll = [&](TQuillObject*, bool vertical, int code) {
    if (vertical) codes.push_back(code);
  };
  bar->setSliderDown(true);
  bar->setSliderPosition(12);
  EXPECT_EQ(e->WindowLine(), 0);
  bar->setSliderDown(false);
  EXPECT_EQ(e->WindowLine(), 12);
  EXPECT_EQ(codes, (std::vector<int>{scTrack, scPosition}));
  e->OnScroll = nullptr;
  // A tracked thumb moves the text as it goes, and its hint names the line
  // then at the top.
  e->SetOptions(e->Options() | eoThumbTracking | eoShowScrollHint);
  int hinted = 0;
  e->OnScrollHint = [&](TQuillObject*, int line, int, std::string&) { hinted = line; };
  bar->setSliderDown(true);
  bar->setSliderPosition(7);
  EXPECT_EQ(e->WindowLine(), 7);
  EXPECT_EQ(hinted, 8);
  bar->setSliderDown(false);
  e->OnScrollHint = nullptr;

  // The right end is the widest scroll less the columns in view.
  e->DoHScroll(scBottom, 0);
  EXPECT_EQ(e->WindowChar(), e->MaxScrollPos() - e->ScrollPageSize().X);
  e->DoHScroll(scTop, 0);
  EXPECT_EQ(e->WindowChar(), 0);

  // Short text: the bars go when they may, and stay (with nothing to do) when not.
  SetLines(*e, {"one", "two"});
  e->SetHideScrollBars(true);
  Settle();
  EXPECT_FALSE(e->verticalScrollBar()->isVisible());
  EXPECT_FALSE(e->horizontalScrollBar()->isVisible());
  e->SetHideScrollBars(false);
  Settle();
  EXPECT_TRUE(e->verticalScrollBar()->isVisible());
  EXPECT_EQ(e->verticalScrollBar()->maximum(), 0);
}

// A drag from an anchor selects to wherever the mouse is when the timer
// looks; with word selection whole words are taken.
TEST(QuillEditCaret, MouseSelectionFollowsTheMouseFromTheAnchor) {
  auto e = MakeEdit();
  SetLines(*e, {"alpha beta gamma", "delta epsilon"});
  const int cw = CharWidth(*e), lh = LineHeight(*e);
  TPoint mouse;
  e->MousePosition = [&] { return mouse; };
  e->SetPosByMouse(2 * cw + 1, lh / 2);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 0}));
  e->BeginMouseSelect(TQuillSelState::seSel, {2, 0});
  mouse = {4 * cw + 1, lh + lh / 2};
  e->MouseSelect();
  EXPECT_EQ(e->SelRect(), (TRect{2, 0, 4, 1}));
  mouse = {cw / 4, lh / 2};
  e->MouseSelect();
  EXPECT_EQ(e->SelRect(), (TRect{0, 0, 2, 0}));
  e->DisableSelTimer();
  EXPECT_EQ(e->SelState(), TQuillSelState::seNone);

  e->SetOptions(e->Options() | eoWordSelection);
  e->SetSelection({}, TQuillSelType::slNone);
  e->SetPosByMouse(8 * cw + 1, lh / 2);  // inside "beta"
  e->BeginMouseSelect(TQuillSelState::seSel, {8, 0});
  mouse = {13 * cw + 1, lh / 2};  // inside "gamma"
  e->MouseSelect();
  EXPECT_EQ(e->GetSelText(), "beta gamma");
  e->DisableSelTimer();

  // Words are taken by the way the mouse last went between lines: down to
  // "kappa" takes it to its end, back up into "epsilon" to its start.
  SetLines(*e, {"alpha beta gamma", "delta epsilon", "theta kappa"});
  e->SetPosByMouse(2 * cw + 1, lh / 2);
  e->BeginMouseSelect(TQuillSelState::seSel, {2, 0});
  mouse = {8 * cw + 1, 2 * lh + lh / 2};
  e->MouseSelect();
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{11, 2}));
  mouse = {8 * cw + 1, lh + lh / 2};
  e->MouseSelect();
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{6, 1}));
  EXPECT_EQ(e->SelRect(), (TRect{0, 0, 6, 1}));
  e->DisableSelTimer();
}
