#pragma once

#include <cstdint>
#include <string>

// Helpers for the program's 8-bit text (Windows-1252 bytes in std::string).
// Positions are 1-based and 0 means "not found", the convention every caller
// of these helpers is written against. Case rules are ASCII only, so bytes
// above 127 never change and compare as they stand.
namespace platform {

// Position of the first occurrence of `sub` in `s` (1-based), 0 when absent
// or when `sub` is empty.
int Pos(const std::string& sub, const std::string& s);
int Pos(char c, const std::string& s);

// Up to `count` characters from 1-based `index`. An index below 1 counts as 1;
// an index past the end or a count below 1 gives "".
std::string Copy(const std::string& s, int index, int count);
// Everything from 1-based `index` to the end.
std::string Copy(const std::string& s, int index);

// Strip characters with codes 0 to 32 (not the bytes above 127).
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);

// Decimal text to integer: optional leading blanks, an optional sign, digits,
// nothing after them. Anything else, or a value outside the type's range,
// raises EConvertError ("\"abc\" is not a valid integer value").
int StrToInt(const std::string& s);
std::int64_t StrToInt64(const std::string& s);
int StrToIntDef(const std::string& s, int fallback);
bool TryStrToInt(const std::string& s, int& value);
bool TryStrToInt64(const std::string& s, std::int64_t& value);
std::string IntToStr(std::int64_t value);

std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
// <0, 0, >0 like strcmp, but without regard to ASCII case.
int CompareText(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);
// Ordinal comparison of the bytes as unsigned values.
int CompareStr(const std::string& a, const std::string& b);

// Every occurrence of `from` (case-sensitive, left to right, not rescanning
// replaced text) becomes `to`. An empty `from` changes nothing.
std::string StringReplace(const std::string& s, const std::string& from, const std::string& to);

}  // namespace platform
