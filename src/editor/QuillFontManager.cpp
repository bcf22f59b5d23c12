#include "editor/QuillFontManager.h"

#include <QRawFont>

#include <cmath>
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

// The font's own sub- and superscript metrics, from its OS/2 table in pixels: the
// subscript's height and downward offset and the superscript's upward offset. A font
// without the table, or a value of 0, leaves the entry 0.
struct ScriptMetrics {
  int subscriptSize = 0;
  int subscriptOffset = 0;
  int superscriptOffset = 0;
};

ScriptMetrics ReadScriptMetrics(const TCanvasFont& font) {
  ScriptMetrics m;
  const QRawFont raw = QRawFont::fromFont(platform::ToQFont(font));
  const QByteArray os2 = raw.isValid() ? raw.fontTable("OS/2") : QByteArray();
  const qreal unitsPerEm = raw.isValid() ? raw.unitsPerEm() : 0;
  if (os2.size() < 26 || unitsPerEm <= 0) return m;
  const auto field = [&](int offset) {
    const auto hi = static_cast<uint8_t>(os2[offset]), lo = static_cast<uint8_t>(os2[offset + 1]);
    const auto units = static_cast<int16_t>(static_cast<uint16_t>(hi << 8 | lo));
    return static_cast<int>(std::lround(units * raw.pixelSize() / unitsPerEm));
  };
  m.subscriptSize = field(12);      // ySubscriptYSize
  m.subscriptOffset = field(16);    // ySubscriptYOffset
  m.superscriptOffset = field(24);  // ySuperscriptYOffset
  return m;
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
    const ScriptMetrics script = ReadScriptMetrics(r.Font);
    r.Info.SubscriptSize = script.subscriptSize != 0 ? script.subscriptSize : std::max(m.Height * 2 / 3, 1);
    r.Info.SubscriptOffset = script.subscriptOffset != 0 ? script.subscriptOffset : m.Height / 8;
    r.Info.SuperscriptOffset = script.superscriptOffset != 0 ? script.superscriptOffset : m.Ascent / 2;
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
