#include "platform/Strings.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/Exception.h"

using namespace platform;

TEST(Strings, PosIsOneBasedAndZeroWhenAbsent) {
  struct Case {
    std::string sub, s;
    int want;
  } cases[] = {
      {"<", "  1001<a>b", 7}, {">", "  1001<a>b", 9}, {"x", "abc", 0},
      {"", "abc", 0},  // an empty needle is never "found" at 1
      {"abc", "ab", 0},       {"b", "abcb", 2}, {"{$}", "a{$}b{$}", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(Pos(c.sub, c.s), c.want) << c.sub << " in " << c.s;
  EXPECT_EQ(Pos('\r', "ab\r\n"), 3);
  EXPECT_EQ(Pos('z', "ab"), 0);
}

TEST(Strings, CopyClampsInsteadOfThrowing) {
  const std::string s = "hello";
  struct Case {
    int index, count;
    std::string want;
  } cases[] = {
      {1, 2, "he"}, {0, 2, "he"}, {-5, 3, "hel"}, {4, 100, "lo"}, {5, 1, "o"},
      {6, 1, ""},   {100, 1, ""}, {2, 0, ""},     {2, -1, ""},   {1, INT_MAX, "hello"},
  };
  for (const auto& c : cases) EXPECT_EQ(Copy(s, c.index, c.count), c.want) << c.index << "," << c.count;
  EXPECT_EQ(Copy(s, 3), "llo");
  EXPECT_EQ(Copy("", 1, 5), "");
}

TEST(Strings, TrimRemovesControlsAndBlanksButKeepsHighBytes) {
  struct Case {
    std::string in, both, left, right;
  } cases[] = {
      {"  a b  ", "a b", "a b  ", "  a b"},
      {std::string("\0\x1F\t\r\nx\r\n", 8), "x", "x\r\n", std::string("\0\x1F\t\r\nx", 6)},
      // 0xE9 and 0xA0 are letters/no-break space in the code page, not blanks.
      {"\xE9\xA0", "\xE9\xA0", "\xE9\xA0", "\xE9\xA0"},
      {" \xFF ", "\xFF", "\xFF ", " \xFF"},
      {"   ", "", "", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Trim(c.in), c.both);
    EXPECT_EQ(TrimLeft(c.in), c.left);
    EXPECT_EQ(TrimRight(c.in), c.right);
  }
}

TEST(Strings, StrToIntAcceptsOnlyWholeDecimalNumbersInRange) {
  struct Good {
    std::string in;
    int want;
  } good[] = {
      {"0", 0}, {"1006", 1006}, {"  12", 12}, {"-7", -7}, {"+5", 5}, {"007", 7},
      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
  };
  for (const auto& g : good) {
    EXPECT_EQ(StrToInt(g.in), g.want) << g.in;
    EXPECT_EQ(StrToIntDef(g.in, -99), g.want) << g.in;
  }
  const std::string bad[] = {
      "", " ", "abc", "12a", "1 ", "-", "+", "1.5", "0x10", "$10", "1,000",
      "2147483648", "-2147483649", "4294967296", "99999999999999999999999",
      std::string("1\0", 2), "\xB9",  // superscript one is no digit
  };
  for (const auto& b : bad) {
    EXPECT_THROW(StrToInt(b), EConvertError) << b;
    EXPECT_EQ(StrToIntDef(b, -99), -99) << b;
  }
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "\"abc\" is not a valid integer value");
  }
}

TEST(Strings, Int64ConversionsReachTheLimits) {
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_THROW(StrToInt64("-9223372036854775809"), EConvertError);
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(IntToStr(-42), "-42");
  for (int v : {0, 1, -1, 9999, INT_MAX, INT_MIN}) EXPECT_EQ(StrToInt(IntToStr(v)), v);
}

TEST(Strings, CaseRulesAreAsciiOnly) {
  EXPECT_EQ(UpperCase("abz\xE9Q1"), "ABZ\xE9Q1");
  EXPECT_EQ(LowerCase("ABZ\xC9q1"), "abz\xC9q1");
  EXPECT_TRUE(SameText("FormMsg", "formmsg"));
  EXPECT_FALSE(SameText("\xC9", "\xE9"));
  EXPECT_FALSE(SameText("ab", "abc"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);
  // High bytes sort after ASCII, as unsigned values.
  EXPECT_GT(CompareText("\xE9", "z"), 0);
  EXPECT_GT(CompareStr("\xE9", "z"), 0);
  EXPECT_LT(CompareStr("B", "a"), 0);
}

TEST(Strings, StringReplaceReplacesEveryOccurrenceOnce) {
  struct Case {
    std::string s, from, to, want;
  } cases[] = {
      {"a,b,,c", ",", "$c", "a$cb$c$cc"},
      {"x{$}y{$}", "{$}", "\r", "x\ry\r"},
      {"aaa", "aa", "b", "ba"},
      {"aa", "a", "aa", "aaaa"},  // replaced text is not searched again
      {"abc", "", "x", "abc"},
      {"abc", "d", "x", "abc"},
      {"", "a", "b", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StringReplace(c.s, c.from, c.to), c.want) << c.s;
}
