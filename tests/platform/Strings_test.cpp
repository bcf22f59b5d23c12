#include "platform/Strings.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/Exception.h"

using namespace platform;

TEST(Strings, PosAndCopyUseOneBasedPositionsAndClamp) {
  EXPECT_EQ(Pos(">", "  1001<a>b"), 9);
  EXPECT_EQ(Pos("x", "abc"), 0);
  EXPECT_EQ(Pos("", "abc"), 0);  // an empty needle is never "found" at 1
  struct Case {
    int index, count;
    std::string want;
  } cases[] = {
      {1, 2, "he"}, {0, 2, "he"}, {-5, 3, "hel"}, {4, 100, "lo"},
      {6, 1, ""},   {2, -1, ""},  {1, INT_MAX, "hello"},
  };
  for (const auto& c : cases) EXPECT_EQ(Copy("hello", c.index, c.count), c.want) << c.index << "," << c.count;
}

TEST(Strings, TrimRemovesControlsAndBlanksButKeepsHighBytes) {
  struct Case {
    std::string in, both, left, right;
  } cases[] = {
      {std::string("\0\x1F\t\r\nx\r\n", 8), "x", "x\r\n", std::string("\0\x1F\t\r\nx", 6)},
      // 0xE9 and 0xA0 are a letter and a no-break space in the code page, not
      // blanks, though a signed char holding them is below ' '.
      {" \xE9\xA0 ", "\xE9\xA0", "\xE9\xA0 ", " \xE9\xA0"},
      {"   ", "", "", ""},
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
      {"1006", 1006}, {"  12", 12}, {"-7", -7}, {"+5", 5}, {"007", 7},
      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
  };
  for (const auto& g : good) EXPECT_EQ(StrToInt(g.in), g.want) << g.in;
  const std::string bad[] = {
      "", " ", "abc", "12a", "1 ", "-", "1.5", "0x10", "2147483648", "-2147483649",
      "4294967296",  // would wrap to 0 in 32 bits
      "99999999999999999999999", std::string("1\0", 2), "\xB9",
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
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
}

TEST(Strings, CaseRulesAndReplacing) {
  // ASCII only: a code page letter neither changes case nor matches its pair,
  // and high bytes order after ASCII as unsigned values.
  EXPECT_EQ(UpperCase("ab\xE9"), "AB\xE9");
  EXPECT_TRUE(SameText("FormMsg", "formmsg"));
  EXPECT_FALSE(SameText("\xC9", "\xE9"));
  EXPECT_GT(CompareText("\xE9", "z"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);

  EXPECT_EQ(StringReplace("a,b,,c", ",", "$c"), "a$cb$c$cc");
  EXPECT_EQ(StringReplace("aa", "a", "aa"), "aaaa");  // replaced text is not searched again
  EXPECT_EQ(StringReplace("aaa", "aa", "b"), "ba");
  EXPECT_EQ(StringReplace("abc", "", "x"), "abc");
}
