#include <gtest/gtest.h>

#include <functional>

#include "QuillView_helpers.h"
#include "editor/QuillSyntaxStyles.h"

using namespace quill;
using viewtest::FakeView;

namespace {

// A parser with three token styles; style 2 is red so runs of it stand out.
struct ThreeStyles {
  TQuillEditorParser parser;
  ThreeStyles() {
    parser.SetRules({"State = Normal", "Token = tnone", "Token = tcomment", "Token = tmine"});
    parser.Styles().Items(2).SetFontColor(clRed);
  }
};

TQuillData PaintedWords(std::initializer_list<uint16_t> words) { return TQuillData(words.begin(), words.end()); }

}  // namespace

// Golden recordings of whole lines: which runs go to the canvas, in which
// colours, and how the row is finished past the text.
TEST(QuillPainter, PaintsRunsWithTheColourRules) {
  struct Case {
    const char* name;
    std::function<void(FakeView&, ThreeStyles&)> setup;
    std::vector<std::string> expected;
    bool marks = false;
  };
  const std::string font = " font=Courier New,-10";
  const Case cases[] = {
      {"plain line, rest in the canvas brush",
       [](FakeView& v, ThreeStyles&) { v.SetText({"ab cd"}); },
       {"ExtTextOut 0,0 \"ab cd\" opaque,clipped 0,0,30,12" + font + " color=clWindowText bk=clWindow adv=6",
        "FillRect 30,0,400,12 brush=clWindow"}},
      {"selection reaching past the end of the line",
       [](FakeView& v, ThreeStyles&) {
         v.SetText({"abcdef", "gh"});
         v.selType = TQuillSelType::slStream;
         v.selStart = {4, 0};
         v.selEnd = {1, 1};
       },
       {"ExtTextOut 0,0 \"abcd\" opaque,clipped 0,0,24,12" + font + " color=clWindowText bk=clWindow adv=6",
        "ExtTextOut 24,0 \"ef\" opaque,clipped 24,0,36,12" + font + " color=clHighlightText bk=clHighlight adv=6",
        "FillRect 36,0,400,12 brush=clHighlight",
        "ExtTextOut 0,12 \"g\" opaque,clipped 0,12,6,24" + font + " color=clHighlightText bk=clHighlight adv=6",
        "ExtTextOut 6,12 \"h\" opaque,clipped 6,12,12,24" + font + " color=clWindowText bk=clWindow adv=6",
        "FillRect 12,12,400,24 brush=clWindow"}},
      {"selection on a styled line exchanges the style's colours",
       [](FakeView& v, ThreeStyles&) {
         v.SetText({"abc"});
         TQuillLineStyle& style = v.styles.Add();
         style.SetColor(clWhite);
         style.SetBackColor(clBlue);
         v.source.SetLineStyle(0, 0);
         v.selType = TQuillSelType::slStream;
         v.selEnd = {2, 0};
       },
       {"ExtTextOut 0,0 \"ab\" opaque,clipped 0,0,12,12" + font + " color=clBlue bk=clWhite adv=6",
        "ExtTextOut 12,0 \"c\" opaque,clipped 12,0,18,12" + font + " color=clWhite bk=clBlue adv=6",
        "FillRect 18,0,400,12 brush=clBlue"}},
      {"a search match shows over the selection",
       [](FakeView& v, ThreeStyles&) {
         v.SetText({"abcd"});
         v.selType = TQuillSelType::slStream;
         v.selEnd = {4, 0};
         v.searchStart = {1, 0};
         v.searchEnd = {3, 0};
       },
       {"ExtTextOut 0,0 \"a\" opaque,clipped 0,0,6,12" + font + " color=clHighlightText bk=clHighlight adv=6",
        "ExtTextOut 6,0 \"bc\" opaque,clipped 6,0,18,12" + font + " color=clLime bk=clBlack adv=6",
        "ExtTextOut 18,0 \"d\" opaque,clipped 18,0,24,12" + font + " color=clHighlightText bk=clHighlight adv=6",
        "FillRect 24,0,400,12 brush=clWindow"}},
      {"misspelled words keep their style and get a wave under the base line",
       [](FakeView& v, ThreeStyles& p) {
         v.SetText({"abcd"});
         v.source.SetParser(&p.parser);
         v.source.SetOptions(v.source.Options() | srLiveSpell);
         v.source.Strings().SetStrData(0, PaintedWords({32769, 32769, 65534, 0}));
       },
       {"ExtTextOut 0,0 \"ab\" opaque,clipped 0,0,12,12" + font + " color=clRed bk=clWindow adv=6",
        "PolyBezier pen=clRed 0,9 2,11 4,13 6,9 8,11 10,13 12,9",
        "ExtTextOut 12,0 \"c\" opaque,clipped 12,0,18,12" + font + " color=clWindowText bk=clWindow adv=6",
        "PolyBezier pen=clRed 12,9 14,11 16,13 18,9",
        "ExtTextOut 18,0 \"d\" opaque,clipped 18,0,24,12" + font + " color=clBlack bk=clWindow adv=6",
        "FillRect 24,0,400,12 brush=clWindow"}},
      {"colour selection keeps the syntax colours on the selection background",
       [](FakeView& v, ThreeStyles& p) {
         v.SetText({"abc"});
         v.source.SetParser(&p.parser);
         v.source.Strings().SetStrData(0, PaintedWords({1, 1, 2}));
         v.options |= eoColorSelection;
         v.selType = TQuillSelType::slStream;
         v.selStart = {1, 0};
         v.selEnd = {3, 0};
       },
       {"ExtTextOut 0,0 \"a\" opaque,clipped 0,0,6,12" + font + ",I color=clNavy bk=clWindow adv=6",
        "ExtTextOut 6,0 \"b\" opaque,clipped 6,0,12,12" + font + ",I color=clNavy bk=clHighlight adv=6",
        "ExtTextOut 12,0 \"c\" opaque,clipped 12,0,18,12" + font + " color=clRed bk=clHighlight adv=6",
        "FillRect 18,0,400,12 brush=clWindow"}},
      {"separated lines get a rule along their tops",
       [](FakeView& v, ThreeStyles&) {
         v.SetText({"a", "b"});
         v.divider.SetOptions(ldSeparateLines);
       },
       {"ExtTextOut 0,0 \"a\" opaque,clipped 0,0,6,12" + font + " color=clWindowText bk=clWindow adv=6",
        "FillRect 6,0,400,12 brush=clWindow", "Line 0,0-400,0 pen=clBlack",
        "ExtTextOut 0,12 \"b\" opaque,clipped 0,12,6,24" + font + " color=clWindowText bk=clWindow adv=6",
        "FillRect 6,12,400,24 brush=clWindow", "Line 0,12-400,12 pen=clBlack"}},
      {"the caret's line is filled first and its text drawn transparently",
       [](FakeView& v, ThreeStyles&) {
         v.SetText({"a", "b"});
         v.divider.SetOptions(ldHighlightCurrentLine);
         v.caret = {0, 1};
       },
       {"ExtTextOut 0,0 \"a\" opaque,clipped 0,0,6,12" + font + " color=clWindowText bk=clWindow adv=6",
        "FillRect 6,0,400,12 brush=clWindow", "FillRect 0,12,400,24 brush=clBtnShadow",
        "ExtTextOut 0,12 \"b\" clipped 0,12,6,24" + font + " color=clWindowText adv=6",
        "Line 0,12-400,12 pen=clBlack", "Line 0,23-400,23 pen=clBlack"}},
      {"links without a parser, and formatting marks",
       [](FakeView& v, ThreeStyles&) {
         v.SetText({"w x"});
         v.painter->HighlightUrls = true;
         v.source.Strings().SetStrData(0, PaintedWords({8, 65535, 65535}));
         v.options |= eoPaintFormattingMarks;
       },
       {"ExtTextOut 0,0 \"w\" opaque,clipped 0,0,6,12" + font + ",U color=clBlue bk=clWindow adv=6",
        "ExtTextOut 6,0 \"\xB7\" opaque,clipped 6,0,12,12" + font + " color=clBtnShadow bk=clWindow adv=6",
        "ExtTextOut 12,0 \"x\" opaque,clipped 12,0,18,12" + font + " color=clWindowText bk=clWindow adv=6",
        "FillRect 18,0,400,12 brush=clWindow"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeView v;
    ThreeStyles p;
    c.setup(v, p);
    v.PaintAll(0, c.marks);
    EXPECT_EQ(v.recorder.Calls(), c.expected);
  }
}

// Text goes out in runs of like look, never longer than 512 characters, and
// in one call when nothing splits a run.
TEST(QuillPainter, SplitsRunsOnlyWhereTheLookChangesAndAt512) {
  struct Case {
    int length;
    int selected;  // characters selected from the start; -1 none, 0 the whole line
    std::vector<size_t> runs;
  };
  const Case cases[] = {{1000, 0, {512, 488}}, {512, -1, {512}},      {1000, -1, {512, 488}},
                        {1000, 10, {10, 512, 478}}, {1024, 0, {512, 512}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    FakeView v;
    v.width = 10000;
    v.SetText({std::string(static_cast<size_t>(c.length), 'x'), "y"});
    if (c.selected >= 0) {
      v.selType = TQuillSelType::slStream;
      v.selEnd = c.selected == 0 ? TPoint{0, 1} : TPoint{c.selected, 0};
    }
    v.PaintAll();
    std::vector<size_t> runs;
    int x = 0;
    for (const std::string& call : viewtest::CallsStarting(v.recorder, "ExtTextOut")) {
      if (call.find("\"y\"") != std::string::npos) continue;
      EXPECT_EQ(call.rfind("ExtTextOut " + std::to_string(x) + ",0 ", 0), 0u) << call;
      const size_t open = call.find('"'), close = call.find('"', open + 1);
      runs.push_back(close - open - 1);
      x += static_cast<int>(runs.back()) * 6;
    }
    EXPECT_EQ(runs, c.runs);
  }

  // The draw-style event may change a character's look; each character is asked once,
  // the one that ends a run not again when it begins the next.
  FakeView v;
  ThreeStyles p;
  v.SetText({"abcdef"});
  v.source.SetParser(&p.parser);
  v.drawStyle = [](int, int ch, uint16_t& style) { style = ch >= 2 && ch < 4 ? 2 : 0; };
  v.PaintAll();
  EXPECT_EQ(viewtest::CallsStarting(v.recorder, "ExtTextOut").size(), 3u);
  EXPECT_EQ(v.drawStyleCalls, 6);
}

// Pixels and text points convert both ways, with and without word wrap, and
// the special values pass through.
TEST(QuillPainter, TextAndPixelPointsRoundTrip) {
  for (bool wrap : {false, true}) {
    SCOPED_TRACE(wrap ? "wrapped" : "plain");
    FakeView v;
    v.SetText({"abcdefghij", "", "klmnopqrstuvw", "xy"});
    v.wordWrap = wrap;
    if (wrap) v.WrapAll(4);
    TCustomQuillPainter& p = *v.painter;
    const TPoint top{0, 0};
    const TPoint points[] = {{0, 0}, {3, 0}, {5, 0}, {9, 0}, {0, 1}, {0, 2}, {6, 2}, {12, 2}, {1, 3}};
    for (TPoint t : points) {
      const TPoint pixel = p.TextToPixelPoint(t, top, false);
      EXPECT_EQ(p.PixelToTextPoint(pixel, top, nullptr, false), t) << t.X << "," << t.Y;
      // Anywhere inside the character's cell maps to the character.
      EXPECT_EQ(p.PixelToTextPoint({pixel.X + 5, pixel.Y + 11}, top, nullptr, false), t) << t.X << "," << t.Y;
    }
    // Rows below the top: line 2 seen from line 2 is at y 0.
    EXPECT_EQ(p.TextToPixelPoint({0, 2}, {0, 2}, false).Y, 0);
    EXPECT_EQ(p.GetOffsetFromChar(MaxInt), MaxInt);
    EXPECT_EQ(p.GetOffsetFromChar(3), 18);
    EXPECT_EQ(p.TextToPixelPoint({MaxInt, 0}, top, false).X, MaxInt);
    EXPECT_EQ(p.ScrollPageSize({0, 0, 0, 0}), (TPoint{-1, -1}));
    EXPECT_EQ(p.ScrollPageSize({0, 0, 61, 25}), (TPoint{10, 2}));
  }
  // At a soft row end the caret may stand at the end of the upper row; a
  // click past a row's end lands on its last character.
  FakeView v;
  v.SetText({"abcdefghij"});
  v.wordWrap = true;
  v.WrapAll(4);
  TCustomQuillPainter& p = *v.painter;
  EXPECT_EQ(p.TextToPixelPoint({4, 0}, {0, 0}, false), (TPoint{0, 12}));
  EXPECT_EQ(p.TextToPixelPoint({4, 0}, {0, 0}, true), (TPoint{24, 0}));
  EXPECT_EQ(p.PixelToTextPoint({100, 0}, {0, 0}, nullptr, true), (TPoint{3, 0}));
  EXPECT_EQ(p.PixelToTextPoint({100, 24}, {0, 0}, nullptr, true), (TPoint{100 / 6 + 8, 0}));
  EXPECT_EQ(p.PixelToTextPoint({-7, 12}, {0, 0}, nullptr, false), (TPoint{4, 0}));
}

// Lines per page: whole rows only, and never fewer than one, however low
// the page.
TEST(QuillPainter, CountsTheLinesThatFitOnAPage) {
  FakeView v;
  v.SetText({"a", "b", "c", "d", "e"});
  TCustomQuillPainter& p = *v.painter;
  int last = 0;
  EXPECT_EQ(p.LinesOnPage({0, 0}, {0, 0, 100, 35}, last), 2);
  EXPECT_EQ(last, MaxInt);
  EXPECT_EQ(p.LinesOnPage({0, 1}, {0, 0, 100, 36}, last), 3);
  EXPECT_EQ(p.LinesOnPage({0, 3}, {0, 0, 100, 1000}, last), 2);
  EXPECT_EQ(p.LinesOnPage({0, 2}, {0, 0, 100, 5}, last), 1);
  v.wordWrap = true;
  v.SetText({"abcdefghij", "k"});
  v.WrapAll(4);
  EXPECT_EQ(p.LinesOnPage({0, 0}, {0, 0, 100, 24}, last), 1);
  EXPECT_EQ(last, 7);  // the page ends inside line 0, after its second row
}
