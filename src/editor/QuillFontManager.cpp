#include "editor/QuillFontManager.h"

#include <map>
#include <memory>
#include <tuple>

#include "platform/QtCanvas.h"

namespace quill {

namespace {

using FontKey = std::tuple<std::string, int, platform::TFontStyles, uint8_t, platform::TFontPitch>;

// Every font measured so far, by its description.
using TQuillFontList = std::map<FontKey, std::unique_ptr<TQuillFontRecord>>;

FontKey KeyOf(const TCanvasFont& font) { return {font.Name, font.Height, font.Style, font.Charset, font.Pitch}; }

bool SameFont(const TCanvasFont& a, const TCanvasFont& b) {
  return a.Height == b.Height && a.Style == b.Style && a.Charset == b.Charset && a.Pitch == b.Pitch && a.Name == b.Name;
}

}  // namespace

const TQuillFontRecord& TQuillFontManager::GetFont(const TCanvasFont& font) {
  // Never freed: records are shared by every editor until the program ends.
  static auto* records = new TQuillFontList;
  static const TQuillFontRecord* last = nullptr;
  // Runs of one font follow each other: the last record answers most asks.
  if (last != nullptr && SameFont(last->Font, font)) return *last;
  auto& slot = (*records)[KeyOf(font)];
  if (!slot) {
    slot = std::make_unique<TQuillFontRecord>();
    TQuillFontRecord& r = *slot;
    r.Font = font;
    r.Font.Escapement = 0;
    platform::TCanvas& screen = platform::ScreenCanvas();
    const TCanvasFont saved = screen.Font();
    screen.SetFont(r.Font);
    const int* widths = screen.CharWidths();
    std::copy(widths, widths + 256, r.Widths);
    const platform::TTextMetrics m = screen.TextMetrics();
    screen.SetFont(saved);
    r.Info.Ascent = m.Ascent;
    r.Info.Descent = m.Descent;
    r.Info.Height = m.Height;
    r.Info.AveCharWidth = m.AveCharWidth;
    r.Info.MaxCharWidth = m.MaxCharWidth;
    r.Info.SubscriptSize = std::max(m.Height * 2 / 3, 1);
    r.Info.SubscriptOffset = m.Height / 8;
    r.Info.SuperscriptOffset = m.Ascent / 2;
  }
  last = slot.get();
  return *slot;
}

int GetWidth(const TQuillFontRecord& font, std::string_view text) {
  int width = 0;
  for (char c : text) width += font.CharWidth(c);
  return width;
}

int GetCharsInWidth(const TQuillFontRecord& font, std::string_view text, int& width, bool exact, int maxWidth) {
  width = 0;
  const int length = static_cast<int>(text.size());
  for (int i = 0; i < length; ++i) {
    const int w = font.CharWidth(text[static_cast<size_t>(i)]);
    if (width + w > maxWidth) {
      if (!exact && maxWidth - width > w / 2) {
        width += w;
        return i + 1;
      }
      return i;
    }
    width += w;
  }
  return length;
}

}  // namespace quill
