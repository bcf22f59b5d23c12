#include "platform/Font.h"

#include <charconv>
#include <cstdio>

namespace platform {

namespace {

struct NamedColor {
  const char* name;
  TColor color;
};

constexpr NamedColor kNamedColors[] = {
    {"clBlack", 0x000000},   {"clMaroon", 0x000080},     {"clGreen", 0x008000},   {"clOlive", 0x008080},
    {"clNavy", 0x800000},    {"clPurple", 0x800080},     {"clTeal", 0x808000},    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},  {"clRed", 0x0000FF},        {"clLime", 0x00FF00},    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},    {"clFuchsia", 0xFF00FF},    {"clAqua", 0xFFFF00},    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF},   {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},  {"clDefault", 0x20000000},
};

bool SameAscii(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

std::string ColorToString(TColor color) {
  for (const auto& named : kNamedColors)
    if (named.color == color) return named.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", static_cast<uint32_t>(color));
  return buf;
}

std::optional<TColor> StringToColor(const std::string& text) {
  for (const auto& named : kNamedColors)
    if (SameAscii(text, named.name)) return named.color;
  std::string_view digits = text;
  int base = 10;
  bool negative = false;
  if (!digits.empty() && digits[0] == '$') digits.remove_prefix(1), base = 16;
  else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits.remove_prefix(2), base = 16;
  else if (!digits.empty() && digits[0] == '-') digits.remove_prefix(1), negative = true;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size() || value > 0xFFFFFFFFull) return std::nullopt;
  if (negative) {
    if (value > 0x80000000ull) return std::nullopt;
    return static_cast<TColor>(-static_cast<int64_t>(value));
  }
  return static_cast<TColor>(static_cast<uint32_t>(value));
}

}  // namespace platform
