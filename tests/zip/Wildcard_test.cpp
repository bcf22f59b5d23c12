#include "zip/Wildcard.h"

#include <gtest/gtest.h>

namespace {

TEST(Wildcard, MasksAgainstNames) {
  struct Case {
    const char* mask;
    const char* name;
    int result;
  };
  const Case cases[] = {
      {"*.TXT", "readme.txt", zip::MATCH_VALID},
      {"a?c", "ABC", zip::MATCH_VALID},
      {"abc", "abcd", zip::MATCH_END},
      {"abcd", "abc", zip::MATCH_ABORT},
      {"abc*", "abc", zip::MATCH_VALID},
      {"*.*", "readme.txt", zip::MATCH_VALID},
      {"*", "", zip::MATCH_VALID},
      {"", "x", zip::MATCH_END},
      {"file<0-9>.dat", "file7.dat", zip::MATCH_VALID},
      {"file<9-0>.dat", "file7.dat", zip::MATCH_VALID},
      {"file<!0-9>.dat", "file7.dat", 0},
      {"file<^a-c>.dat", "filex.dat", zip::MATCH_VALID},
      {"a[1].txt", "A[1].TXT", zip::MATCH_VALID},
      {"\xC9t\xE9.txt", "\xE9t\xE9.txt", zip::MATCH_LITERAL},  // no folding outside A-Z
      {"\xC9*", "\xC9t\xE9", zip::MATCH_VALID},
      {"x<>y", "xay", 0},       // an empty class cannot be parsed
      {"x<a-", "xa", 0},        // nor one the mask ends inside
      {"dir\\*.txt", "dir\\sub\\b.txt", zip::MATCH_VALID},
      {"*b", "aaab", zip::MATCH_VALID},
      {"*b", "aaa", 0},
      {"a*c*e", "abcde", zip::MATCH_VALID},
      {"*<0-9>", "abc", 0},
      {"a?", "a", zip::MATCH_ABORT},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zip::matche(c.mask, c.name), c.result) << "'" << c.mask << "' vs '" << c.name << "'";
    EXPECT_EQ(zip::IsMatch(c.mask, c.name), c.result == zip::MATCH_VALID) << c.mask;
  }
}

}  // namespace
