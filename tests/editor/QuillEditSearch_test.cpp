#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>

#include <deque>
#include <filesystem>

#include "QuillEdit_helpers.h"
#include "editor/QuillRegExpr.h"

using namespace edittest;
namespace fs = std::filesystem;

namespace {

// Records what the user is told and answers the replace question from a
// script.
class ScriptedPrompts : public TQuillSearchPrompts {
 public:
  void ShowError(const std::string& text) override { errors.push_back(text); }
  TQuillReplaceAnswer AskReplace(const std::string& text) override {
    asked.push_back(text);
    if (answers.empty()) return TQuillReplaceAnswer::Cancel;
    const TQuillReplaceAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::vector<std::string> errors, asked;
  std::deque<TQuillReplaceAnswer> answers;
};

// Every test starts from the shared settings as a fresh program has them,
// stored in a home of its own.
class Search : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() / ("parlo-editor-search-" + std::to_string(getpid()));
    fs::create_directories(home_);
    setenv("PARLO_HOME", home_.c_str(), 1);
    SearchSettings().Init();
    SetSearchPrompts(&prompts);
    e = MakeEdit();
  }
  void TearDown() override {
    SetSearchPrompts(nullptr);
    FreeGlobalSettings();
    fs::remove_all(home_);
  }
  TQuillSearchSettings& S() { return SearchSettings(); }

  ScriptedPrompts prompts;
  std::unique_ptr<TQuillEdit> e;
  fs::path home_;
};

TEST_F(Search, FindRepeatsAndReportsWithTheSharedSettings) {
  SetLines(*e, {"one two", "two one two"});
  // While a search is starting afresh F3 has nothing to repeat.
  S().FirstSearch = true;
  e->FindNext(ecFind);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 0}));
  EXPECT_TRUE(prompts.errors.empty());
  S().FirstSearch = false;

  S().TextToFind = "TWO";
  ASSERT_TRUE(e->Find());
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{7, 0}));
  EXPECT_EQ(e->SearchRect(), (TRect{4, 0, 7, 0}));
  e->FindNext(ecFind);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{3, 1}));
  e->FindNext(ecFind);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{11, 1}));
  e->FindNext(ecFind);
  EXPECT_EQ(prompts.errors, (std::vector<std::string>{"Search string 'TWO' not found"}));

  // A whole-word search for text with a blank searches it as plain text.
  S().WholeWordsOnly = true;
  S().TextToFind = "e t";
  EXPECT_TRUE(e->Find());
  EXPECT_FALSE(S().WholeWordsOnly);

  // The selection as scope, without a selection, is reported once.
  S().Scope = TQuillSearchScope::scSelectedText;
  EXPECT_FALSE(e->Find());
  EXPECT_EQ(prompts.errors.back(), "Tried to search selected text but no text is selected");
  // With one, only its text is searched.
  S().TextToFind = "one";
  e->GetEditSource().JumpTo(0, 0);
  e->SetSelection({2, 1, 11, 1}, TQuillSelType::slStream);
  S().Origin = TQuillSearchOrigin::sgFromCursor;
  ASSERT_TRUE(e->Find());
  EXPECT_EQ(e->SearchRect(), (TRect{4, 1, 7, 1}));
  EXPECT_EQ(e->SelRect(), (TRect{2, 1, 11, 1}));
}

TEST_F(Search, ReplaceAskingNoThenAllUndoesAsOneStep) {
  const std::vector<std::string> text{"a x a", "x a"};
  SetLines(*e, text);
  S().TextToFind = "a";
  S().ReplaceWith = "bb";
  S().ReplaceAll = true;
  prompts.answers = {TQuillReplaceAnswer::No, TQuillReplaceAnswer::All};
  int count = 0;
  EXPECT_TRUE(e->ReplaceEx(count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(prompts.asked.size(), 2u);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"a x bb", "x bb"}));
  e->Undo();
  EXPECT_EQ(LinesOf(*e), text);

  // Read-only: nothing is replaced, nothing asked.
  e->SetReadOnly(true);
  prompts.asked.clear();
  S().ReplaceAll = false;
  S().PromptOnReplace = true;
  EXPECT_FALSE(e->Replace());
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(LinesOf(*e), text);
}

// Replace All over the selected text replaces every match inside it,
// whatever the replacement's length, and nothing outside it.
TEST_F(Search, ReplaceAllInsideTheSelection) {
  S().PromptOnReplace = false;
  S().ReplaceAll = true;
  S().Scope = TQuillSearchScope::scSelectedText;
  S().Origin = TQuillSearchOrigin::sgFromCursor;
  S().TextToFind = "a";
  struct Case {
    std::string with, after;
  };
  for (const Case& c : {Case{"b", "a b b b b a"}, Case{"cc", "a cc cc cc cc a"}, Case{"", "a     a"}}) {
    SCOPED_TRACE(c.with);
    SetLines(*e, {"a a a a a a"});
    e->GetEditSource().JumpTo(0, 0);
    e->SetSelection({2, 0, 9, 0}, TQuillSelType::slStream);
    S().ReplaceWith = c.with;
    int count = 0;
    EXPECT_TRUE(e->ReplaceEx(count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(LinesOf(*e), std::vector<std::string>{c.after});
  }
}

// Patterns that match nothing, or an empty stretch, end; they are never
// replaced or counted forever.
TEST_F(Search, EmptyPatternsAndEmptyMatchesEnd) {
  SetLines(*e, {"xax", "", "a"});
  S().PromptOnReplace = false;
  S().ReplaceAll = true;
  S().ShowNotFound = false;
  int count = -1;
  S().TextToFind = "";
  EXPECT_FALSE(e->ReplaceEx(count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(e->OccurrenceCount(), 0);
  // An empty text is not found, and the user is told so, by F3 and Replace.
  S().ShowNotFound = true;
  S().ReplaceAll = false;
  EXPECT_FALSE(e->Replace());
  S().InReplace = false;
  e->FindNext(ecFind);
  EXPECT_EQ(prompts.errors, (std::vector<std::string>(2, "Search string '' not found")));
  S().ShowNotFound = false;
  S().ReplaceAll = true;

  S().TextToFind = "a*";
  S().RegularExpr = true;
  e->GetEditSource().JumpTo(0, 0);
  const int found = e->OccurrenceCount();
  EXPECT_GT(found, 0);
  EXPECT_LT(found, 12);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{0, 0}));
  e->ReplaceEx(count);
  EXPECT_GT(count, 0);
  EXPECT_LT(count, 12);

  S().RegularExpr = false;
  S().TextToFind = "x";
  SetLines(*e, {"x x", "x"});
  e->GetEditSource().JumpTo(2, 0);
  EXPECT_EQ(e->OccurrenceCount(), 2);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 0}));
  // A first search counts the whole scope, and is a first search no more.
  S().FirstSearch = true;
  EXPECT_EQ(e->OccurrenceCount(), 3);
  EXPECT_FALSE(S().FirstSearch);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 0}));
}

// A regular expression that backtracks past its allowance is an error for every
// search command, never "not found", and Replace All stops where it is.
TEST_F(Search, AnExpressionThatGivesUpIsAnErrorNotAMiss) {
  SetLines(*e, {"ab", std::string(60, 'a') + "cb", "aab"});
  S().RegularExpr = true;
  S().TextToFind = "{{a+}+}+b";
  ASSERT_TRUE(e->Find());
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 0}));
  EXPECT_THROW(e->FindNext(ecFind), quill::EQuillRegExprGaveUp);
  EXPECT_THROW(e->OccurrenceCount(), quill::EQuillRegExprGaveUp);
  EXPECT_EQ(e->GetCurrentPosition(), (TPoint{2, 0}));
  S().PromptOnReplace = false;
  S().ReplaceAll = true;
  S().ReplaceWith = "X";
  int count = -1;
  EXPECT_THROW(e->ReplaceEx(count), quill::EQuillRegExprGaveUp);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"X", std::string(60, 'a') + "cb", "aab"}));
  EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(Search, IncrementalSearchFollowsTyping) {
  SetLines(*e, {"cat cart car", "card"});
  QTest::keyClick(e.get(), Qt::Key_E, Qt::ControlModifier);
  ASSERT_TRUE(e->InIncrementalSearch());
  QTest::keyClicks(e.get(), "car");
  EXPECT_EQ(e->SearchRect(), (TRect{4, 0, 7, 0}));
  QTest::keyClick(e.get(), Qt::Key_T);
  EXPECT_EQ(e->SearchRect(), (TRect{4, 0, 8, 0}));
  // A character that matches nowhere keeps the match and the text.
  QTest::keyClick(e.get(), Qt::Key_Z);
  EXPECT_EQ(e->IncrementalSearchText(), "cart");
  EXPECT_EQ(e->SearchRect(), (TRect{4, 0, 8, 0}));
  QTest::keyClick(e.get(), Qt::Key_Backspace);
  EXPECT_EQ(e->IncrementalSearchText(), "car");
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"cat cart car", "card"}));
  // F3 goes on to the next match of the same text.
  QTest::keyClick(e.get(), Qt::Key_F3);
  EXPECT_EQ(e->SearchRect(), (TRect{9, 0, 12, 0}));
  QTest::keyClick(e.get(), Qt::Key_F3);
  EXPECT_EQ(e->SearchRect(), (TRect{0, 1, 3, 1}));
  QTest::keyClick(e.get(), Qt::Key_Left);
  EXPECT_FALSE(e->InIncrementalSearch());
  QTest::keyClick(e.get(), Qt::Key_X);
  EXPECT_EQ(LinesOf(*e), (std::vector<std::string>{"cat cart car", "caxrd"}));
  // A caret the search did not move ends it, whoever moved it; the end is told.
  QTest::keyClick(e.get(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(e.get(), Qt::Key_E, Qt::ControlModifier);
  QTest::keyClicks(e.get(), "ca");
  ASSERT_EQ(e->SearchRect(), (TRect{0, 0, 2, 0}));
  // Shortened to nothing the text finds nothing: it stays, its mark goes.
  QTest::keyClick(e.get(), Qt::Key_Backspace);
  ASSERT_EQ(e->SearchRect(), (TRect{0, 0, 1, 0}));
  QTest::keyClick(e.get(), Qt::Key_Backspace);
  EXPECT_EQ(e->IncrementalSearchText(), "c");
  EXPECT_EQ(e->SearchRect(), TRect{});
  int told = 0;
  e->OnSourceChanged = [&](TQuillObject*, TQuillEditSourceStates s) { told += (s & csIncrementalSearchChanged) != 0; };
  e->GetEditSource().JumpTo(0, 1);
  EXPECT_FALSE(e->InIncrementalSearch());
  EXPECT_EQ(e->SearchRect(), TRect{});
  EXPECT_EQ(told, 1);
}

}  // namespace
