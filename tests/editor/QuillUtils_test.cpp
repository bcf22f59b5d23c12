#include "editor/QuillUtils.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace quill;

namespace {

TEST(QuillUtils, LinkDetection) {
  struct Case {
    const char* text;
    bool mail, web;
    const char* url;  // what a click may open, "" when refused
  };
  const Case cases[] = {
      {"MailTo:anything", true, false, "mailto:anything"},
      {"joe@example.com", true, false, "mailto:joe@example.com"},
      {"joe@e", false, false, ""},
      {"a@b@c.d", false, false, ""},
      {"joe@.com", false, false, ""},
      {"joe.x@", false, false, ""},
      {"a.b@cd", false, false, ""},
      {"x@_a.b", true, false, "mailto:x@_a.b"},
      {"WwW.example.org", false, true, "http://WwW.example.org"},
      {"HTTP://host/x?y=1", false, true, "http://host/x?y=1"},
      {"HTTPS://host", false, false, "https://host"},
      {"ftp://files/a", false, true, "ftp://files/a"},
      {"file:///etc/passwd", false, true, ""},
      {"gopher://old", false, true, ""},
      {"http://a b", false, true, ""},
      {"http://", false, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsEmlString(c.text), c.mail) << c.text;
    EXPECT_EQ(IsWWWString(c.text), c.web) << c.text;
    EXPECT_EQ(IsHyperString(c.text), c.mail || c.web) << c.text;
    EXPECT_EQ(UrlForLink(c.text), c.url) << c.text;
  }
  EXPECT_FALSE(UrlJump("file:///bin/sh"));
}

TEST(QuillUtils, StringHelpers) {
  EXPECT_EQ(TrimRightEx(std::string("ab\x01  ")), std::string("ab\x01"));
  EXPECT_EQ(TrimRightEx("ab \t\r"), "ab");
  EXPECT_EQ(TrimWord("  'Hello,' "), "Hello");
  EXPECT_EQ(TrimWord(".,;"), "");
  EXPECT_EQ(RemoveLastLineEnd("a\r\n\n"), "a\r");
  EXPECT_EQ(RemoveQuotes("'abc\""), "abc");
  EXPECT_EQ(RemoveQuotes("'"), "") << "a lone quote begins and ends the text";
  EXPECT_EQ(AddQuotes("'abc"), "'abc");
  EXPECT_EQ(AddQuotes("abc"), "\"abc\"");
  EXPECT_EQ(AddQuotes(""), "\"\"");
  EXPECT_EQ(GetFirstValidChar("  x"), 3);
  EXPECT_EQ(GetFirstValidChar("   "), 4);
  std::string s = "ab";
  AddTrailSpaces(s, 4);
  EXPECT_EQ(s, "ab  ");
  AddTrailSpaces(s, 1);
  EXPECT_EQ(s, "ab  ");
  EXPECT_EQ(StringToHex("abc"), "616263");
  EXPECT_EQ(HexToString("616263"), "abc");
  EXPECT_EQ(HexToString("6162f"), "ab");
  EXPECT_EQ(HexToString(StringToHex(std::string("\x00\xff\x80", 3))), std::string("\x00\xff\x80", 3));
  EXPECT_EQ(ExludeCharSet("a-b.c", UrlSet()), "abc");
  EXPECT_LT(CompareTextEx("abc", "ABD", 3), 0);
  EXPECT_EQ(CompareTextEx("abc", "ABCD", 3), 0);
  EXPECT_EQ(CompareStrEx("abc", "ABC", 3), 'a' - 'A');
  EXPECT_EQ(CompareStrEx("abc", nullptr, 5), 3);
  EXPECT_EQ(UpperCase("a\xe9\xff"), "A\xc9\x9f");
  EXPECT_EQ(FormatMsg(msg::SListIndexError, 7), "List Index out of bounds Index: 7");
}

TEST(QuillUtils, FindHelpersAgreeWithStdString) {
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    std::string s, sub;
    int n = static_cast<int>(rng() % 10), m = 1 + static_cast<int>(rng() % 3);
    for (int j = 0; j < n; ++j) s += "ab"[rng() % 2];
    for (int j = 0; j < m; ++j) sub += "ab"[rng() % 2];
    int start = static_cast<int>(rng() % 12);
    int forward = FindPos(sub, s, start);
    size_t at = start <= static_cast<int>(s.size()) ? s.find(sub, static_cast<size_t>(std::max(start, 1) - 1)) : std::string::npos;
    ASSERT_EQ(forward, at == std::string::npos ? 0 : static_cast<int>(at) + 1) << s << " " << sub << " " << start;
    int back = FindBackPos(sub, s, start);
    size_t bat = start >= 1 ? s.rfind(sub, static_cast<size_t>(start - 1)) : std::string::npos;
    ASSERT_EQ(back, bat == std::string::npos ? 0 : static_cast<int>(bat) + 1) << s << " " << sub << " " << start;
  }
}

TEST(QuillUtils, CharacterSetsAndStreams) {
  EXPECT_TRUE(ValueSet().Contains('_'));
  EXPECT_FALSE(ValueSet().Contains('-'));
  EXPECT_TRUE(DelimSet().Contains('\x01'));
  EXPECT_FALSE(DelimSet().Contains('\0'));
  EXPECT_FALSE(WordDelimSet().Contains('\''));
  EXPECT_FALSE(WordDelimSet().Contains('~'));
  EXPECT_TRUE(WordDelimSet().Contains('|'));
  EXPECT_TRUE(UrlSet().Contains('~'));

  std::istringstream utf16(std::string("h\0e\0l\0l\0o\0", 10));
  EXPECT_TRUE(IsStreamUnicode(utf16));
  EXPECT_EQ(utf16.tellg(), 0);
  std::istringstream plain("hello!");
  EXPECT_FALSE(IsStreamUnicode(plain));
  std::istringstream odd("hello");
  EXPECT_FALSE(IsStreamUnicode(odd));
  EXPECT_EQ(ChangeSlashes("a\\b/c"), "a/b/c");
  EXPECT_EQ(AddSlash("a"), "a/");
  EXPECT_EQ(AddSlash(""), "");
}

}  // namespace
