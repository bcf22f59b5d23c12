#include "platform/Strings.h"

#include <algorithm>
#include <limits>

#include "platform/Exception.h"

namespace platform {

namespace {

// Bytes must be compared unsigned: a plain char is signed on x86, and 0xE9
// ("é") would otherwise count as a blank and be trimmed away.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

[[noreturn]] void InvalidInteger(const std::string& s) {
  throw EConvertError("\"" + s + "\" is not a valid integer value");
}

}  // namespace

int Pos(const std::string& sub, const std::string& s) {
  if (sub.empty()) return 0;
  auto at = s.find(sub);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

int Pos(char c, const std::string& s) {
  auto at = s.find(c);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

std::string Copy(const std::string& s, int index, int count) {
  if (index < 1) index = 1;
  const auto start = static_cast<std::size_t>(index - 1);
  if (count < 1 || start >= s.size()) return {};
  return s.substr(start, static_cast<std::size_t>(count));
}

std::string Copy(const std::string& s, int index) {
  return Copy(s, index, std::numeric_limits<int>::max());
}

std::string TrimLeft(const std::string& s) {
  auto first = std::find_if_not(s.begin(), s.end(), IsBlank);
  return std::string(first, s.end());
}

std::string TrimRight(const std::string& s) {
  auto last = std::find_if_not(s.rbegin(), s.rend(), IsBlank);
  return std::string(s.begin(), last.base());
}

std::string Trim(const std::string& s) { return TrimRight(TrimLeft(s)); }

bool TryStrToInt64(const std::string& s, std::int64_t& value) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  // Accumulate as a negative number so that the most negative value fits.
  const std::int64_t min = std::numeric_limits<std::int64_t>::min();
  std::int64_t acc = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    const int digit = s[i] - '0';
    if (acc < (min + digit) / 10) return false;
    acc = acc * 10 - digit;
  }
  if (!negative) {
    if (acc == min) return false;
    acc = -acc;
  }
  value = acc;
  return true;
}

bool TryStrToInt(const std::string& s, int& value) {
  std::int64_t wide = 0;
  if (!TryStrToInt64(s, wide) || wide < std::numeric_limits<int>::min() ||
      wide > std::numeric_limits<int>::max())
    return false;
  value = static_cast<int>(wide);
  return true;
}

int StrToInt(const std::string& s) {
  int value = 0;
  if (!TryStrToInt(s, value)) InvalidInteger(s);
  return value;
}

std::int64_t StrToInt64(const std::string& s) {
  std::int64_t value = 0;
  if (!TryStrToInt64(s, value)) InvalidInteger(s);
  return value;
}

int StrToIntDef(const std::string& s, int fallback) {
  int value = 0;
  return TryStrToInt(s, value) ? value : fallback;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string UpperCase(const std::string& s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), AsciiUpper);
  return out;
}

std::string LowerCase(const std::string& s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
  return out;
}

int CompareText(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiUpper(a[i]));
    const auto y = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(const std::string& a, const std::string& b) {
  // std::string compares through char_traits<char>, which is unsigned.
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string StringReplace(const std::string& s, const std::string& from, const std::string& to) {
  if (from.empty()) return s;
  std::string out;
  out.reserve(s.size());
  std::size_t start = 0;
  for (auto at = s.find(from); at != std::string::npos; at = s.find(from, start)) {
    out.append(s, start, at - start).append(to);
    start = at + from.size();
  }
  out.append(s, start, std::string::npos);
  return out;
}

}  // namespace platform
