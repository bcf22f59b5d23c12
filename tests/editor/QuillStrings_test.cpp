#include "editor/QuillStrings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

using namespace quill;

namespace {

// The fold state of one line as the brute-force model keeps it.
struct ModelLine {
  bool hidden = false;     // the istHidden flag
  bool invisible = false;  // out of view
  bool expanded = false;
  bool collapsed = false;
  uint8_t level = 0;
};

struct FoldModel {
  std::vector<ModelLine> lines;
  bool hideLines = true;

  void SetVisible(int i, bool visible) {
    auto& l = lines[static_cast<size_t>(i)];
    l.hidden = !visible;
    if (visible) {
      l.invisible = false;
    } else if (!l.invisible &&
               (i == 0 || lines[static_cast<size_t>(i - 1)].invisible || lines[static_cast<size_t>(i - 1)].collapsed)) {
      l.invisible = true;
    }
  }
  void SetFold(int i, bool expanded, bool collapsed) {
    auto& l = lines[static_cast<size_t>(i)];
    l.expanded = expanded;
    l.collapsed = !expanded && collapsed;
    int block = -1;
    for (size_t j = static_cast<size_t>(i) + 1; j < lines.size() && lines[j].hidden; ++j) {
      if (block < 0) block = lines[j].level;
      if (lines[j].level < block) break;
      lines[j].invisible = !l.expanded;
      if (l.expanded && lines[j].collapsed) {
        lines[j].collapsed = false;
        lines[j].expanded = true;
      }
    }
  }
  int Hidden() const {
    if (!hideLines) return 0;
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const ModelLine& l) { return l.invisible; }));
  }
  bool InView(int i) const { return !hideLines || !lines[static_cast<size_t>(i)].invisible; }
  int RealToVisible(int line) const {
    if (Hidden() == 0) return line;
    int v = 0;
    for (int i = 0; i < line && i < static_cast<int>(lines.size()); ++i) v += InView(i) ? 1 : 0;
    return v;
  }
  int VisibleToReal(int visible) const {
    if (Hidden() == 0) return visible;
    int v = 0;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
      if (!InView(i)) continue;
      if (v == visible) return i;
      ++v;
    }
    return visible + Hidden();
  }
};

TEST(QuillStrings, FoldingMatchesBruteForceUnderRandomOperations) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    TQuillStrings s;
    FoldModel m;
    s.SetHideLines(true);
    for (int i = 0; i < 12; ++i) {
      s.Add("line");
      m.lines.push_back({});
    }
    for (int step = 0; step < 400; ++step) {
      const int n = s.Count();
      const int i = n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0;
      switch (rng() % 8) {
        case 0:
          s.Insert(i, "new");
          m.lines.insert(m.lines.begin() + i, ModelLine{});
          break;
        case 1:
          if (n > 1 && rng() % 2 == 0) {
            s.Delete(i);
            m.lines.erase(m.lines.begin() + i);
          } else if (n > 1) {
            const int count = std::min(static_cast<int>(rng() % 4) + 1, n - 1 - i);
            s.Delete(i, count);
            m.lines.erase(m.lines.begin() + i, m.lines.begin() + i + std::max(count, 0));
          }
          break;
        case 2:
        case 3: {
          bool v = rng() % 3 == 0;
          s.SetVisible(i, v);
          m.SetVisible(i, v);
          break;
        }
        case 4: {
          bool e = rng() % 2 == 0, c = rng() % 2 == 0;
          s.SetExpandedOrCollapsed(i, e, c);
          m.SetFold(i, e, c);
          break;
        }
        case 5: {
          uint8_t level = static_cast<uint8_t>(rng() % 3);
          s.SetLevel(i, level);
          m.lines[static_cast<size_t>(i)].level = level;
          break;
        }
        case 6:
          if (rng() % 10 == 0) {
            m.hideLines = !m.hideLines;
            s.SetHideLines(m.hideLines);
          }
          break;
        default:
          s.Exchange(i, static_cast<int>(rng() % static_cast<unsigned>(n)));
          break;
      }
      ASSERT_EQ(s.GetHiddenCount(), m.Hidden()) << "seed " << seed << " step " << step;
      ASSERT_EQ(s.GetVisibleCount(), s.Count() - m.Hidden());
      for (int line = 0; line < s.Count(); ++line) {
        ASSERT_EQ(s.GetLineVisible(line), m.InView(line)) << "seed " << seed << " step " << step << " line " << line;
        ASSERT_EQ(s.GetVisible(line), !m.lines[static_cast<size_t>(line)].hidden);
        ASSERT_EQ(s.RealToVisibleLineIndex(line), m.RealToVisible(line)) << "seed " << seed << " step " << step;
      }
      for (int v = 0; v < s.Count() + 2; ++v)
        ASSERT_EQ(s.VisibleToRealLineIndex(v), m.VisibleToReal(v)) << "seed " << seed << " step " << step << " v " << v;
    }
  }
}

TEST(QuillStrings, HidingUnderAnOpenLineOnlyMarksIt) {
  TQuillStrings s;
  s.SetHideLines(true);
  for (int i = 0; i < 8; ++i) s.Add("x");
  s.SetLevel(5, 1);
  s.SetLevel(6, 1);
  int changes = 0;
  s.OnChange = [&](TQuillObject*) { ++changes; };
  s.SetVisible(5, false);
  s.SetVisible(6, false);
  EXPECT_EQ(changes, 0);
  s.SetVisible(3, true);  // showing a line is a change of the view, shown or not
  EXPECT_EQ(changes, 1);
  s.OnChange = nullptr;
  EXPECT_EQ(s.GetHiddenCount(), 0);
  EXPECT_FALSE(s.GetVisible(5));
  s.SetCollapsed(4, true);
  EXPECT_EQ(s.GetHiddenCount(), 2);
  EXPECT_EQ(s.VisibleToRealLineIndex(5), 7);
  s.Insert(5, "new");  // the new line is in view, the hidden ones move down
  EXPECT_TRUE(s.GetLineVisible(5));
  EXPECT_FALSE(s.GetLineVisible(6));
  EXPECT_FALSE(s.GetLineVisible(7));
  EXPECT_EQ(s.RealToVisibleLineIndex(6), 6) << "a hidden line maps to the next line in view";
  s.Delete(5);
  s.ExpandPrev(6);
  EXPECT_EQ(s.GetHiddenCount(), 0);
  EXPECT_TRUE(s.GetExpanded(4));
}

TEST(QuillStrings, RecordsStayWithTheirPlaceOrTheirText) {
  TQuillStrings s;
  s.Add("one");
  s.Add("two");
  s.SetItemState(0, istReadolny, true);
  s.SetLevel(0, 3);
  s.SetStrData(0, u"\x0001\x0002\x0003");
  int tag = 0;
  s.PutObject(0, &tag);
  s.Exchange(0, 1);
  EXPECT_EQ(s.GetStr(1), "one");
  EXPECT_EQ(s.GetObject(1), &tag);
  EXPECT_EQ(s.GetData(1, 2), 2);
  EXPECT_EQ(s.GetLevel(0), 3) << "flags and levels stay with the position";
  EXPECT_TRUE(s.GetItemStates(0) & istReadolny);

  // Bounds: neutral answers, no writes outside the data string.
  EXPECT_EQ(s.GetData(1, 4), NoData);
  EXPECT_EQ(s.GetData(5, 1), NoData);
  EXPECT_EQ(s.GetStr(-1), "");
  s.PutData(1, 2, 100, 7);
  EXPECT_EQ(s.GetStrData(1), (TQuillData{1, 7, 7}));
  s.PutData(1, 9, 1, 7);
  EXPECT_EQ(s.GetStrData(1).size(), 3u);
  // Text inserted in place counts as a Put of the line so changed.
  const int64_t size = s.TextSize();
  s.ResetUpdateRange();
  s.InsertText(1, 1, "ww");
  s.InsertText(1, 99, "!");
  s.InsertText(9, 0, "ignored");
  EXPECT_EQ(s.StoredText(1), "owwne!");
  EXPECT_EQ(s.StoredText(9), "");
  EXPECT_EQ(s.TextSize(), size + 3);
  EXPECT_EQ((TPoint{s.TextFirst(), s.TextLast()}), (TPoint{1, 1}));
  EXPECT_EQ(s.GetStrData(1).size(), 3u) << "the data words are the document's to keep in step";
  s.SetCapacity(1);
  EXPECT_EQ(s.Count(), 2) << "lowering the capacity below the count is refused";
  s.Put(7, "ignored");
  s.Delete(7);
  EXPECT_EQ(s.Count(), 2);
}

TEST(QuillStrings, TextInAndOut) {
  struct Case {
    const char* in;
    TQuillLineBreak lineBreak;
    const char* out;
  };
  const Case cases[] = {
      {"a\r\nb", TQuillLineBreak::lbLF, "a\nb\n"},
      {"a\rb\n\nc\r\n", TQuillLineBreak::lbCRLF, "a\r\nb\r\n\r\nc\r\n"},
      {"x\t\x01y  ", TQuillLineBreak::lbCR, "x\t\x01y  \r"},
      {"", TQuillLineBreak::lbCRLF, ""},
  };
  for (const auto& c : cases) {
    TQuillStrings s;
    s.SetText(c.in);
    s.LineBreak = c.lineBreak;
    std::ostringstream out;
    s.SaveToStream(out);
    EXPECT_EQ(out.str(), c.out) << c.in;
  }
}

// Oracle: the first (or last) occurrence found with std::string, line by line.
bool OracleSearch(const std::vector<std::string>& lines, const std::string& what, bool forward, bool caseSensitive,
                  TPoint& pos) {
  auto prep = [&](std::string s) { return caseSensitive ? s : UpperCase(s); };
  const std::string w = prep(what);
  if (forward) {
    for (int y = pos.Y; y < static_cast<int>(lines.size()); ++y) {
      std::string line = prep(TrimRightEx(lines[static_cast<size_t>(y)]));
      size_t from = y == pos.Y ? static_cast<size_t>(std::max(pos.X - 1, 0)) : 0;
      if (from >= line.size()) continue;
      auto at = line.find(w, from);
      if (at != std::string::npos) {
        pos = {static_cast<int>(at) + 1, y};
        return true;
      }
    }
  } else {
    for (int y = pos.Y; y >= 0; --y) {
      std::string line = prep(TrimRightEx(lines[static_cast<size_t>(y)]));
      int limit = y == pos.Y ? std::min(pos.X, static_cast<int>(line.size())) : static_cast<int>(line.size());
      if (limit <= 0) continue;
      auto at = line.rfind(w, static_cast<size_t>(limit - 1));
      if (at != std::string::npos && at + w.size() <= line.size()) {
        pos = {static_cast<int>(at) + 1, y};
        return true;
      }
    }
  }
  return false;
}

TEST(QuillStrings, SearchAgreesWithStdStringFind) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> lines;
    TQuillStrings s;
    int n = 1 + static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) {
      std::string line;
      int len = static_cast<int>(rng() % 12);
      for (int j = 0; j < len; ++j) line += "abAB "[rng() % 5];
      lines.push_back(line);
      s.Add(line);
    }
    std::string what;
    int wl = 1 + static_cast<int>(rng() % 3);
    for (int j = 0; j < wl; ++j) what += "abA"[rng() % 3];
    bool forward = rng() % 2 == 0, cs = rng() % 2 == 0;
    TPoint start{static_cast<int>(rng() % 10), static_cast<int>(rng() % static_cast<unsigned>(n))};
    TPoint got = start, want = start;
    int len = 0;
    TQuillSearchParams params = static_cast<TQuillSearchParams>((forward ? srpForward : 0) | (cs ? srpCaseSensitive : 0));
    bool found = SearchInStrings(what, s, params, DelimSet(), got, len);
    bool expected = OracleSearch(lines, what, forward, cs, want);
    ASSERT_EQ(found, expected) << "round " << round;
    if (found) {
      ASSERT_EQ(got, want) << "round " << round;
      ASSERT_EQ(len, static_cast<int>(what.size()));
    }
  }
}

TEST(QuillStrings, WholeWordSearch) {
  TQuillStrings s;
  s.Add("cat concat cat");
  s.Add("category cat");
  struct Case {
    TPoint start;
    bool forward;
    TPoint expect;
  };
  const Case cases[] = {
      {{1, 0}, true, {1, 0}},   {{2, 0}, true, {12, 0}}, {{13, 0}, true, {10, 1}},
      {{14, 1}, false, {10, 1}}, {{9, 1}, false, {12, 0}}, {{11, 0}, false, {1, 0}},
  };
  for (const auto& c : cases) {
    TPoint p = c.start;
    int len = 0;
    TQuillSearchParams params = static_cast<TQuillSearchParams>(srpWholeWords | (c.forward ? srpForward : 0));
    ASSERT_TRUE(SearchInStrings("cat", s, params, DelimSet() | WordDelimSet(), p, len));
    EXPECT_EQ(p, c.expect) << c.start.X << "," << c.start.Y;
  }
  TPoint p{0, 1};
  int len = 0;
  EXPECT_TRUE(SearchInStrings("cat", s, 0, DelimSet(), p, len)) << "start 0 on a line goes to the line above";
  EXPECT_EQ(p, (TPoint{12, 0}));
  p = {1, 0};  // a search routine's "not found" stands, whatever start it left
  EXPECT_FALSE(SearchInStrings("cat", s, srpForward, DelimSet(), p, len, [](auto&, int& at, int&, bool) { return !(at = 3); }));
}

}  // namespace
