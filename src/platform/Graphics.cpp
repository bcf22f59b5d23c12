#include "platform/Graphics.h"

#include <algorithm>

namespace platform {

namespace {

// The desktop scheme system colours resolve to, as 0x00BBGGRR, by number. A
// fixed scheme keeps screenshots and copied RTF the same on every desktop.
constexpr uint32_t kSystemColors[31] = {
    0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0,
};

struct SystemName {
  int number;
  const char* name;
};
constexpr SystemName kSystemNames[] = {
    {0, "clScrollBar"},  {5, "clWindow"},        {6, "clWindowFrame"},    {8, "clWindowText"},
    {13, "clHighlight"}, {14, "clHighlightText"}, {15, "clBtnFace"},       {16, "clBtnShadow"},
    {17, "clGrayText"},  {18, "clBtnText"},       {20, "clBtnHighlight"},  {21, "cl3DDkShadow"},
    {22, "cl3DLight"},   {23, "clInfoText"},      {24, "clInfoBk"},
};

}  // namespace

TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  return r.IsEmpty() ? TRect{} : r;
}

TRect OffsetRect(const TRect& r, int dx, int dy) { return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy}; }

bool IsSystemColor(TColor c) { return c != -1 && (static_cast<uint32_t>(c) & 0x80000000u) != 0; }

uint32_t ColorToRGB(TColor color) {
  if (IsSystemColor(color)) {
    const int n = color & 0xFF;
    return n < 31 ? kSystemColors[n] : 0;
  }
  return static_cast<uint32_t>(color) & 0xFFFFFF;
}

std::string ColorName(TColor color) {
  if (IsSystemColor(color))
    for (const auto& s : kSystemNames)
      if (SystemColor(s.number) == color) return s.name;
  return ColorToString(color);
}

}  // namespace platform
