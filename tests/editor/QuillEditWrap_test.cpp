#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "QuillEdit_helpers.h"

using namespace edittest;

namespace {

// A wrapped editor whose text area is Columns characters wide (plus a
// sliver that holds no whole character).
std::unique_ptr<TQuillEdit> WrappedEdit(int columns, int rows = 10) {
  auto e = MakeEdit();
  e->resize(columns * CharWidth(*e) + CharWidth(*e) / 2, rows * LineHeight(*e));
  Settle();
  e->SetWordWrap(true);
  return e;
}

struct WrapCase {
  const char* what;
  int columns;
  std::string line;
  std::vector<std::string> rows;
};

}  // namespace

TEST(QuillEditWrap, LinesBreakAtDelimitersAndAlwaysGetOn) {
  const WrapCase cases[] = {
      {"words", 10, "hello world foo bar", {"hello ", "world foo ", "bar"}},
      {"a word longer than the row", 5, "abcdefghijkl", {"abcd", "efgh", "ijkl"}},
      {"blanks only", 4, std::string(10, ' '), {"     ", "     "}},
      {"empty line", 10, "", {""}},
      {"a picture after a long word", 6, "abcd\x01xy", {"abcd", "\x01xy"}},
      {"narrower than a character", 0, "abc de", {"a", "b", "c ", "d", "e"}},
  };
  for (const auto& c : cases) {
    auto e = WrappedEdit(c.columns);
    SetLines(*e, {c.line});
    EXPECT_EQ(e->GetWrapLines(), c.rows) << c.what;
  }
}

// Rows are made lazily a fixed distance past the view; what the view
// reaches for is wrapped then, and an edit rewraps only from its line.
TEST(QuillEditWrap, WrapsAheadOfTheViewAndOnDemand) {
  auto e = WrappedEdit(20, 10);
  std::vector<std::string> lines;
  for (int i = 0; i < 5000; ++i) lines.push_back("line " + std::to_string(i) + " has two rows of text");
  SetLines(*e, lines);
  TQuillWrapList& rows = e->WrapList();
  EXPECT_LT(rows.LastLine(), 300);
  EXPECT_GE(rows.Count(), TQuillWrapList::cDefaultWrapDelta);
  EXPECT_EQ(e->WrapLineCount(), 5000);  // the lines, while the rows are fewer
  // A line changed past the rows made gets its rows after those before it.
  e->Lines().Put(3000, "changed far below the rows");
  EXPECT_EQ(rows.Count(), 2 * (rows.LastLine() + 1));

  e->GetEditSource().JumpTo(0, 4999);
  EXPECT_EQ(rows.LastLine(), 4999);
  EXPECT_EQ(rows.Count(), 10000);
  EXPECT_EQ(e->WindowLine(), 9998 - 9);  // the caret's row at the bottom

  TCustomQuillEditSource& doc = e->GetEditSource();
  doc.JumpTo(0, 4999);
  doc.InsertString("and then some more words ");
  EXPECT_EQ(rows.Count(), 10001);
  EXPECT_EQ(e->RowStart(rows.Count() - 1).Y, 4999);

  // With pages, as far as a page holds more than the window shows.
  auto paged = WrappedEdit(20, 10);
  paged->SetPageType(TQuillPageType::ptPageBreaks);
  SetLines(*paged, lines);
  EXPECT_GT(paged->WrapList().Count(), 10);
  EXPECT_LE(paged->WrapList().Count(), 12);
}

TEST(QuillEditWrap, TabsInsertTabCharactersOrBlanksToTheIndent) {
  auto e = MakeEdit();
  TCustomQuillEditSource& doc = e->GetEditSource();

  SetLines(*e, {"abcdef"});
  doc.JumpTo(3, 0);
  e->ProcessKey(ecTab);
  EXPECT_EQ(LinesOf(*e), std::vector<std::string>{"abc     def"});
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{8, 0}));

  e->SetSourceOptions(e->SourceOptions() | srUseTab);
  SetLines(*e, {"abcdef"});
  doc.JumpTo(5, 0);
  e->ProcessKey(ecTab);
  EXPECT_EQ(doc.Strings().GetStr(0), "abcde\tf");
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{8, 0}));

  // With no line above, the next tab stop; a smart tab lines up with the
  // line above: its indent, then the start of each word, then its end.
  e->SetSourceOptions((e->SourceOptions() & ~srUseTab) | srSmartTab);
  SetLines(*e, {"", "    alpha beta", ""});
  doc.JumpTo(0, 0);
  EXPECT_EQ(e->GetTabIndent(true), 8);
  doc.JumpTo(0, 2);
  for (int expected : {4, 10, 14}) {
    e->ProcessKey(ecTab);
    EXPECT_EQ(e->GetCurrentPosition().X, expected);
  }
  // Inside a line, the caret's own line is the first one looked at; a
  // picture is a word of its own.
  SetLines(*e, {"ab cd"});
  doc.JumpTo(0, 0);
  EXPECT_EQ(e->GetTabIndent(true), 3);
  SetLines(*e, {"ab\x01" "cd", ""});
  doc.JumpTo(0, 1);
  EXPECT_EQ(e->GetTabIndent(true), 2);

  // A new line takes the indent of the line it was broken off.
  SetLines(*e, {"    foo"});
  doc.JumpTo(7, 0);
  e->ProcessKey(ecNewLine);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{4, 1}));
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"    foo", "    "}));
}

TEST(QuillEditWrap, BlockTabIndentsEverySelectedLineAlike) {
  auto e = MakeEdit();
  e->SetOptions(e->Options() | eoEnTabBlock);
  SetLines(*e, {"one", "two", "three"});
  e->SetSelection({0, 0, 5, 2}, TQuillSelType::slStream);
  e->ProcessKey(ecTab);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"        one", "        two", "        three"}));
  // The indent is measured from the caret's column to its next tab stop.
  e->GetEditSource().JumpTo(0, 0);
  e->SetSelection({0, 0, 13, 2}, TQuillSelType::slStream);
  e->ProcessKey(ecBackTab);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"one", "two", "three"}));
  // The caret's line alone, the last one too, and no line added.
  for (int line : {0, 2}) {
    e->GetEditSource().JumpTo(0, line);
    e->EnTabLine();
    e->GetEditSource().JumpTo(0, line);
    e->DeTabLine();
  }
  e->GetEditSource().JumpTo(0, 2);
  e->EnTabLine();
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"one", "two", "        three"}));
}

// However a wrapped text is edited, its rows are those a fresh wrap of the
// same text makes: no row goes stale, none is lost or doubled.
TEST(QuillEditWrap, EditsLeaveTheRowsOfAFreshWrap) {
  auto e = WrappedEdit(16, 6);
  std::vector<std::string> lines;
  for (int i = 0; i < 40; ++i) lines.push_back("row " + std::to_string(i) + " of some words to wrap");
  SetLines(*e, lines);
  TCustomQuillEditSource& doc = e->GetEditSource();
  unsigned seed = 12345;
  auto next = [&](int n) {
    seed = seed * 1103515245 + 12345;
    return static_cast<int>((seed >> 8) % static_cast<unsigned>(n));
  };
  auto edit = [&](int what) {
    const int y = next(doc.Strings().Count());
    doc.JumpTo(next(30), y);
    switch (what) {
      case 0: doc.InsertString(next(2) ? "word " : "a much longer piece of text "); break;
      case 1: doc.DeleteString(1 + next(8)); break;
      case 2: doc.BreakString(); break;
      case 3: doc.JoinStrings(); break;
      default: {
        const int last = doc.Strings().Count() - 1;
        if (y < last) doc.DeleteRange({next(8), y}, {next(8), std::min(last, y + 1 + next(12))});
        break;
      }
    }
  };
  for (int step = 0; step < 600; ++step) {
    // Undo kept, then not: a range then goes in one step.
    if (step == 300) doc.SetOptions(doc.Options() & ~srAllowUndo);
    switch (next(7)) {
      case 5: {
        // Edits far apart in one update: lines come and go between them.
        TQuillSourceUpdate update(doc, oprOther);
        edit(0);
        for (int n = 1 + next(5); n > 0; --n) edit(next(5));
        break;
      }
      case 6: e->SetWindowLine(next(e->MaxVisibleLine() + 1)); break;
      default: edit(next(5)); break;
    }
    if (step % 10 != 9) continue;
    auto fresh = WrappedEdit(16, 6);
    SetLines(*fresh, LinesOf(*e));
    ASSERT_EQ(e->GetWrapLines(), fresh->GetWrapLines()) << "after step " << step;
  }
  // Lines taken from the end take their rows with them.
  e->Lines().Delete(e->LineCount() - 2, 2);
  auto fresh = WrappedEdit(16, 6);
  SetLines(*fresh, LinesOf(*e));
  EXPECT_EQ(e->GetWrapLines(), fresh->GetWrapLines());
}

TEST(QuillEditWrap, ANarrowerWindowRewrapsAndKeepsTheTopLine) {
  auto e = WrappedEdit(40, 8);
  std::vector<std::string> lines;
  for (int i = 0; i < 50; ++i) lines.push_back("line " + std::to_string(i) + " with words that need some room to show");
  SetLines(*e, lines);
  e->SetWindowLine(e->RowOfPoint({0, 20}, false));
  const int wide = e->WrapList().Count();
  e->resize(15 * CharWidth(*e) + 2, e->height());
  Settle();
  EXPECT_GT(e->WrapList().Count(), wide);
  EXPECT_EQ(e->RowStart(e->WindowLine()), (TPoint{0, 20}));
  for (const std::string& row : e->GetWrapLines()) EXPECT_LE(row.size(), 16u) << row;
}

// Rows added in any order come out sorted, and the row of a line or of a
// text point is the one a scan of the list finds, at its start, its middle
// or its end, and for points past the last line.
TEST(QuillEditWrap, RowLookupsAgreeWithAScanOfTheList) {
  for (const int lines : {0, 1, 2, 7, 1000}) {
    SCOPED_TRACE(lines);
    struct Row {
      int line, start, end;
    };
    std::vector<Row> rows;
    for (int line = 0; line < lines; ++line) {
      const int count = 1 + line % 3;
      for (int r = 0; r < count; ++r) rows.push_back({line, 5 * r, r + 1 < count ? 5 * (r + 1) : MaxInt});
    }
    std::vector<Row> order = rows;
    std::mt19937 random(lines);
    std::shuffle(order.begin(), order.end(), random);
    TQuillWrapList list;
    for (const Row& r : order) list.Add(r.line, r.start, r.end);
    ASSERT_EQ(list.Count(), static_cast<int>(rows.size()));
    for (int i = 0; i < list.Count(); ++i) {
      EXPECT_EQ(list.Items(i).Line, rows[static_cast<size_t>(i)].line);
      EXPECT_EQ(list.Items(i).Start, rows[static_cast<size_t>(i)].start);
    }
    for (int line = -1; line <= lines; ++line) {
      int first = -1;
      for (size_t i = 0; i < rows.size() && first < 0; ++i)
        if (rows[i].line == line) first = static_cast<int>(i);
      EXPECT_EQ(list.FirstRowOfLine(line), first) << line;
      for (const int column : {0, 4, 5, 12, 40}) {
        int at = -1;
        for (size_t i = 0; i < rows.size() && at < 0; ++i)
          if (rows[i].line == line && column < rows[i].end) at = static_cast<int>(i);
        EXPECT_EQ(list.IndexFromPoint({column, line}, false), at) << column << "," << line;
      }
    }
  }
}
