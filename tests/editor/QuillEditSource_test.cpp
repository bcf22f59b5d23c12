#include "editor/QuillEditSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "editor/QuillRichEditSource.h"

using namespace quill;

namespace {

struct Snapshot {
  std::vector<std::string> lines;
  TPoint pos;
  std::vector<TQuillBookMark> marks;
  bool operator==(const Snapshot&) const = default;
};

std::vector<std::string> SourceLines(const TCustomQuillEditSource& doc) {
  std::vector<std::string> r;
  for (int i = 0; i < doc.Strings().Count(); ++i) r.push_back(doc.Strings().GetStr(i));
  return r;
}

Snapshot Take(const TCustomQuillEditSource& doc) { return {SourceLines(doc), doc.CurrentPosition(), doc.BookMarks().List()}; }

std::string DescribeSnapshot(const Snapshot& s) {
  std::ostringstream o;
  for (size_t i = 0; i < s.lines.size(); ++i) o << i << ": [" << s.lines[i] << "]\n";
  o << "pos " << s.pos.X << "," << s.pos.Y << "\nmarks";
  for (const auto& m : s.marks) o << " #" << m.Number << "@" << m.X << "," << m.Y;
  return o.str();
}

std::string RandomWord(std::mt19937& rng, bool tabs) {
  static const char alphabet[] = "abcdefxyz ";
  std::string s;
  int n = std::uniform_int_distribution<int>(1, 6)(rng);
  for (int i = 0; i < n; ++i) {
    if (tabs && rng() % 7 == 0)
      s += '\t';
    else
      s += alphabet[rng() % (sizeof alphabet - 1)];
  }
  return s;
}

int LineLength(TCustomQuillEditSource& doc, int y) { return static_cast<int>(doc.Strings().Get(y).size()); }

// One random user action, each in its own update as the editor makes them.
void RandomEdit(TCustomQuillEditSource& doc, std::mt19937& rng, bool tabs) {
  const TPoint p = doc.CurrentPosition();
  const int count = doc.Strings().Count();
  switch (rng() % 9) {
    case 0:
    case 1: {  // type a word and move behind it
      std::string s = RandomWord(rng, tabs);
      doc.BeginSourceUpdate(oprInsert);
      doc.InsertString(s);
      doc.Navigate(static_cast<int>(s.size()), 0);
      doc.EndSourceUpdate();
      break;
    }
    case 2:
      doc.DeleteString(std::uniform_int_distribution<int>(1, 4)(rng));
      break;
    case 3:  // backspace
      doc.BeginSourceUpdate(oprDelete);
      doc.DeleteLeft();
      doc.EndSourceUpdate();
      break;
    case 4:
      doc.BeginSourceUpdate(oprBreak);
      doc.BreakString();
      doc.JumpTo(0, p.Y + 1);
      doc.EndSourceUpdate();
      break;
    case 5: {  // join at the end of the line, one character before it, or past it
      int len = LineLength(doc, p.Y);
      int x = len + static_cast<int>(rng() % 3) - 1;
      doc.BeginSourceUpdate(oprJoin);
      doc.JumpTo(std::max(x, 0), p.Y);
      doc.JoinStrings();
      doc.EndSourceUpdate();
      break;
    }
    case 6:
      doc.AddString(static_cast<int>(rng() % static_cast<unsigned>(count + 1)), RandomWord(rng, tabs));
      break;
    default: {  // move the caret, sometimes past the end of the line
      int y = static_cast<int>(rng() % static_cast<unsigned>(std::max(count, 1)));
      int x = static_cast<int>(rng() % static_cast<unsigned>(LineLength(doc, y) + 4));
      doc.JumpTo(x, y);
      break;
    }
  }
}

struct PropertyCase {
  const char* name;
  TQuillSourceOptions options;
  bool positions;  // positions are only recorded when every move is
  bool tabs;
};

class UndoRedoProperty : public ::testing::TestWithParam<PropertyCase> {};

TEST_P(UndoRedoProperty, UndoAllRestoresStartAndRedoAllRestoresEnd) {
  const PropertyCase& c = GetParam();
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    TQuillEditSource doc;
    doc.SetOptions(c.options);
    std::string text;
    int lines = std::uniform_int_distribution<int>(1, 6)(rng);
    for (int i = 0; i < lines; ++i) text += RandomWord(rng, c.tabs) + "\r\n";
    doc.Strings().SetText(text);
    for (int n = 1; n <= 4; ++n) {
      int y = static_cast<int>(rng() % static_cast<unsigned>(lines));
      doc.SetBookMark(n, {static_cast<int>(rng() % static_cast<unsigned>(LineLength(doc, y) + 1)), y});
    }
    const Snapshot start = Take(doc);
    const int edits = std::uniform_int_distribution<int>(1, 80)(rng);
    for (int i = 0; i < edits; ++i) RandomEdit(doc, rng, c.tabs);
    const Snapshot end = Take(doc);

    for (int guard = 0; doc.UndoAvailable() && guard < 10000; ++guard) doc.Undo();
    Snapshot undone = Take(doc);
    if (!c.positions) undone.pos = start.pos;
    ASSERT_EQ(undone, start) << "seed " << seed << "\nexpected\n" << DescribeSnapshot(start) << "\ngot\n" << DescribeSnapshot(undone);

    for (int guard = 0; doc.RedoAvailable() && guard < 10000; ++guard) doc.Redo();
    Snapshot redone = Take(doc);
    if (!c.positions) redone.pos = end.pos;
    ASSERT_EQ(redone, end) << "seed " << seed << "\nexpected\n" << DescribeSnapshot(end) << "\ngot\n" << DescribeSnapshot(redone);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, UndoRedoProperty,
    ::testing::Values(PropertyCase{"Steps", srAllowUndo | srBeyondEol | srLeaveTrailSpaces, true, false},
                      PropertyCase{"Grouped", srAllowUndo | srGroupUndo | srBeyondEol | srLeaveTrailSpaces, true, false},
                      PropertyCase{"CaretClamped", srAllowUndo | srLeaveTrailSpaces | srMoveUpAtLineBegin, true, false},
                      PropertyCase{"Unindent", srAllowUndo | srBeyondEol | srLeaveTrailSpaces | srBackUnindents, true,
                                   false},
                      PropertyCase{"ChangesOnly", srAllowUndo | srBeyondEol | srLeaveTrailSpaces | srUndoOnlyChanges, false,
                                   false},
                      PropertyCase{"RealTabs", srAllowUndo | srBeyondEol | srLeaveTrailSpaces | srUseTab, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EditSource, EachUndoTakesBackOneUpdateAndEachRedoOneUndo) {
  for (unsigned seed = 100; seed < 130; ++seed) {
    std::mt19937 rng(seed);
    TQuillEditSource doc;
    doc.SetOptions(srAllowUndo | srBeyondEol | srLeaveTrailSpaces);
    doc.Strings().SetText("one two\r\nthree\r\n\r\nfour five six\r\n");
    doc.SetBookMark(1, {4, 0});
    std::vector<Snapshot> steps{Take(doc)};
    for (int i = 0; i < 40; ++i) {
      int records = doc.UndoList().Count();
      RandomEdit(doc, rng, false);
      if (doc.UndoList().Count() != records) steps.push_back(Take(doc));
    }
    for (size_t i = steps.size() - 1; i > 0; --i) {
      doc.Undo();
      ASSERT_EQ(Take(doc), steps[i - 1]) << "seed " << seed << " undo to step " << i - 1;
    }
    EXPECT_FALSE(doc.UndoAvailable());
    for (size_t i = 1; i < steps.size(); ++i) {
      doc.Redo();
      ASSERT_EQ(Take(doc), steps[i]) << "seed " << seed << " redo to step " << i;
    }
  }
}

// A view that counts what the document tells it.
struct Recorder : TQuillObject {
  int plain = 0;
  std::vector<TQuillEditSourceStates> states;
  std::pair<int, int> changed;
  TCustomQuillEditSource* doc = nullptr;
  void Changed(TQuillObject*, intptr_t param) {
    if (param == 0) {
      ++plain;
      states.push_back(doc->State());
      changed = {doc->ChangedFirstLine(), doc->ChangedLastLine()};
    }
  }
};

TEST(EditSource, TextOperationsAtTheEdges) {
  struct Case {
    const char* name;
    const char* text;
    TPoint at;
    std::function<void(TCustomQuillEditSource&)> op;
    std::vector<std::string> expect;
  };
  const std::vector<Case> cases = {
      {"insert past the end pads with blanks", "abcd", {10, 0}, [](auto& d) { d.InsertString("X"); }, {"abcd      X"}},
      {"break on an empty document adds a line first", "", {0, 0}, [](auto& d) { d.BreakString(); }, {"", ""}},
      {"join one character before the end still joins", "abc\r\ndef", {2, 0}, [](auto& d) { d.JoinStrings(); }, {"abcdef"}},
      {"join further left does nothing", "abc\r\ndef", {1, 0}, [](auto& d) { d.JoinStrings(); }, {"abc", "def"}},
      {"join past the end pads", "ab\r\ncd", {4, 0}, [](auto& d) { d.JoinStrings(); }, {"ab  cd"}},
      {"delete never joins lines", "ab\r\ncd", {1, 0}, [](auto& d) { d.DeleteString(5); }, {"a", "cd"}},
      {"add string at the top", "ab", {1, 0}, [](auto& d) { d.AddString(0, "new"); }, {"new", "ab"}},
      {"add string below", "ab\r\ncd", {0, 0}, [](auto& d) { d.AddString(2, "new"); }, {"ab", "cd", "new"}},
      {"break removes blanks left at the line end", "ab  cd", {4, 0}, [](auto& d) { d.BreakString(); }, {"ab", "cd"}},
  };
  for (const auto& c : cases) {
    TQuillEditSource doc;
    doc.Strings().SetText(c.text);
    doc.JumpTo(c.at.X, c.at.Y);
    c.op(doc);
    EXPECT_EQ(SourceLines(doc), c.expect) << c.name;
  }
}

TEST(EditSource, OutsideChangesResetHistoryAndModified) {
  TQuillEditSource doc;
  doc.Strings().SetText("one\r\ntwo\r\n");
  doc.InsertString("");  // an insertion all the same, even of nothing
  EXPECT_TRUE(doc.UndoAvailable());
  EXPECT_TRUE(doc.Modified());
  doc.JumpTo(3, 1);
  doc.InsertString("!");
  EXPECT_EQ(SourceLines(doc), (std::vector<std::string>{"one", "two!"}));
  doc.Strings().Add("three");  // not through the document
  EXPECT_FALSE(doc.UndoAvailable());
  EXPECT_FALSE(doc.RedoAvailable());
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{0, 2}));
}

TEST(EditSource, UndoGroupsAndRedoClearing) {
  for (bool group : {true, false}) {
    TQuillEditSource doc;
    doc.SetOptions(group ? srAllowUndo | srGroupUndo : srAllowUndo);
    doc.Strings().SetText("x");
    for (char c : std::string("abc")) {
      doc.BeginSourceUpdate(oprInsert);
      doc.InsertString(std::string(1, c));
      doc.Navigate(1, 0);
      doc.EndSourceUpdate();
    }
    EXPECT_EQ(doc.Strings().GetStr(0), "abcx");
    doc.Undo();
    EXPECT_EQ(doc.Strings().GetStr(0), group ? "x" : "abx");
    EXPECT_EQ(doc.CurrentPosition().X, group ? 0 : 2);
    doc.Redo();
    EXPECT_EQ(doc.Strings().GetStr(0), "abcx") << "one redo takes back one undo";
    doc.Undo();
    doc.JumpTo(1, 0);  // a plain caret move
    EXPECT_FALSE(doc.RedoAvailable());
  }
}

TEST(EditSource, ReadOnlyRefusesTextAndUndo) {
  TQuillEditSource doc;
  doc.Strings().SetText("abc");
  doc.InsertString("x");
  doc.SetReadOnly(true);
  doc.InsertString("y");
  doc.DeleteString(1);
  doc.BreakString();
  doc.Undo();
  EXPECT_EQ(SourceLines(doc), std::vector<std::string>{"xabc"});
  EXPECT_TRUE(doc.UndoAvailable());
  doc.JumpTo(2, 0);  // navigation stays possible
  EXPECT_EQ(doc.CurrentPosition().X, 2);
}

TEST(EditSource, ViewsAreToldOncePerOutermostUpdate) {
  TQuillEditSource doc;
  Recorder view;
  view.doc = &doc;
  doc.RegisterNotifier(NotifyEvent<&Recorder::Changed>(&view));
  doc.RegisterNotifier(NotifyEvent<&Recorder::Changed>(&view));  // once only
  doc.Strings().SetText("abc");
  view.plain = 0;
  view.states.clear();
  doc.BeginSourceUpdate(oprInsert);
  doc.InsertString("xy");
  doc.Navigate(2, 0);
  doc.EndSourceUpdate();
  ASSERT_EQ(view.plain, 1);
  EXPECT_TRUE(view.states[0] & csEdit);
  EXPECT_TRUE(view.states[0] & csPositionChanged);
  // A break or a join moves every line below it: the range runs to the
  // end, while only the lines whose text changed are kept as ranges.
  doc.Strings().SetText("a\r\nb\r\nc");
  doc.JumpTo(0, 1);
  doc.BreakString();
  EXPECT_EQ(view.changed, std::make_pair(1, MaxInt));
  EXPECT_EQ(doc.ChangedLineRanges(), (std::vector<std::pair<int, int>>{{1, 2}}));
  doc.JoinStrings();
  EXPECT_EQ(view.changed, std::make_pair(1, MaxInt));
  EXPECT_EQ(doc.ChangedLineRanges(), (std::vector<std::pair<int, int>>{{1, 1}}));
  const int told = view.plain;
  doc.UnRegisterNotifier(NotifyEvent<&Recorder::Changed>(&view));
  doc.InsertString("z");
  EXPECT_EQ(view.plain, told);
}

TEST(EditSource, SaveAndLoadKeepStoredCharacters) {
  TQuillEditSource doc;
  doc.Strings().SetText("a\tb\r\n\x01pic\r\n");
  doc.Strings().LineBreak = TQuillLineBreak::lbLF;
  std::ostringstream out;
  doc.SaveToStream(out);
  EXPECT_EQ(out.str(), std::string("a       b\n\x01pic\n")) << "tabs are expanded when stored without real tabs";
  TQuillEditSource tabs;
  tabs.SetOptions(tabs.Options() | srUseTab);
  tabs.Strings().SetText("a\tb");
  std::ostringstream out2;
  tabs.SaveToStream(out2);
  EXPECT_EQ(out2.str(), "a\tb\r\n");
}

}  // namespace

namespace {

// Braces open and close a comment; every character gets the state it is read in.
// With `stuck` set it never moves past a character, as a broken rule set might.
struct BraceParser : TCustomQuillParser {
  bool stuck = false;
  int ParseString(int& state, const std::string& s, int& pos) override {
    char c = s[static_cast<size_t>(pos - 1)];
    int style = state;
    if (c == '{') state = 1;
    if (c == '}') state = 0;
    if (!stuck) ++pos;
    return style == 1 || c == '{' ? 1 : 0;
  }
  void GetFont(int, TColor&, TFontStyles&) override {}
  TColor GetColor(int) override { return clBlack; }
  TColor GetDefaultColor() override { return clBlack; }
  int GetStyleCount() override { return 2; }
};

TEST(EditSource, ParsingFollowsStatesAndSurvivesItsParser) {
  TQuillEditSource doc;
  doc.Strings().SetText("a{b\r\nccc\r\nd}e\r\nfff\r\n");
  auto* parser = new BraceParser;
  doc.SetParser(parser);
  doc.ParseToString(3);
  EXPECT_EQ(doc.Strings().GetStrData(1), (TQuillData{1, 1, 1}));
  EXPECT_EQ(doc.Strings().GetStrData(3), (TQuillData{0, 0, 0}));

  Recorder view;
  view.doc = &doc;
  doc.RegisterNotifier(NotifyEvent<&Recorder::Changed>(&view));
  int lastLine = -1;
  doc.RegisterNotifier(TQuillNotifyEvent{nullptr, &lastLine, [&](TQuillObject*, intptr_t param) {
                                           auto* r = reinterpret_cast<TNotifyRecord*>(param);
                                           if (r != nullptr && r->Operation == oprUpdateLines) lastLine = r->Point.Y;
                                         }});
  doc.JumpTo(0, 3);
  doc.InsertString("x");  // the end state stays: only this line
  EXPECT_EQ(lastLine, 3);
  doc.JumpTo(0, 0);
  doc.DeleteString(3);  // the comment no longer opens
  doc.ParseToString(3);
  EXPECT_EQ(doc.Strings().GetStrData(1), (TQuillData{0, 0, 0}));
  doc.SetParser(nullptr);  // the styles of the parser that went do not stay
  doc.ParseToString(3);
  EXPECT_EQ(doc.Strings().GetStrData(1), (TQuillData{NoData, NoData, NoData}));
  doc.SetParser(parser);

  parser->stuck = true;
  doc.ParserChanged(parser, 0);
  doc.ParseToString(3);  // returns although the parser never advances
  delete parser;
  EXPECT_EQ(doc.Parser(), nullptr);
  doc.InsertString("still editable");
  EXPECT_EQ(doc.Strings().GetStr(0), "still editable");
}

TEST(EditSource, LinksAndMisspellingsAreMarked) {
  TQuillEditSource doc;
  doc.SetOptions(doc.Options() | srLiveSpell);
  doc.OnWordSpell = [](TQuillObject*, const std::string& w, bool& ok) { ok = w != "teh"; };
  doc.Strings().SetText("see www.example.org or teh mail@host.net\r\n");
  doc.ParseToString(0);
  TQuillData d = doc.Strings().GetStrData(0);
  ASSERT_EQ(d.size(), 40u);
  EXPECT_EQ(d[0], NoData);
  EXPECT_EQ(d[4], 8) << "a link without a parser takes style 8";
  EXPECT_EQ(d[23], 65534) << "a misspelled word without style";
  EXPECT_EQ(d[27], 8);
}

}  // namespace

namespace {

TEST(EditSource, NavigationLimits) {
  TQuillEditSource doc;
  doc.Strings().SetText("abc\r\nlonger line\r\n");
  doc.SetOptions(srAllowUndo);
  doc.JumpTo(50, 7);
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{11, 1})) << "clamped to the last line and its end";
  doc.JumpTo(MaxInt, 0);
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{3, 0})) << "MaxInt means the end of the line";
  doc.JumpTo(-MaxInt, -MaxInt);
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{0, 0}));
  doc.SetOptions(srAllowUndo | srBeyondEol | srBeyondEof);
  doc.JumpTo(50, 7);
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{50, 7}));
  doc.JumpTo(0, 0);

  // Past the end of a line the views may change the move.
  doc.RegisterNotifier(TQuillNotifyEvent{nullptr, &doc, [](TQuillObject*, intptr_t param) {
                                           auto* r = reinterpret_cast<TNotifyRecord*>(param);
                                           if (r != nullptr && r->Operation == oprNavigate) r->Point.X = 5;
                                         }});
  doc.Navigate(20, 0);
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{5, 0}));
  doc.Navigate(-100, -100);
  EXPECT_EQ(doc.CurrentPosition(), (TPoint{0, 0}));
}

TEST(EditSource, JumpingOntoAFoldedLineOpensIt) {
  TQuillEditSource doc;
  doc.SetOptions(doc.Options() | srAllowHiddenLines);
  doc.Strings().SetText("head\r\nbody 1\r\nbody 2\r\ntail\r\n");
  doc.Strings().SetLevel(1, 1);
  doc.Strings().SetLevel(2, 1);
  doc.Strings().SetVisible(1, false);
  doc.Strings().SetVisible(2, false);
  doc.Strings().SetCollapsed(0, true);
  EXPECT_EQ(doc.Strings().GetVisibleCount(), 2);
  doc.JumpTo(0, 2);
  EXPECT_EQ(doc.Strings().GetVisibleCount(), 4);
  EXPECT_TRUE(doc.Strings().GetExpanded(0));
  doc.Strings().SetCollapsed(0, true);
  doc.JumpTo(0, 1);
  doc.BreakString();  // a line broken inside a fold stays in it
  EXPECT_FALSE(doc.Strings().GetVisible(2));
  EXPECT_EQ(doc.Strings().GetLevel(2), 1);
}

}  // namespace

// Where no undo is kept a range goes in one step; it must leave the text, the
// words of a rich text, the position, the bookmarks and the line styles as
// the line-by-line steps that keep undo leave them.
TEST(EditSource, RangeDeletedInOneStepAgreesWithItsSteps) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    const bool rich = seed % 2 == 0;
    const int count = std::uniform_int_distribution<int>(2, 8)(rng);
    std::vector<std::string> lines;
    std::vector<TQuillData> words;
    for (int i = 0; i < count; ++i) {
      lines.push_back(rng() % 5 == 0 ? std::string() : RandomWord(rng, false) + RandomWord(rng, false));
      // Shorter than the line, as long, or longer, as edits leave them.
      const size_t n = lines.back().size() + rng() % 3 - std::min<size_t>(lines.back().size(), 1);
      TQuillData w;
      for (size_t k = 0; k < n; ++k) w += static_cast<char16_t>(rng() % 3 == 0 ? NoData : rng() % 4);
      words.push_back(w);
    }
    auto length = [&](int y) { return static_cast<int>(lines[static_cast<size_t>(y)].size()); };
    auto anywhere = [&](int y) { return static_cast<int>(rng() % static_cast<unsigned>(length(y) + 1)); };
    const int top = static_cast<int>(rng() % static_cast<unsigned>(count - 1));
    const int bottom = top + 1 + static_cast<int>(rng() % static_cast<unsigned>(count - 1 - top));
    const TPoint from{anywhere(top), top}, to{anywhere(bottom) + static_cast<int>(rng() % 2), bottom};
    const int caretY = static_cast<int>(rng() % static_cast<unsigned>(count));
    const TPoint caret{anywhere(caretY), caretY};
    std::vector<TQuillBookMark> marks, styles;
    for (int n = 1; n <= 4; ++n) {
      const int y = static_cast<int>(rng() % static_cast<unsigned>(count));
      marks.push_back({anywhere(y), y, n});
      styles.push_back({0, static_cast<int>(rng() % static_cast<unsigned>(count)), n});
    }
    const TQuillSourceOptions plain = seed % 4 == 1 ? srBeyondEol : srBeyondEol | srLeaveTrailSpaces;

    auto run = [&](bool undo) {
      std::unique_ptr<TCustomQuillEditSource> doc;
      if (rich) doc = std::make_unique<TCustomQuillRichEditSource>();
      else doc = std::make_unique<TQuillEditSource>();
      const TQuillSourceOptions options = rich ? doc->Options() : plain;
      doc->SetOptions(undo ? options | srAllowUndo : options & ~srAllowUndo);
      std::string text;
      for (const auto& line : lines) text += line + "\r\n";
      doc->Strings().SetText(text);
      for (int y = 0; y < count; ++y) doc->Strings().SetStrData(y, words[static_cast<size_t>(y)]);
      for (const auto& m : marks) doc->SetBookMark(m.Number, {m.X, m.Y});
      for (const auto& m : styles) doc->SetLineStyle(m.Y, m.Number);
      doc->JumpTo(caret.X, caret.Y);
      doc->BeginSourceUpdate(oprDeleteBlock);
      doc->DeleteRange(from, to);
      doc->EndSourceUpdate();
      std::vector<TQuillData> data;
      for (int y = 0; y < doc->Strings().Count(); ++y) data.push_back(doc->Strings().Item(y)->Data);
      return std::make_tuple(Take(*doc), data, doc->LineStyles().List());
    };
    const auto steps = run(true), range = run(false);
    ASSERT_EQ(std::get<0>(range), std::get<0>(steps))
        << "seed " << seed << "\nsteps\n" << DescribeSnapshot(std::get<0>(steps)) << "\nrange\n" << DescribeSnapshot(std::get<0>(range));
    ASSERT_EQ(std::get<1>(range), std::get<1>(steps)) << "seed " << seed;
    ASSERT_EQ(std::get<2>(range), std::get<2>(steps)) << "seed " << seed;
  }
}
