#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

#include "QuillEdit_helpers.h"

using namespace edittest;

// The text length is kept as lines change, and positions are walked from
// the nearer end: after any mix of edits both agree with the text itself.
TEST(QuillEditMessages, LengthAndPositionsAgreeWithTheTextAfterEdits) {
  auto e = MakeEdit();
  std::mt19937 rng(18);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(std::max(n, 1))); };
  const char* pieces[] = {"a", "xyz", "\r\n", "one\r\ntwo", "\r\n\r\n", "", "tail\r\n"};
  for (int step = 0; step < 400; ++step) {
    const int len = e->GetTextLen();
    switch (pick(6)) {
      case 0:
      case 1:
        e->SetSelStart(pick(len + 1));
        e->SetSelText(pieces[pick(7)]);
        break;
      case 2:
        e->SetSelStart(pick(len + 1));
        e->SetSelLength(pick(8) - 3);
        e->ClearSelection();
        break;
      case 3: e->Undo(); break;
      case 4: e->Redo(); break;
      case 5:
        if (step % 50 == 0) SetLines(*e, {"ab", "", "cde"});
        break;
    }
    const std::string text = e->Lines().Text();
    const int expected = std::max(static_cast<int>(text.size()) - 2, 0);
    ASSERT_EQ(e->GetTextLen(), expected) << step;
    // Every point of the text and back, and what lies before it.
    for (int y = 0; y < e->LineCount(); ++y)
      for (int x = 0; x <= e->LineWidth(y); ++x) {
        const int pos = e->TextPointToPos({x, y});
        ASSERT_EQ(e->PosToTextPoint(pos), (TPoint{x, y})) << step;
        const std::string before = text.substr(0, static_cast<size_t>(pos));
        ASSERT_EQ(std::count(before.begin(), before.end(), '\n'), y) << step;
      }
  }
}

// The selection as start and length, and the text put in its place.
TEST(QuillEditMessages, SelectionByPositionAndSelText) {
  auto e = MakeEdit();
  SetLines(*e, {"ab", "cd"});
  e->SetSelStart(1);
  e->SetSelLength(4);  // b, the line break, c
  EXPECT_EQ(e->GetSelText(), "b\r\nc");
  EXPECT_EQ(e->GetSelStart(), 1);
  EXPECT_EQ(e->GetSelLength(), 4);
  e->SetSelText("X");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"aXd"}));
  e->SetSelStart(3);
  e->SetSelLength(-2);
  EXPECT_EQ(e->GetSelText(), "Xd");
  e->SetSelText("");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"a"}));

  // Past the end the caret is clamped to the last line, a selection to the
  // end of the text (no lines that are not there).
  e->SetSelStart(INT_MAX);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 0}));
  e->SetSelLength(100);
  EXPECT_EQ(e->GetSelText(), "a");

  // A transcript's append: the caret after the text, on a new last line
  // where the next append begins; length 0 then changes nothing.
  e->SetSelStart(e->GetTextLen());
  e->SetSelText("word\r\n");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"aword", ""}));
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 1}));
  EXPECT_FALSE(e->CanCopy());
  e->SetSelLength(0);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 1}));
  e->SetSelStart(e->GetTextLen());
  e->SetSelText("next");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"aword", "next"}));
  e->SelectAll();
  e->SetSelStart(0);
  EXPECT_FALSE(e->CanCopy());
  e->SetModified(false);
  EXPECT_TRUE(e->GetCanUndo());
  e->ClearUndo();
  EXPECT_FALSE(e->GetCanUndo());
  EXPECT_FALSE(e->GetModified());
}
