#pragma once

// Character widths for the rich editor: every font the editor shows is
// measured once for the program's life (the advances of all 256 characters
// of our 8-bit text and the font's metrics), and runs are measured by adding
// up table entries. The table is the one the canvas draws with, so what is
// measured is exactly where the characters land.

#include <algorithm>
#include <string_view>

#include "platform/Canvas.h"

namespace quill {

using platform::TCanvasFont;

struct TQuillFontInfo {
  int Overhang = 0;
  int Ascent = 0;
  int Descent = 0;
  int AveCharWidth = 0;
  int Height = 0;
  int MaxCharWidth = 0;
  // Sub- and superscript: the smaller font's height, and how far the base
  // line moves down (sub) or up (super).
  int SubscriptSize = 0;
  int SubscriptOffset = 0;
  int SuperscriptOffset = 0;
};

// One measured font. Records live as long as the program, so runs keep
// plain pointers to them.
struct TQuillFontRecord {
  TCanvasFont Font;
  TQuillFontInfo Info;
  int Widths[256] = {};

  int CharWidth(char c) const { return Widths[static_cast<unsigned char>(c)]; }
  int BlankWidth() const { return std::max(Widths[' '], 1); }
};

class TQuillFontManager {
 public:
  // Records are kept by the font's description (face, height, style,
  // charset, pitch); the colour does not change a width.
  static const TQuillFontRecord& GetFont(const TCanvasFont& font);
  static TQuillFontInfo GetFontInfo(const TCanvasFont& font) { return GetFont(font).Info; }
};

int GetWidth(const TQuillFontRecord& font, std::string_view text);
// How many characters of Text fit in MaxWidth, and their width. Without
// Exact, the character that crosses the edge counts too when more than half
// of it fits.
int GetCharsInWidth(const TQuillFontRecord& font, std::string_view text, int& width, bool exact, int maxWidth);

}  // namespace quill
