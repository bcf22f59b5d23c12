#pragma once

// Geometry, font styles and colours shared by everything that draws: the
// canvas below the editor and the editor's own painting code.

#include <cstdint>

#include "platform/Font.h"

namespace platform {

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

// Right and Bottom lie just outside the rectangle, as every fill and copy
// of the canvas reads them.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TRect&) const = default;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
};

// The common part of two rectangles; empty (all zero) when they do not meet.
TRect IntersectRect(const TRect& a, const TRect& b);
TRect OffsetRect(const TRect& r, int dx, int dy);

// Font style set: bold, italic, underline, strike-out.
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

enum class TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };

// A system colour is the high bit with the colour's number in the low byte;
// it stays symbolic in every stored value and is looked up only when drawn.
constexpr TColor SystemColor(int n) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(n)); }
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

// -1 stands for "no colour" in the editor's interfaces; it is not a system colour.
bool IsSystemColor(TColor c);
// The plain 0x00BBGGRR value a colour shows as: system colours take the
// desktop's usual scheme, plain colours lose any flag bits.
uint32_t ColorToRGB(TColor color);
// "clHighlight" for the system colours that have a name, else ColorToString.
std::string ColorName(TColor color);

}  // namespace platform
