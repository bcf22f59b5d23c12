#include "editor/QuillDocParser.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

using namespace quill;

namespace {

constexpr int WordStyle = 1, CommentStyle = 2, StringStyle = 3, KeywordStyle = 4, UrlStyle = 5;

// A small C-like tokenizer: block comments carry state from line to line.
// It counts the lines it is asked to parse, so a test can see how much work an
// edit caused.
class CountingParser : public TCustomQuillParser {
 public:
  int linesParsed = 0;

  int ParseString(int& state, const std::string& s, int& pos) override {
    const int len = static_cast<int>(s.size());
    if (pos == 1) ++linesParsed;
    auto at = [&](int p) { return p <= len ? s[static_cast<size_t>(p - 1)] : '\0'; };
    if (state == 1) {
      while (pos <= len && !(at(pos) == '*' && at(pos + 1) == '/')) ++pos;
      if (pos <= len) {
        pos += 2;
        state = 0;
      }
      return CommentStyle;
    }
    if (at(pos) == '/' && at(pos + 1) == '*') {
      pos += 2;
      state = 1;
      return CommentStyle;
    }
    if (at(pos) == '"') {
      ++pos;
      while (pos <= len && at(pos) != '"') ++pos;
      ++pos;
      return StringStyle;
    }
    const int from = pos;
    while (pos <= len && at(pos) != ' ' && at(pos) != '"' && at(pos) != '/') ++pos;
    if (pos == from) ++pos;
    return s.compare(static_cast<size_t>(from - 1), 5, "while") == 0 ? KeywordStyle : WordStyle;
  }
  void GetFont(int, TColor& color, TFontStyles& style) override {
    color = clBlack;
    style = 0;
  }
  TColor GetColor(int) override { return clBlack; }
  TColor GetDefaultColor() override { return clBlack; }
  int GetStyleCount() override { return 6; }
  int GetStyleByName(const std::string& name) override {
    if (name == "tcomment") return CommentStyle;
    if (name == "tstring") return StringStyle;
    if (name == "turl") return UrlStyle;
    return -1;
  }
};

void TypeInto(TCustomQuillEditSource& doc, TPoint at, const std::string& s) {
  doc.BeginSourceUpdate(oprInsert);
  doc.JumpTo(at.X, at.Y);
  doc.InsertString(s);
  doc.EndSourceUpdate();
}

}  // namespace

TEST(DocParser, EditReparsesOnlyLinesWhoseStartStateChanged) {
  TQuillEditSource doc;
  CountingParser parser;
  doc.Strings().BeginUpdate();
  for (int i = 0; i < 10000; ++i) doc.Strings().Add("int value" + std::to_string(i) + " = 1;");
  doc.Strings().EndUpdate();
  doc.SetParser(&parser);
  doc.ParseToString(9999);
  EXPECT_EQ(parser.linesParsed, 10000);

  struct Step {
    const char* what;
    TPoint at;
    std::string text;
    int expected;
  };
  const Step steps[] = {
      {"plain word: end state unchanged", {0, 5000}, "x", 1},
      {"opened comment runs to the end", {0, 5000}, "/* ", 5000},
      {"closed on the next line", {0, 5001}, "*/ ", 4999},
      {"typing inside the comment", {4, 5000}, "y", 1},
      {"first line, no state change", {0, 0}, "z", 1},
  };
  for (const auto& step : steps) {
    parser.linesParsed = 0;
    TypeInto(doc, step.at, step.text);  // the edited line is parsed at once, the rest on demand
    doc.ParseToString(9999);
    EXPECT_EQ(parser.linesParsed, step.expected) << step.what;
  }
  EXPECT_EQ(doc.Strings().GetData(5000, 1), CommentStyle);
  EXPECT_EQ(doc.Strings().GetData(5001, 1), CommentStyle);
  EXPECT_EQ(doc.Strings().GetData(5002, 1), WordStyle);
  EXPECT_EQ(doc.Strings().GetData(9999, 1), WordStyle);

  // A painter asking for an already parsed line costs nothing.
  parser.linesParsed = 0;
  doc.ParseToString(4000);
  EXPECT_EQ(parser.linesParsed, 0);

  // NeedUpdate tells the view whether the lines below must be redrawn.
  doc.Strings().Put(7000, "/* open");
  EXPECT_TRUE(doc.NeedUpdate(7000));
  doc.Strings().Put(7000, "no comment");
  EXPECT_TRUE(doc.NeedUpdate(7000));
  doc.Strings().Put(7000, "still none");
  EXPECT_FALSE(doc.NeedUpdate(7000));
  doc.SetParser(nullptr);
}

TEST(DocParser, SpellingAndLinkMarks) {
  TQuillEditSource doc;
  CountingParser parser;
  doc.SetOptions(doc.Options() | srLiveSpell | srHighlightUrls);
  std::vector<std::string> asked;
  doc.OnWordSpell = [&](TQuillObject*, const std::string& s, bool& correct) {
    asked.push_back(s);
    correct = s.find("xx") == std::string::npos;
  };
  doc.Strings().Add("whilexx \"okay badxx\" /* comxx */ www.example.com");
  doc.SetParser(&parser);
  doc.ParseToString(0);
  const std::string line = doc.Strings().Get(0);
  auto styleAt = [&](const char* word) { return doc.Strings().GetData(0, static_cast<int>(line.find(word)) + 1); };
  EXPECT_EQ(styleAt("whilexx"), KeywordStyle) << "keywords are not spell tokens";
  EXPECT_EQ(styleAt("okay"), StringStyle);
  EXPECT_EQ(styleAt("badxx"), StringStyle + MisspelledBase);
  EXPECT_EQ(styleAt("comxx"), CommentStyle + MisspelledBase);
  EXPECT_EQ(styleAt("www."), UrlStyle);
  EXPECT_EQ(styleAt("example.com"), UrlStyle);

  // Without a parser every word is examined; a misspelled one is 65534.
  doc.SetParser(nullptr);
  doc.Strings().Clear();
  doc.Strings().Add("one twoxx");
  doc.ParseString(0, true);
  EXPECT_EQ(doc.Strings().GetData(0, 1), NoData);
  EXPECT_EQ(doc.Strings().GetData(0, 5), 65534);
}

TEST(DocParser, WordBeingTypedIsMarkedOnlyOnceTheCaretLeavesIt) {
  for (bool withParser : {false, true}) {
    SCOPED_TRACE(withParser ? "with parser" : "without parser");
    TQuillEditSource doc;
    CountingParser parser;
    doc.SetOptions(doc.Options() | srLiveSpell);
    std::vector<std::string> asked;
    doc.OnWordSpell = [&](TQuillObject*, const std::string& s, bool& correct) {
      asked.push_back(s);
      correct = s == "ok";
    };
    // Inside quotes so the parser's string style makes every word a spell token.
    doc.Strings().Add("\"ok ");
    doc.Strings().Add("next");
    if (withParser) doc.SetParser(&parser);
    doc.ParseToString(0);
    const int from = 4;  // 0-based column where "wrng" starts

    // Keystrokes as the editor control makes them: insert, caret right, re-spell.
    auto key = [&](char c) {
      doc.BeginSourceUpdate(oprInsert);
      doc.InsertString(std::string(1, c));
      doc.Navigate(1, 0);
      doc.UpdateSpelling(0);
      doc.EndSourceUpdate();
    };
    auto marked = [&](int column) {
    const int v = doc.Strings().GetData(0, column + 1);
    return v >= MisspelledBase && v != NoData;
  };
    doc.JumpTo(from, 0);
    for (int i = 0; i < 4; ++i) {
      key("wrng"[i]);
      for (int k = 0; k <= i; ++k) EXPECT_FALSE(marked(from + k)) << "after " << i + 1 << " keys, column " << from + k;
    }
    for (const char* partial : {"wr", "wrn"})
      EXPECT_EQ(std::count(asked.begin(), asked.end(), partial), 0) << partial << " was checked while being typed";

    // Editing inside the word keeps it the word being typed.
    doc.JumpTo(from + 2, 0);
    key('x');
    EXPECT_FALSE(marked(from));
    doc.JumpTo(from + 5, 0);

    key(' ');  // the caret has left the word
    for (int k = 0; k < 5; ++k) EXPECT_TRUE(marked(from + k)) << "column " << from + k;
    EXPECT_FALSE(marked(1)) << "\"ok\" is spelled right";

    // Moving off the line trims its trailing blank; the word under the caret is
    // not being typed then and keeps its mark.
    doc.JumpTo(from + 1, 0);
    doc.JumpTo(0, 1);
    EXPECT_EQ(doc.Strings().GetStr(0), "\"ok wrxng");
    EXPECT_TRUE(marked(from + 1));
    doc.SetParser(nullptr);
  }
}

TEST(DocParser, WordBoundsAroundDelimitersAndObjects) {
  TQuillEditSource doc;
  doc.Strings().Add("  alpha beta\x01gamma  x");
  doc.Strings().Add("");
  struct Case {
    TPoint p;
    TQuillWordSelType type;
    int start, end;
  };
  using W = TQuillWordSelType;
  const Case cases[] = {
      {{3, 0}, W::wsWord, 3, 7},          // inside "alpha"
      {{2, 0}, W::wsWord, 3, 7},          // on its first letter
      {{7, 0}, W::wsWord, 3, 7},          // the blank after it belongs to the word before
      {{0, 0}, W::wsWord, 3, 7},          // leading blanks: the next word
      {{7, 0}, W::wsWordAndSpace, 3, 8},  // plus one blank
      {{9, 0}, W::wsWord, 9, 12},         // "beta" ends at the object
      {{12, 0}, W::wsWord, 13, 13},       // the object is a word by itself
      {{14, 0}, W::wsWord, 14, 18},       // "gamma" starts after it
      {{15, 0}, W::wsToNextWord, 14, 20},  // up to the end of the trailing blanks
      {{99, 0}, W::wsWord, 21, 21},       // beyond the end: the last word
      {{-1, 0}, W::wsWord, 0, 0},
      {{0, 1}, W::wsWord, 0, 0},          // empty line
      {{0, 7}, W::wsWord, 0, 0},          // no such line
  };
  for (const auto& c : cases) {
    int start = -5, end = -5;
    GetWord(doc, c.p, start, end, c.type);
    EXPECT_EQ(start, c.start) << "at " << c.p.X << "," << c.p.Y;
    EXPECT_EQ(end, c.end) << "at " << c.p.X << "," << c.p.Y;
  }
  EXPECT_EQ(GetTextAt(doc, {4, 0}, true), "alpha");
  EXPECT_EQ(GetTextAt(doc, {7, 0}, true), "");
  EXPECT_EQ(GetTextAt(doc, {7, 0}, false), "alpha");
  EXPECT_TRUE(IsDelimiter(doc, "a b", 2));
  EXPECT_FALSE(IsDelimiter(doc, "a b", 4));
}

TEST(DocParser, BracketMatchingAcrossLines) {
  TQuillEditSource doc;
  for (const char* s : {"(a(b)c)", "f(x) { if (y) {", "  z[1] = {2};", "} }", "<<>"}) doc.Strings().Add(s);
  struct Case {
    char ch;
    TPoint from;
    bool found;
    TPoint to;
  };
  const Case cases[] = {
      {'(', {0, 0}, true, {6, 0}},   // (a(b)c): the outer pair
      {'(', {2, 0}, true, {4, 0}},
      {')', {6, 0}, true, {0, 0}},
      {'{', {5, 1}, true, {2, 3}},   // over a nested pair on another line
      {'{', {14, 1}, true, {0, 3}},
      {'}', {2, 3}, true, {5, 1}},
      {'[', {3, 2}, true, {5, 2}},
      {'<', {0, 4}, false, {0, 4}},  // never closed
      {'>', {2, 4}, true, {1, 4}},
      {'a', {1, 0}, false, {1, 0}},  // not a bracket
  };
  for (const auto& c : cases) {
    TPoint p = c.from;
    const bool open = c.ch == '(' || c.ch == '{' || c.ch == '[' || c.ch == '<' || c.ch == 'a';
    const bool found = open ? FindCloseBracket(doc, c.ch, p) : FindOpenBracket(doc, c.ch, p);
    EXPECT_EQ(found, c.found) << c.ch << " at " << c.from.X << "," << c.from.Y;
    if (found) {
      EXPECT_EQ(p, c.to) << c.ch << " at " << c.from.X << "," << c.from.Y << " went to " << p.X << "," << p.Y;
    }
  }
}
