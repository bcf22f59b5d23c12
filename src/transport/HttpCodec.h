#pragma once

#include <cstddef>
#include <string>

// Text codings the HTTP client puts on the wire: form and address escaping,
// and the 6-bit codings of credentials and attachments.

// ASCII digit and hexadecimal digit tests; a byte above 127 is neither.
bool IsDigit(char c);
bool IsXDigit(char c);
// The value of a hexadecimal digit; 0 for anything else.
int XDigit(char c);

// Every byte but an ASCII letter, a digit and "-", "_", ".", "~" as "%" and
// two upper-case hexadecimal digits, so that the text passes as one address
// item or form value whatever it holds.
std::string UrlEncode(const std::string& text);
// "%" and two hexadecimal digits as that byte, "+" as a blank (a form's
// encoding of it); a "%" not followed by two such digits stays as it is.
std::string UrlDecode(const std::string& text);

// The 6-bit alphabets: base64 (with "=" padding) and the two of uuencode,
// the classic one (a blank for 0) and the one with "`" for 0, which survives
// mail systems that strip trailing blanks.
enum THttpEncoding { encBase64 = 0, encUUEncode = 1, encUUEncodeBacktick = 2 };

// One line of coded text for len bytes: four characters for every three
// bytes, a last short group padded (with "=" in base64, with zero bits in
// uuencode, whose line-length character tells a reader the real count).
// No line-length character and no line break are added.
std::string EncodeLine(THttpEncoding encoding, const char* data, std::size_t len);
std::string EncodeStr(THttpEncoding encoding, const std::string& text);
