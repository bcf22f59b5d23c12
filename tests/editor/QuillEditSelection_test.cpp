#include <gtest/gtest.h>

#include "QuillEdit_helpers.h"

using namespace edittest;

namespace {

struct BlockCase {
  const char* what;
  std::vector<std::string> lines;
  TPoint caret;
  TRect selection;
  TQuillSelType type;
  int command;
  std::vector<std::string> expected;
};

using Lines = std::vector<std::string>;

}  // namespace

// Each command changes the text as it should, in one step the user can undo.
TEST(QuillEditSelection, BlockCommandsChangeTheSelectedTextInOneUndoStep) {
  using enum TQuillSelType;
  const BlockCase cases[] = {
      {"indent keeps empty lines empty", {"one", "", "three"}, {0, 0}, {0, 0, 5, 2}, slStream, ecIndentBlock,
       {"  one", "", "  three"}},
      {"outdent takes blanks, never text", {" one", "   two", "three"}, {0, 0}, {0, 0, 5, 2}, slStream, ecOutdentBlock,
       {"one", " two", "three"}},
      {"toggle case", {"aB1"}, {0, 0}, {0, 0, 3, 0}, slStream, ecToggleCase, {"Ab1"}},
      {"capitalise", {"hello WORLD"}, {0, 0}, {0, 0, 11, 0}, slStream, ecCapitalize, {"Hello World"}},
      {"upper case", {"mixed \xE9t\xE9"}, {0, 0}, {0, 0, 9, 0}, slStream, ecUpperCaseBlock, {"MIXED \xC9T\xC9"}},
      {"lower case of a column", {"ABCD", "EFGH"}, {0, 0}, {1, 0, 2, 1}, slBlock, ecLowerCaseBlock, {"AbcD", "EfgH"}},
      {"lower-case word at the caret", {"ABC DEF"}, {5, 0}, {}, slNone, ecLowerCaseWord, {"ABC def"}},
      {"delete a stream over lines", {"abcdef", "ghij", "klmn"}, {0, 0}, {2, 0, 1, 2}, slStream, ecDeleteBlock,
       {"ablmn"}},
      {"delete a column block", {"abcdef", "ghijkl"}, {0, 0}, {1, 0, 2, 1}, slBlock, ecDeleteBlock, {"adef", "gjkl"}},
      {"copy the selection to the caret", {"abc", "xyz"}, {1, 1}, {0, 0, 2, 0}, slStream, ecCopyToCaret,
       {"abc", "xabyz"}},
  };
  for (const auto& c : cases) {
    auto e = MakeEdit();
    SetLines(*e, c.lines);
    e->GetEditSource().JumpTo(c.caret.X, c.caret.Y);
    e->SetSelection(c.selection, c.type);
    e->ProcessBlock(c.command);
    EXPECT_EQ(LinesOf(*e), c.expected) << c.what;
    e->GetEditSource().Undo();
    EXPECT_EQ(LinesOf(*e), c.lines) << c.what;
  }
}

TEST(QuillEditSelection, SelectionsFollowTheirRules) {
  auto e = MakeEdit();
  SetLines(*e, {"abcdef", "ab", "abcdef"});
  // A column block with Left = Right is one column wide, unless reduced.
  e->SetSelection({2, 0, 2, 2}, TQuillSelType::slBlock);
  EXPECT_EQ(e->SelStrings().Count(), 3);
  EXPECT_EQ(e->SelStrings().Get(0), "c");
  EXPECT_EQ(e->SelStrings().Get(1), " ");
  e->SetOptions(e->Options() | eoReduceBlockSel);
  e->SetSelection({}, TQuillSelType::slNone);
  e->SetSelection({2, 0, 2, 2}, TQuillSelType::slBlock);
  EXPECT_EQ(e->SelType(), TQuillSelType::slNone);
  // A stream that ends before it starts is none.
  e->SetSelection({4, 0, 2, 0}, TQuillSelType::slStream);
  EXPECT_EQ(e->SelType(), TQuillSelType::slNone);
  // Past the end of a short line the text is padded to the selected width.
  e->SetSelection({1, 1, 6, 1}, TQuillSelType::slStream);
  EXPECT_EQ(e->GetSelText(), "b    ");
  // Word wrap allows no column blocks: bsBlock selects nothing, bsBoth a stream.
  e->SetWordWrap(true);
  e->SetBlockSelMode(TQuillBlockSelMode::bsBlock);
  e->SetSelection({0, 0, 2, 1}, TQuillSelType::slStream);
  EXPECT_EQ(e->SelType(), TQuillSelType::slNone);
  e->SetBlockSelMode(TQuillBlockSelMode::bsBoth);
  e->SetSelection({0, 0, 2, 1}, TQuillSelType::slBlock);
  EXPECT_EQ(e->SelType(), TQuillSelType::slStream);
}

TEST(QuillEditSelection, MarksAndShiftMovesBuildSelections) {
  auto e = MakeEdit();
  SetLines(*e, {"abcdef", "ghijkl"});
  TCustomQuillEditSource& doc = e->GetEditSource();
  // Without a selection, mark begin only remembers; mark end then selects.
  doc.JumpTo(1, 0);
  e->ProcessBlock(ecMarkBlockBegin);
  EXPECT_EQ(e->SelType(), TQuillSelType::slNone);
  doc.JumpTo(3, 1);
  e->ProcessBlock(ecMarkBlockEnd);
  EXPECT_EQ(e->SelRect(), (TRect{1, 0, 3, 1}));
  // Mark begin selects from the caret to the mark, mark end from the mark to
  // the caret; a stream running backwards is no selection. Either way the
  // mark moves to the caret.
  struct Case {
    int command;
    TPoint caret;
    TQuillSelType type;
  };
  for (const Case& c : {Case{ecMarkBlockBegin, {1, 0}, TQuillSelType::slStream},
                        Case{ecMarkBlockBegin, {4, 1}, TQuillSelType::slNone},
                        Case{ecMarkBlockEnd, {4, 1}, TQuillSelType::slStream},
                        Case{ecMarkBlockEnd, {1, 0}, TQuillSelType::slNone}}) {
    e->SetSelection({}, TQuillSelType::slNone);
    doc.JumpTo(3, 1);
    e->ProcessBlock(ecMarkBlockBegin);  // the mark, at (3,1)
    doc.JumpTo(c.caret.X, c.caret.Y);
    e->ProcessBlock(c.command);
    EXPECT_EQ(e->SelType(), c.type) << c.command << " at " << c.caret.X;
  }

  // Shift+Right three times, then Left past the start: the selection shrinks,
  // vanishes and grows the other way.
  e->SetSelection({}, TQuillSelType::slNone);
  doc.JumpTo(2, 0);
  for (int i = 0; i < 3; ++i) e->SelectStreamBlock(ecRight);
  EXPECT_EQ(e->SelRect(), (TRect{2, 0, 5, 0}));
  for (int i = 0; i < 3; ++i) e->SelectStreamBlock(ecLeft);
  EXPECT_EQ(e->SelType(), TQuillSelType::slNone);
  e->SelectStreamBlock(ecLeft);
  e->SelectStreamBlock(ecDown);
  EXPECT_EQ(e->SelRect(), (TRect{2, 0, 1, 1}));
  // A column block from the caret.
  e->SetSelection({}, TQuillSelType::slNone);
  doc.JumpTo(1, 0);
  e->SelectSquareBlock(ecDown);
  e->SelectSquareBlock(ecRight);
  EXPECT_EQ(e->SelType(), TQuillSelType::slBlock);
  EXPECT_EQ(e->GetSelText(), "bc\r\nhi");
}

TEST(QuillEditSelection, APersistentSelectionFollowsEditsBeforeIt) {
  auto e = MakeEdit();
  e->SetOptions(e->Options() | eoPersistentBlocks);
  SetLines(*e, {"abcdef", "ghij"});
  e->SetSelection({2, 0, 2, 1}, TQuillSelType::slStream);
  TCustomQuillEditSource& doc = e->GetEditSource();
  doc.JumpTo(0, 0);
  doc.InsertString("XY");
  EXPECT_EQ(e->GetSelText(), "cdef\r\ngh");
  doc.JumpTo(0, 0);
  doc.BreakString();
  EXPECT_EQ(e->SelRect(), (TRect{4, 1, 2, 2}));
  EXPECT_EQ(e->GetSelText(), "cdef\r\ngh");
}

// A range that goes in one step (no undo kept) moves a persistent selection
// as the line-by-line steps that keep undo move it: below the range, over
// its end, inside it.
TEST(QuillEditSelection, APersistentSelectionFollowsARangeDeletedInOneStep) {
  const Lines lines = {"abcdef", "ghij", "klmnop", "qrst", "uvwxyz", "0123"};
  const TRect selections[] = {{1, 4, 3, 5}, {2, 3, 2, 4}, {0, 2, 3, 2}, {4, 0, 1, 2}, {1, 1, 2, 4}};
  for (const TRect& selection : selections) {
    auto follow = [&](bool undo) {
      auto e = MakeEdit();
      e->SetOptions(e->Options() | eoPersistentBlocks);
      SetLines(*e, lines);
      TCustomQuillEditSource& doc = e->GetEditSource();
      if (!undo) doc.SetOptions(doc.Options() & ~srAllowUndo);
      e->SetSelection(selection, TQuillSelType::slStream);
      {
        TQuillSourceUpdate update(doc, oprDeleteBlock);
        doc.DeleteRange({2, 1}, {1, 3});
      }
      return std::make_pair(LinesOf(*e), e->SelRect());
    };
    const auto steps = follow(true), range = follow(false);
    EXPECT_EQ(range.first, steps.first);
    EXPECT_EQ(range.second, steps.second) << selection.Left << "," << selection.Top;
  }
}
