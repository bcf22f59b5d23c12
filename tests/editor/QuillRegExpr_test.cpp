#include "editor/QuillRegExpr.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

using quill::EQuillRegExprError;
using quill::TQuillRegExpr;
using quill::TQuillRegState;

namespace {

// Exact match length at the start of P, or -1; StringMatch reports at least 1.
int MatchLength(TQuillRegExpr& re, std::string_view p, bool firstInLine) {
  int len = -7;
  return re.StringMatch(p, firstInLine, len) ? len : -1;
}

std::string Printable(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

TEST(QuillRegExpr, MatchesAnchoredAtTheStart) {
  struct Case {
    const char* expr;
    bool caseSensitive;
    std::string text;
    bool firstInLine;
    int len;  // -1: no match
  };
  const std::vector<Case> cases = {
      {"ab|c", false, "abc", true, 3},
      {"ab|c", false, "ac", true, 2},
      {"{ab}+", false, "ababx", true, 4},
      {"[a-f]", false, "D", true, 1},
      {"#65", true, "A", true, 1},
      {"[\\]]", true, "]", true, 1},
      {"^a", true, "a", true, 1},
      {"^a", true, "a", false, -1},
      // Character 0 is an ordinary character, not the end of the expression.
      {"a#0b", true, std::string("a\0b", 3), true, 3},
      {"\\#0", true, std::string("#0"), true, 2},
      {"[#0-#9]+", true, std::string("\0\x05\x0a", 3), true, 2},
      // Every digit counts; the number is kept to the 8 bits of a character.
      {"#321x", true, "Ax", true, 2},
      {"[#321-#322]", true, "B", true, 1},
      {"a#b", true, "a#b", true, 3},
      // A negated item takes one character where the item fails and ends the match
      // there (or the repetition it stands in); where the item fits, or at the end of
      // the text, it fails.
      {"x!ay", true, "xby", true, 2},
      {"x!ay", true, "xbz", true, 2},
      {"x!ay", true, "xay", true, -1},
      {"!{ab}", true, "ax", true, 2},
      {"!{ab}+c", true, "aacabc", true, 3},
      {"{x!ay}+z", true, "xbxbz", true, 5},
      {"!a", true, "", true, -1},
      {"x!{ab}", true, "xa", true, -1},
      {"!$", true, "q", true, 1},
      // "." and "[^...]" fit the end of the text once, without consuming.
      {"a.", true, "a", true, 1},
      {"a..", true, "a", true, -1},
      {"a.*", true, "a", true, 1},
      // Repetitions are greedy but give back what the rest needs.
      {"{ab|}*b", true, "ababb", true, 5},
      {"a|", true, "", true, 1},
      // Without case both ends of a range are upper-cased: Z to A holds nothing.
      {"[Z-a]", false, "z", true, -1},
      {"[a-F]", false, "d", true, 1},
      // A quantifier right after "{" repeats the group's empty start.
      {"{*a}", true, "a", true, 1},
      {"{|a}b", true, "ab", true, 2},
      {"{+a}", true, "a", true, -1},
      {"\xe9", false, "\xc9", true, -1},
  };
  for (const Case& c : cases) {
    TQuillRegExpr re(c.expr, c.caseSensitive);
    EXPECT_EQ(MatchLength(re, c.text, c.firstInLine), c.len)
        << c.expr << " on \"" << Printable(c.text) << "\"";
  }
}

TEST(QuillRegExpr, RejectsMalformedExpressionsAtTheirPosition) {
  struct Case {
    const char* expr;
    int position;
  };
  const std::vector<Case> cases = {
      {"a**", 3}, {"*a", 1},  {"{ab", 1},  {"a{b{c}", 2}, {"ab}", 3},   {"a}b{", 2},  {"a\\", 2},
      {"a!", 2},  {"!*", 2},  {"!}", 2},   {"[ab", 1},    {"[]", 2},    {"[^]", 3},   {"[-a]", 2},
      {"[a-]", 3}, {"[a-c-e]", 5}, {"[\\q]", 2}, {"^*", 2}, {"$+", 2},
      {"|", 1},
  };
  for (const Case& c : cases) {
    try {
      TQuillRegExpr re(c.expr, true);
      ADD_FAILURE() << c.expr << " compiled";
    } catch (const EQuillRegExprError& e) {
      EXPECT_EQ(e.Position(), c.position) << c.expr;
      EXPECT_EQ(e.Message(), std::string(c.expr) + " is invalid mask at (" + std::to_string(c.position) + ")");
    }
  }
  // Deep nesting is refused instead of exhausting the stack.
  EXPECT_THROW(TQuillRegExpr(std::string(100000, '{') + std::string(100000, '}'), true), EQuillRegExprError);
  EXPECT_NO_THROW(TQuillRegExpr(std::string(100, '{') + "a" + std::string(100, '}'), true));
}

TEST(QuillRegExpr, FirstStateSkipsAnchorsGroupsAndTheEnd) {
  struct Case {
    const char* expr;
    bool caseSensitive;
    int kind;  // -1: none
    char ch;
    bool negated;
  };
  const std::vector<Case> cases = {
      {"^{ab}*", false, quill::rsChar, 'A', false},
      {"!{xy}z", true, quill::rsChar, 'x', true},
      {"\\.", true, quill::rsEscape, '.', false},
      {".x", true, quill::rsAnyChar, 0, false},
      {"^$", true, -1, 0, false},
      {"{}", true, -1, 0, false},
  };
  for (const Case& c : cases) {
    TQuillRegExpr re(c.expr, c.caseSensitive);
    const TQuillRegState* s = re.GetFirstState();
    if (c.kind < 0) {
      EXPECT_EQ(s, nullptr) << c.expr;
      continue;
    }
    ASSERT_NE(s, nullptr) << c.expr;
    EXPECT_EQ(s->Kind, c.kind) << c.expr;
    EXPECT_EQ(s->Negated, c.negated) << c.expr;
    if (c.kind == quill::rsChar || c.kind == quill::rsEscape) {
      EXPECT_EQ(s->Char, static_cast<uint8_t>(c.ch)) << c.expr;
    }
  }
  TQuillRegExpr set("[^x]", true);
  EXPECT_TRUE(set.GetFirstState()->SetNegated);
  EXPECT_TRUE(set.GetFirstState()->Set['x']);
  // The quantifier follows the last state of its item.
  TQuillRegExpr q("a{bc}*", true);
  const auto& st = q.States();
  ASSERT_EQ(st.size(), 7u);  // a { b c } * end
  EXPECT_EQ(st[1].Next, 4);
  EXPECT_EQ(st[5].Kind, quill::rsStar);
  EXPECT_EQ(st[0].Next, -1);
}

TEST(QuillRegExpr, FindHandlesEmptyTextsAndTheEndOfText) {
  struct Case {
    const char* expr;
    std::string text;
    bool forward;
    int pos;
    bool found;
    int foundPos;
    int len;
  };
  const std::vector<Case> cases = {
      {"^$", "", true, 1, true, 1, 0},
      {"^", "", false, 1, true, 1, 0},
      {"a|", "", true, 1, false, 0, 0},
      {"$", "abc", true, 1, true, 4, 0},
      {"$", "abc", false, 3, true, 4, 0},
      {"$", "abc", false, 2, false, 0, 0},
      {"b", "abcb", false, 3, true, 2, 1},
      {"b", "abcb", false, 99, true, 4, 1},
      {"b", "abcb", true, -5, true, 2, 1},
      {"b", "abcb", true, 5, false, 0, 0},
      {"^a", "aa", true, 2, false, 0, 0},
      {"^a", "aa", false, 2, true, 1, 1},
      {"c.", "abc", true, 1, true, 3, 1},
      {"x|", "ab", true, 2, true, 2, 0},
  };
  for (const Case& c : cases) {
    TQuillRegExpr re(c.expr, true);
    int pos = c.pos, len = -1;
    EXPECT_EQ(re.Find(c.text, c.forward, len, pos), c.found) << c.expr << " in " << c.text;
    EXPECT_EQ(pos, c.foundPos) << c.expr << " in " << c.text;
    EXPECT_EQ(len, c.len) << c.expr << " in " << c.text;
    int end = -1;
    pos = c.pos;
    re.FindRegExpr(c.text, c.forward, end, pos);
    EXPECT_EQ(end, c.found ? c.foundPos + c.len - 1 : 0) << c.expr;
  }
}

// --- literal searches against std::string::find / rfind ---

TEST(QuillRegExpr, FindStringAgreesWithStdFindForLiterals) {
  std::mt19937 rng(7);
  const std::string alphabet = "abAB.*";
  auto pick = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string needle = pick(1 + rng() % 3), hay = pick(rng() % 20);
    bool cs = rng() % 2;
    std::string expr;
    for (char c : needle) {
      if (c == '.' || c == '*') expr += '\\';
      expr += c;
    }
    TQuillRegExpr re(expr, cs);
    std::string h = hay, nd = needle;
    if (!cs) {
      for (char& c : h) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
      for (char& c : nd) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    if (hay.empty()) continue;
    int start = 1 + rng() % hay.size();
    for (bool forward : {true, false}) {
      size_t expect = forward ? h.find(nd, start - 1) : h.rfind(nd, start - 1);
      int pos = start, len = 0;
      bool found = re.FindString(hay, pos, forward, len);
      ASSERT_EQ(found, expect != std::string::npos) << expr << " in " << hay << " from " << start;
      if (found) {
        EXPECT_EQ(pos, static_cast<int>(expect) + 1) << expr << " in " << hay;
        EXPECT_EQ(len, static_cast<int>(needle.size()));
      }
    }
  }
}

// --- differential tests against PCRE2 ---

// Random expressions are built as trees and written out twice: in our syntax and as an
// equivalent PCRE2 pattern. The translation spells out the rules PCRE2 does not share:
// a repetition never starts at the end of the text, "." and "[^...]" fit the end of the
// text once (a capture records that it happened, so a second one fails), "^" holds only
// where the match was told it starts a line, and "!X" is one character where X fails.

struct Gen {
  enum Type { Char, Any, Set, Bol, Eol, Group };
  Type type = Char;
  unsigned char c = 0;
  std::vector<std::pair<unsigned char, unsigned char>> ranges;
  bool setNegated = false;
  bool negated = false;
  char quant = 0;
  std::vector<Gen> kids;
};

class PatternMaker {
 public:
  explicit PatternMaker(uint32_t seed) : rng_(seed) {}

  // Negation takes one character and ends the match; inside a repetition it ends only
  // that repetition, which PCRE2 cannot say, so there only repeated negations are made.
  std::vector<Gen> Make() {
    std::vector<Gen> seq = MakeSeq(0);
    Strip(seq, false);
    return seq;
  }

  std::vector<Gen> MakeSeq(int depth) {
    std::vector<Gen> seq;
    int n = 1 + Pick(depth == 0 ? 4 : 3);
    for (int i = 0; i < n; ++i) seq.push_back(MakeItem(depth));
    return seq;
  }

  std::string Ours(const std::vector<Gen>& seq) {
    std::string s;
    for (const Gen& g : seq) s += OursItem(g);
    return s;
  }

  // bolMeans: what "^" becomes ("\\A" where the match starts a line, "(*F)" elsewhere).
  std::string Pcre(const std::vector<Gen>& seq, const std::string& bolMeans, bool caseSensitive) {
    cs_ = caseSensitive;
    endFits_ = 0;
    CountEndFits(seq);
    nextGroup_ = 0;
    bol_ = bolMeans;
    std::string s;
    for (const Gen& g : seq) s += PcreItem(g);
    return s;
  }

  int Pick(int n) { return static_cast<int>(rng_() % n); }
  std::mt19937& Rng() { return rng_; }

 private:
  unsigned char RandomChar() {
    static const std::string common = "aabbAB#1.-";
    static const std::string rare = std::string("]{\\!*^$|", 8) + std::string("\0\xe9\xc9\x7f", 4);
    return static_cast<unsigned char>(Pick(6) ? common[Pick(common.size())] : rare[Pick(rare.size())]);
  }

  static void Strip(std::vector<Gen>& seq, bool inLoop) {
    for (Gen& g : seq) {
      if (inLoop && !g.quant) g.negated = false;
      Strip(g.kids, inLoop || g.quant);
    }
  }

  static bool Consumes(const Gen& g) {
    if (g.negated) return true;
    switch (g.type) {
      case Gen::Char:
      case Gen::Any:
      case Gen::Set:
        return true;
      case Gen::Bol:
      case Gen::Eol:
        return false;
      case Gen::Group:
        for (const Gen& k : g.kids)
          if ((k.quant == 0 || k.quant == '+') && Consumes(k)) return true;
        return false;
    }
    return false;
  }

  Gen MakeItem(int depth) {
    Gen g;
    int r = Pick(100);
    if (r < 45) {
      g.type = Gen::Char;
      g.c = RandomChar();
    } else if (r < 57) {
      g.type = Gen::Any;
    } else if (r < 75) {
      g.type = Gen::Set;
      g.setNegated = Pick(3) == 0;
      int items = 1 + Pick(3);
      for (int i = 0; i < items; ++i) {
        unsigned char a = RandomChar(), b = Pick(3) == 0 ? RandomChar() : a;
        if (a > b) std::swap(a, b);
        g.ranges.push_back({a, b});
      }
    } else if (r < 80) {
      g.type = Gen::Bol;
    } else if (r < 84) {
      g.type = Gen::Eol;
    } else if (depth < 3) {
      g.type = Gen::Group;
      g.kids = MakeSeq(depth + 1);
    } else {
      g.type = Gen::Char;
      g.c = 'a';
    }
    g.negated = g.type != Gen::Group && g.type != Gen::Bol && Pick(10) == 0;
    bool anchor = g.type == Gen::Bol || g.type == Gen::Eol;
    if (!anchor && Consumes(g) && Pick(3) == 0) g.quant = "*+|"[Pick(3)];
    return g;
  }

  std::string Number(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%03d", c);
    return buf;
  }

  // Each character spelled one of the ways the syntax allows.
  std::string OursChar(unsigned char c) {
    bool special = std::string("{}[]*+|.^$!#\\").find(static_cast<char>(c)) != std::string::npos;
    // A digit never follows a "#" number as itself: it would be read as one more digit.
    int way = c < 32 || c > 126 ? 0 : special || (c >= '0' && c <= '9') ? Pick(2) : Pick(5);
    return way == 0 ? Number(c) : way == 1 ? std::string("\\") + char(c) : std::string(1, char(c));
  }

  std::string OursSetChar(unsigned char c) {
    if (c < 32 || c > 126 || c == '#' || (c >= '0' && c <= '9')) return Number(c);
    if (std::string("!$*+.[]^{|}-\\").find(static_cast<char>(c)) != std::string::npos) return std::string("\\") + char(c);
    return Pick(4) ? std::string(1, char(c)) : Number(c);
  }

  std::string OursItem(const Gen& g) {
    std::string s = g.negated ? "!" : "";
    switch (g.type) {
      case Gen::Char:
        s += OursChar(g.c);
        break;
      case Gen::Any:
        s += ".";
        break;
      case Gen::Set:
        s += g.setNegated ? "[^" : "[";
        for (auto [a, b] : g.ranges) s += a == b ? OursSetChar(a) : OursSetChar(a) + "-" + OursSetChar(b);
        s += "]";
        break;
      case Gen::Bol:
        s += "^";
        break;
      case Gen::Eol:
        s += "$";
        break;
      case Gen::Group:
        s += "{" + Ours(g.kids) + "}";
        break;
    }
    if (g.quant) s += g.quant;
    return s;
  }

  void CountEndFits(const std::vector<Gen>& seq) {
    for (const Gen& g : seq) {
      if (g.type == Gen::Any || (g.type == Gen::Set && g.setNegated)) ++endFits_;
      CountEndFits(g.kids);
    }
  }

  static std::string Hex(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", c);
    return buf;
  }

  std::string EndFit() {
    std::string s = "\\z";
    for (int k = 1; k <= endFits_; ++k) s += "(?(" + std::to_string(k) + ")(*F))";
    ++nextGroup_;
    return s + "()";
  }

  std::string PcreAtom(const Gen& g) {
    switch (g.type) {
      case Gen::Char:
        return Hex(g.c);
      case Gen::Any:
        return "(?:[\\s\\S]|" + EndFit() + ")";
      case Gen::Set: {
        // Without case the members and range ends are upper-cased, and so is the
        // character tested: the class is spelled out member by member, case kept.
        std::bitset<256> held;
        for (auto [a, b] : g.ranges) {
          if (!cs_) a = Upper(a), b = Upper(b);
          for (int x = a; x <= b; ++x) held.set(x);
        }
        std::string members;
        for (int c = 0; c < 256; ++c)
          if (held[cs_ ? c : Upper(static_cast<unsigned char>(c))]) members += Hex(static_cast<unsigned char>(c));
        std::string set = members.empty() ? (g.setNegated ? "[\\s\\S]" : "(*F)")
                                          : "(?-i:" + std::string(g.setNegated ? "[^" : "[") + members + "])";
        return g.setNegated ? "(?:" + set + "|" + EndFit() + ")" : set;
      }
      case Gen::Bol:
        return bol_;
      case Gen::Eol:
        return "\\z";
      case Gen::Group: {
        std::string s = "(?:";
        for (const Gen& k : g.kids) s += PcreItem(k);
        return s + ")";
      }
    }
    return "";
  }

  static unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

  std::string PcreItem(const Gen& g) {
    std::string atom = PcreAtom(g);
    if (g.negated) atom = "(?:(?!" + atom + ")[\\s\\S]" + (g.quant ? ")" : "(*ACCEPT))");
    if (!g.quant) return atom;
    return "(?:(?!\\z)" + atom + ")" + (g.quant == '|' ? '?' : g.quant);
  }

  std::mt19937 rng_;
  int endFits_ = 0;
  int nextGroup_ = 0;
  bool cs_ = true;
  std::string bol_;
};

class Pcre {
 public:
  Pcre(const std::string& pattern, bool caseSensitive) {
    int err = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                          caseSensitive ? 0 : PCRE2_CASELESS, &err, &offset, nullptr);
    if (!code_) {
      PCRE2_UCHAR msg[256];
      pcre2_get_error_message(err, msg, sizeof msg);
      error_ = reinterpret_cast<char*>(msg);
      return;
    }
    data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
  }
  ~Pcre() {
    pcre2_match_data_free(data_);
    pcre2_code_free(code_);
  }
  const std::string& Error() const { return error_; }

  // Length of the match anchored at offset, or -1.
  int MatchAt(std::string_view subject, size_t offset) {
    int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), offset,
                         PCRE2_ANCHORED, data_, nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) return -1;
    EXPECT_GT(rc, 0) << "pcre2_match failed: " << rc;
    if (rc <= 0) return -1;
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_);
    return static_cast<int>(ov[1] - ov[0]);
  }

 private:
  pcre2_code* code_ = nullptr;
  pcre2_match_data* data_ = nullptr;
  std::string error_;
};

// A pattern that backtracks without end gives up and says so; ordinary patterns over
// long texts, however many starts they try, find what is there.
TEST(QuillRegExpr, OnlyARunawayPatternGivesUpAndASearchSaysSo) {
  TQuillRegExpr re("{{a+}+}+b", true);
  const std::string text = std::string(60, 'a') + "cb";
  int len = 0, pos = 1;
  EXPECT_FALSE(re.StringMatch(text, true, len));
  EXPECT_TRUE(re.GaveUp());
  EXPECT_THROW(re.Find(text, true, len, pos), quill::EQuillRegExprGaveUp);
  pos = 60;
  EXPECT_THROW(re.Find(text, false, len, pos), quill::EQuillRegExprGaveUp);
  // The same object still matches normally afterwards.
  EXPECT_TRUE(re.StringMatch("aab", true, len));
  EXPECT_FALSE(re.GaveUp());
  EXPECT_EQ(len, 3);

  struct Case {
    const char* expr;
    const char* pcre;
    std::string text;
    int from;
    bool forward;
  };
  std::string words;  // chains of words that break off just before the match
  while (words.size() < 7500) words += "ab ";
  words += "9 xy end";
  std::string pairs;
  while (pairs.size() < 6004) pairs += "ab";
  const std::vector<Case> cases = {
      {"{[a-z]+ }+end", "(?:[a-z]+ )+end", words, 1, true},
      {"{[a-z]+ }+end", "(?:[a-z]+ )+end", words, static_cast<int>(words.size()), false},
      {"{ab}*x", "(?:ab)*x", pairs + "x", 1, true},
      {"{a}*b", "a*b", std::string(1'100'000, 'a') + "b", 1, true},
      {".*z", ".*z", std::string(20000, 'y') + "z", 1, true},
  };
  for (const Case& c : cases) {
    Pcre pcre(c.pcre, true);
    int expectPos = 0, expectLen = 0;
    for (int o = c.from - 1; o >= 0 && o < static_cast<int>(c.text.size()) && expectPos == 0; o += c.forward ? 1 : -1) {
      const int l = pcre.MatchAt(c.text, static_cast<size_t>(o));
      if (l >= 0) expectPos = o + 1, expectLen = l;
    }
    ASSERT_GT(expectPos, 0) << c.expr;
    TQuillRegExpr ours(c.expr, true);
    pos = c.from;
    len = -1;
    EXPECT_TRUE(ours.Find(c.text, c.forward, len, pos)) << c.expr;
    EXPECT_EQ(std::make_pair(pos, len), std::make_pair(expectPos, expectLen)) << c.expr;
  }
}

TEST(QuillRegExpr, AgreesWithPcre2OnGeneratedPatterns) {
  PatternMaker maker(20261207);
  const std::string textChars = std::string("aaabbbAB#1.-]{\\\0\xe9\xc9", 18);
  int failures = 0;
  int matches = 0;
  auto report = [&](const std::string& what) {
    if (++failures <= 10) ADD_FAILURE() << what;
  };
  for (int round = 0; round < 12000 && failures < 10; ++round) {
    std::vector<Gen> seq = maker.Make();
    std::string ours = maker.Ours(seq);
    bool cs = maker.Pick(2);
    std::optional<TQuillRegExpr> re;
    try {
      re.emplace(ours, cs);
    } catch (const EQuillRegExprError& e) {
      report(std::string("rejected: ") + e.what());
      continue;
    }
    Pcre atLineStart(maker.Pcre(seq, "\\A", cs), cs), elsewhere(maker.Pcre(seq, "(*F)", cs), cs);
    ASSERT_EQ(atLineStart.Error(), "") << maker.Pcre(seq, "\\A", cs);
    ASSERT_EQ(elsewhere.Error(), "") << maker.Pcre(seq, "(*F)", cs);
    for (int t = 0; t < 4; ++t) {
      std::string text;
      int length = maker.Pick(12);
      for (int i = 0; i < length; ++i) text += textChars[maker.Pick(textChars.size())];
      const std::string where = "\"" + Printable(ours) + "\" cs=" + std::to_string(cs) + " pcre \"" +
                                Printable(maker.Pcre(seq, "\\A", cs)) + "\" text \"" + Printable(text) + "\"";

      // Anchored matches at every offset, the offset taken as a line start or not.
      std::vector<int> byOffset(text.size());
      for (size_t o = 0; o <= text.size(); ++o) {
        std::string_view rest = std::string_view(text).substr(o);
        for (bool first : {true, false}) {
          int expect = (first ? atLineStart : elsewhere).MatchAt(rest, 0);
          if (expect >= 0) expect = std::max(expect, 1);
          int got = MatchLength(*re, rest, first);
          if (got != expect)
            report(where + " at " + std::to_string(o) + (first ? " (line start)" : "") + ": ours " +
                   std::to_string(got) + ", pcre " + std::to_string(expect));
        }
        if (o == text.size()) break;
        byOffset[o] = atLineStart.MatchAt(text, o);
        matches += byOffset[o] >= 0;
      }

      // Forward and backward finds: the nearest offset with an anchored match.
      for (int k = 0; k < 2 && !text.empty(); ++k) {
        int from = 1 + maker.Pick(text.size());
        for (bool forward : {true, false}) {
          int expectPos = 0, expectLen = 0;
          if (ours == "$" && (forward || from == static_cast<int>(text.size()))) {
            expectPos = static_cast<int>(text.size()) + 1;
          } else {
            for (int o = from - 1; o >= 0 && o < static_cast<int>(text.size()); o += forward ? 1 : -1)
              if (byOffset[o] >= 0) {
                expectPos = o + 1;
                expectLen = byOffset[o];
                break;
              }
          }
          int pos = from, len = -1;
          bool found = re->Find(text, forward, len, pos);
          if (found != (expectPos > 0) || pos != expectPos || len != expectLen)
            report(where + (forward ? " forward" : " backward") + " from " + std::to_string(from) +
                   ": ours " + std::to_string(pos) + "/" + std::to_string(len) + ", pcre " +
                   std::to_string(expectPos) + "/" + std::to_string(expectLen));
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(matches, 10000);  // the generator must produce texts that do match
}

// Long lines, where the search looks for an expression's literal sixteen characters at a
// time before it tries a start: the first match from every start position, found forward,
// is PCRE2's leftmost match from there.
TEST(QuillRegExpr, ForwardSearchesAgreeWithPcre2OnLongLines) {
  struct Case {
    const char* ours;
    const char* pcre;
    bool caseSensitive;
  };
  const std::vector<Case> cases = {
      {"send", "send", true},
      {"SeNd", "send", false},
      {"s", "s", false},
      {"#233t", "\\xe9t", false},
      {"absent", "absent", false},
      {"{re}|send", "(?:re)?send", true},
      {"l{az}+y", "l(?:az)+y", false},
      {"se!nd", "se[^n]", true},
      {"[a-z0-9]+@[a-z]+", "[a-z0-9]+@[a-z]+", true},
      {"[a-z]*@", "[a-z]*@", false},
      {"[a-z]+ing", "[a-z]+ing", false},
      {"e[a-z]*n", "e[a-z]*n", true},
      {"[0-9]+:{[0-9][0-9]}|", "[0-9]+:(?:[0-9][0-9])?", true},
      {"^ab", "^ab", false},
      {"nd$", "nd\\z", false},
      {"s.nd$", "s.nd\\z", true},
  };
  static const char* const pieces[] = {"send", "SEND", "resend", "lazy", "LAZAZY", "se?d", "ing", "INGing", "x@y",
                                       "ab7@cd", "12:34", "9:", "\xe9t", "\xc9T", "ab", " ", "  ", "e", "n", "zz"};
  std::mt19937 rng(34);
  for (const Case& c : cases) {
    TQuillRegExpr re(c.ours, c.caseSensitive);
    Pcre pcre(c.pcre, c.caseSensitive);
    ASSERT_EQ(pcre.Error(), "") << c.pcre;
    for (int round = 0; round < 150; ++round) {
      std::string text;
      const size_t length = rng() % 90;
      while (text.size() < length) text += pieces[rng() % std::size(pieces)];
      for (int from = 1; from <= static_cast<int>(text.size()); ++from) {
        int expectPos = 0, expectLen = 0;
        for (int o = from - 1; o < static_cast<int>(text.size()) && expectPos == 0; ++o) {
          const int len = pcre.MatchAt(text, static_cast<size_t>(o));
          if (len >= 0) {
            expectPos = o + 1;
            expectLen = len;
          }
        }
        int pos = from, len = -1;
        re.Find(text, true, len, pos);
        ASSERT_EQ(std::make_pair(pos, len), std::make_pair(expectPos, expectLen))
            << c.ours << " in \"" << Printable(text) << "\" from " << from;
      }
    }
  }
}

}  // namespace
