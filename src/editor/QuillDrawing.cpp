#include "editor/QuillDrawing.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "editor/QuillRtfReader.h"

namespace quill {

TCanvasFont CanvasFont(const TQuillFont& font) {
  TCanvasFont f;
  f.Name = font.Name;
  f.Height = font.Height != 0 ? font.Height : -MulDiv(font.Size, DeviceCaps().Y, 72);
  f.Style = font.Style;
  f.Color = font.Color;
  f.Charset = font.Charset;
  f.Pitch = font.Pitch;
  return f;
}

TQuillFont FontFromQt(const QFont& font) {
  TQuillFont f;
  f.Name = font.family().toStdString();
  if (font.pointSize() > 0) f.Size = font.pointSize();
  else f.Height = -font.pixelSize();
  f.Style = (font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) | (font.underline() ? fsUnderline : 0) |
            (font.strikeOut() ? fsStrikeOut : 0);
  return f;
}

void PaintGradient(TCanvas& canvas, int width, int height, TColor startColor, TColor endColor, bool vertical) {
  if (width < 1 || height < 1) return;
  const uint32_t from = platform::ColorToRGB(startColor);
  const uint32_t to = platform::ColorToRGB(endColor);
  int start[3], diff[3];
  for (int c = 0; c < 3; ++c) {
    start[c] = static_cast<int>((from >> (8 * c)) & 0xFF);
    diff[c] = static_cast<int>((to >> (8 * c)) & 0xFF) - start[c];
  }
  const int bands = std::max({std::abs(diff[0]), std::abs(diff[1]), std::abs(diff[2])}) + 1;
  const int total = vertical ? height : width;
  const int size = total / bands + 1;
  const TColor saved = canvas.Brush().Color;
  for (int i = 0; i * size < total; ++i) {
    TColor color = 0;
    for (int c = 0; c < 3; ++c) color |= (start[c] + i * size * diff[c] / total) << (8 * c);
    canvas.Brush().Color = color;
    const int at = i * size;
    canvas.FillRect(vertical ? TRect{0, at, width, std::min(at + size, total)}
                             : TRect{at, 0, std::min(at + size, total), height});
  }
  canvas.Brush().Color = saved;
}

void DrawLiveSpell(TCanvas& canvas, const TRect& rect, TColor color) {
  auto floor6 = [](int v) { return v >= 0 ? v - v % 6 : -((-v + 5) / 6) * 6; };
  const int left = floor6(rect.Left);
  const int right = -floor6(-rect.Right);
  const int n = (right - left) / 2;
  const int count = n < 4 ? 4 : 4 + 3 * ((n - 4 + 2) / 3);
  static constexpr int kWave[3] = {-2, 0, 2};
  std::vector<TPoint> points(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) points[static_cast<size_t>(i)] = {left + 2 * i, rect.Bottom - 1 + kWave[i % 3]};
  const TPen saved = canvas.Pen();
  canvas.Pen() = TPen{color, 1, TPenStyle::psSolid, TPenMode::pmCopy};
  canvas.PolyBezier(points);
  canvas.Pen() = saved;
}

void PaintBoundingRect(TCanvas& canvas, const TRect& outer, const TRect& inner, TColor color) {
  const TRect bands[] = {
      {outer.Left, outer.Top, inner.Left, outer.Bottom},
      {inner.Right, outer.Top, outer.Right, outer.Bottom},
      {inner.Left, outer.Top, inner.Right, inner.Top},
      {inner.Left, inner.Bottom, inner.Right, outer.Bottom},
  };
  const TBrush saved = canvas.Brush();
  canvas.Brush() = TBrush{color, TBrushStyle::bsSolid};
  for (const TRect& band : bands) {
    const TRect clipped = platform::IntersectRect(band, outer);
    if (!clipped.IsEmpty()) canvas.FillRect(clipped);
  }
  canvas.Brush() = saved;
}

void PaintGutterLine(TCanvas& canvas, const TRect& rect, int x, TColor color, const TPen& pen) {
  const TPen saved = canvas.Pen();
  canvas.Pen() = pen;
  canvas.MoveTo(x + 1, rect.Top);
  canvas.LineTo(x + 1, rect.Bottom + 1);
  canvas.Pen().Color = color;
  canvas.MoveTo(x, rect.Top);
  canvas.LineTo(x, rect.Bottom + 1);
  canvas.Pen() = saved;
}

bool IsMonoFont(TCanvas& canvas, const TQuillFont& font) {
  const TCanvasFont saved = canvas.Font();
  const TColor text = canvas.TextColor();
  canvas.SetFont(CanvasFont(font));
  const bool fixed = canvas.TextMetrics().FixedPitch;
  canvas.SetFont(saved);
  canvas.SetTextColor(text);
  return fixed;
}

}  // namespace quill
