#include "transport/HttpCodec.h"

#include <gtest/gtest.h>

// Expected texts are what Python's base64, binascii.b2a_uu (without its
// length character and line end) and urllib.parse give for the same bytes.
TEST(HttpCodec, SixBitCodingsMatchTheStandardEncoders) {
  struct Case {
    std::string data, base64, uu, uu_backtick;
  } cases[] = {
      {"", "", "", ""},
      {"f", "Zg==", "9@  ", "9@``"},
      {"fo", "Zm8=", "9F\\ ", "9F\\`"},
      {"foo", "Zm9v", "9F]O", "9F]O"},
      {std::string("\x00\xff\x10" "abc", 6), "AP8QYWJj", " /\\086)C", "`/\\086)C"},
      {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ==", "06QA9&1I;CIO<&5N('-E<V%M90  ",
       "06QA9&1I;CIO<&5N('-E<V%M90``"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeStr(encBase64, c.data), c.base64) << c.data;
    EXPECT_EQ(EncodeStr(encUUEncode, c.data), c.uu) << c.data;
    EXPECT_EQ(EncodeLine(encUUEncodeBacktick, c.data.data(), c.data.size()), c.uu_backtick) << c.data;
  }
}

TEST(HttpCodec, UrlEncodingRoundTripsEveryByte) {
  EXPECT_EQ(UrlEncode("a b&c=d/\xe9~_.-+%"), "a%20b%26c%3Dd%2F%E9~_.-%2B%25");
  // "+" is a form's blank; a "%" without two hexadecimal digits is kept.
  EXPECT_EQ(UrlDecode("a+b%41%4g%2%e9"), "a bA%4g%2\xe9");
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(UrlDecode(UrlEncode(all)), all);
}
