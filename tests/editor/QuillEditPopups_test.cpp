#include <gtest/gtest.h>

#include <QTest>

#include <sstream>

#include "QuillEdit_helpers.h"
#include "editor/QuillListBox.h"
#include "editor/QuillPopup.h"

using namespace edittest;

namespace {

void AddTemplate(TQuillCodeTemplates& t, const std::string& name, std::vector<std::string> code) {
  TQuillCodeTemplate& item = t.Add();
  item.Name = name;
  item.Desc = name + " statement";
  item.Code = std::move(code);
}

}  // namespace

TEST(QuillEditPopups, TemplatesAreFilteredByNameAndInsertedAtTheCaretColumn) {
  struct Case {
    std::vector<std::string> names;
    const char* filter;
    std::vector<std::string> listed;
    bool exact;
  } cases[] = {{{"if", "ifelse"}, "IF", {"if"}, true},
               {{"ifelse", "if"}, "if", {"ifelse", "if"}, false},
               {{"while", "for"}, "zz", {"while", "for"}, false}};
  for (const auto& c : cases) {
    TQuillCodeTemplates t;
    for (const auto& n : c.names) AddTemplate(t, n, {n});
    std::vector<const TQuillCodeTemplate*> list;
    bool exact = false;
    t.ApplyFilter(list, c.filter, exact);
    std::vector<std::string> names;
    for (const auto* item : list) names.push_back(item->Name);
    EXPECT_EQ(names, c.listed) << c.filter;
    EXPECT_EQ(exact, c.exact) << c.filter;
  }
  EXPECT_EQ(TQuillCodeTemplates::TemplateToString(*[] {
              static TQuillCodeTemplate x;
              x.Name = "if";
              x.Desc = "cond";
              return &x;
            }()),
            "cond|{\\b if}");

  auto e = MakeEdit();
  AddTemplate(e->CodeTemplates(), "be", {"begin|end"});
  AddTemplate(e->CodeTemplates(), "blk", {"{", "  |", "}"});
  // A stored collection reads back whole.
  std::stringstream stream;
  e->CodeTemplates().SaveToStream(stream);
  TQuillCodeTemplates copy;
  copy.LoadFromStream(stream);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.GetItem(1).Code, (std::vector<std::string>{"{", "  |", "}"}));

  // The word before the caret names the template; Ctrl+J expands it.
  SetLines(*e, {"    be"});
  e->GetEditSource().JumpTo(6, 0);
  QTest::keyClick(e.get(), Qt::Key_J, Qt::ControlModifier);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"    beginend", ""}));
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{9, 0}));
  SetLines(*e, {"x = 1;"});
  e->GetEditSource().JumpTo(8, 0);
  // The handler sees the text while the insertion's update is open.
  int updatesSeen = 0;
  e->OnBeforeInsertPopup = [&](TQuillObject*, std::string&) { updatesSeen = e->GetEditSource().SourceUpdateCount(); };
  e->InsertTemplate(1);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"x = 1;  {", "          ", "        }", ""}));
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{10, 1}));
  EXPECT_GT(updatesSeen, 0);
}

TEST(QuillEditPopups, BracketsAndBookmarks) {
  auto e = MakeEdit();
  e->SetOptions(e->Options() | eoHighlightBrackets);
  SetLines(*e, {"f(a[b]c,", "  {d})"});
  struct Case {
    TPoint caret, open, close;
  } cases[] = {{{4, 0}, {3, 0}, {5, 0}}, {{7, 0}, {1, 0}, {5, 1}}, {{3, 1}, {2, 1}, {4, 1}}, {{0, 0}, {-1, -1}, {-1, -1}}};
  for (const auto& c : cases) {
    e->GetEditSource().JumpTo(c.caret.X, c.caret.Y);
    EXPECT_EQ(e->HighlightedBracket(0), c.open) << c.caret.X << "," << c.caret.Y;
    EXPECT_EQ(e->HighlightedBracket(1), c.close) << c.caret.X << "," << c.caret.Y;
  }
  e->GetEditSource().JumpTo(1, 0);
  QTest::keyClick(e.get(), Qt::Key_BracketLeft, Qt::ControlModifier);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{5, 1}));

  // Ctrl+K 3 twice on one line sets and clears bookmark 3; going to an
  // unset bookmark leaves the caret.
  TPoint mark;
  QTest::keyClick(e.get(), Qt::Key_K, Qt::ControlModifier);
  QTest::keyClick(e.get(), Qt::Key_3);
  EXPECT_TRUE(e->GetEditSource().FindBookMark(3, mark));
  e->GetEditSource().JumpTo(0, 0);
  QTest::keyClick(e.get(), Qt::Key_3, Qt::ControlModifier);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{5, 1}));
  QTest::keyClick(e.get(), Qt::Key_K, Qt::ControlModifier);
  QTest::keyClick(e.get(), Qt::Key_3, Qt::ControlModifier);
  EXPECT_FALSE(e->GetEditSource().FindBookMark(3, mark));
  e->GetEditSource().JumpTo(0, 0);
  QTest::keyClick(e.get(), Qt::Key_3, Qt::ControlModifier);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 0}));
}

// Completion: what the program offers shows beside the caret; typing picks
// the item that begins with what was typed, in any case, over one that
// only contains it; choosing replaces what was typed.
TEST(QuillEditPopups, CompletionListFollowsTyping) {
  auto e = MakeEdit();
  SetLines(*e, {""});
  char asked = 0;
  e->OnAutoComplete = [&](TQuillObject*, bool& show, char key) {
    asked = key;
    TStringList& items = e->PopupWindow().Strings();
    items.Add("xxba");
    items.Add("BAnana");
    show = true;
  };
  QTest::keyClick(e.get(), Qt::Key_Q);
  e->DoCodeCompletion();
  EXPECT_EQ(asked, 'q');
  ASSERT_TRUE(e->PopupListBoxShowing());
  for (char c : std::string("ba")) {
    char key = c;
    e->PopupListBoxKeyPress(key);
  }
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"qba"}));
  EXPECT_EQ(e->PopupListBox().currentRow(), 1);
  ClosePopupWindow(true);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"qBAnana"}));
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{7, 0}));
}
