#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Colours as the stored settings and the peers know them: 0x00BBGGRR, with the
// named colours below.
using TColor = int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clNavy = 0x800000;

// "clBlack", "clNavy" ... for a colour that has a name, else "$" and eight
// hexadecimal digits.
std::string ColorToString(TColor color);
// A colour name (any ASCII case), "$" + hexadecimal digits, or a decimal number;
// nothing for anything else.
std::optional<TColor> StringToColor(const std::string& text);

// A window font as the settings keep it: face, colour, point size and style.
struct TFont {
  std::string Name = "Verdana";
  TColor Color = clBlack;
  int Size = 8;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;

  bool operator==(const TFont&) const = default;
};

}  // namespace platform
