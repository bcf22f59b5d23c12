#include "platform/RecordingCanvas.h"

#include <QImage>

#include <algorithm>
#include <cctype>

namespace platform {

namespace {

int CharHeight(const TCanvasFont& font) {
  if (font.Height < 0) return -font.Height;
  if (font.Height > 0) return std::max(1, font.Height - font.Height / 5);
  return 13;
}

bool IsFixed(const TCanvasFont& font) {
  if (font.Pitch == TFontPitch::fpFixed) return true;
  std::string name = font.Name;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name.find("courier") != std::string::npos || name.find("mono") != std::string::npos;
}

std::string StyleText(TFontStyles style) {
  std::string s;
  if (style & fsBold) s += 'B';
  if (style & fsItalic) s += 'I';
  if (style & fsUnderline) s += 'U';
  if (style & fsStrikeOut) s += 'S';
  return s.empty() ? "" : "," + s;
}

std::string PointsText(std::span<const TPoint> points) {
  std::string s;
  for (const TPoint& p : points) s += " " + PointText(p);
  return s;
}

const char* const kBrushStyles[] = {"", ",clear", ",horizontal", ",vertical", ",fdiagonal", ",bdiagonal", ",cross", ",diagcross"};
const char* const kPenStyles[] = {"", ",dash", ",dot", ",dashdot", ",dashdotdot", ",clear"};
const char* const kCopyModes[] = {"", " srcinvert", " srcand", " srcpaint", " notsrccopy", " dstinvert"};

}  // namespace

std::string RectText(const TRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

std::string PointText(TPoint p) { return std::to_string(p.X) + "," + std::to_string(p.Y); }

TRecordingCanvas::TRecordingCanvas(TRect bounds) : bounds_(bounds), clip_(bounds) {}

std::string TRecordingCanvas::Text() const {
  std::string s;
  for (const auto& line : calls_) s += line + "\n";
  return s;
}

TTextMetrics TRecordingCanvas::MetricsOf(const TCanvasFont& font) {
  TTextMetrics m;
  const int h = CharHeight(font);
  if (font.Height > 0) {
    m.Descent = font.Height / 5;
    m.Ascent = font.Height - m.Descent;
  } else {
    m.Ascent = h;
    m.Descent = std::max(1, h / 4);
  }
  m.Height = m.Ascent + m.Descent;
  m.FixedPitch = IsFixed(font);
  m.AveCharWidth = m.FixedPitch ? std::max(1, h * 6 / 10) : std::max(1, h / 2);
  for (int c = 0; c < 256; ++c) m.MaxCharWidth = std::max(m.MaxCharWidth, CharWidthOf(font, static_cast<unsigned char>(c)));
  return m;
}

int TRecordingCanvas::CharWidthOf(const TCanvasFont& font, unsigned char c) {
  const int h = CharHeight(font);
  if (IsFixed(font)) return std::max(1, h * 6 / 10);
  const int base = std::max(1, h / 2);
  int w = base;
  if (std::string_view("il.,:;'!|").find(static_cast<char>(c)) != std::string_view::npos) w = std::max(1, base / 2);
  else if (std::string_view("mwMW").find(static_cast<char>(c)) != std::string_view::npos) w = base * 3 / 2;
  else if (c >= 'A' && c <= 'Z') w = base + 1;
  if (font.Style & fsBold) ++w;
  return w;
}

const int* TRecordingCanvas::CharWidths() {
  if (!widthsValid_ || !(widthsFont_ == font_)) {
    for (int c = 0; c < 256; ++c) widths_[c] = CharWidthOf(font_, static_cast<unsigned char>(c));
    widthsFont_ = font_;
    widthsValid_ = true;
  }
  return widths_;
}

std::string TRecordingCanvas::PenText() const {
  std::string s = "pen=" + ColorName(pen_.Color);
  if (pen_.Width != 1) s += ",w" + std::to_string(pen_.Width);
  s += kPenStyles[static_cast<int>(pen_.Style)];
  if (pen_.Mode == TPenMode::pmXor) s += ",xor";
  if (pen_.Mode == TPenMode::pmNot) s += ",not";
  return s;
}

std::string TRecordingCanvas::BrushText() const {
  return "brush=" + ColorName(brush_.Color) + kBrushStyles[static_cast<int>(brush_.Style)];
}

void TRecordingCanvas::ExtTextOut(int x, int y, int options, const TRect* rect, std::string_view text,
                                  const int* advances) {
  std::string s = "ExtTextOut " + PointText({x, y}) + " \"" + std::string(text) + "\"";
  if (rect != nullptr) {
    const bool opaque = (options & etoOpaque) != 0, clipped = (options & etoClipped) != 0;
    s += opaque && clipped ? " opaque,clipped " : opaque ? " opaque " : clipped ? " clipped " : " rect ";
    s += RectText(*rect);
  }
  s += " font=" + font_.Name + "," + std::to_string(font_.Height) + StyleText(font_.Style);
  s += " color=" + ColorName(textColor_);
  const bool fills = (rect != nullptr && (options & etoOpaque)) || (bkMode_ == TBkMode::bkOpaque && !text.empty());
  if (fills) s += " bk=" + ColorName(bkColor_);
  if (advances != nullptr && !text.empty()) {
    const bool same = std::all_of(advances, advances + text.size(), [&](int a) { return a == advances[0]; });
    s += " adv=" + std::to_string(advances[0]);
    if (!same)
      for (size_t i = 1; i < text.size(); ++i) s += "," + std::to_string(advances[i]);
  }
  if (font_.Escapement != 0) s += " esc=" + std::to_string(font_.Escapement);
  Add(std::move(s));
}

void TRecordingCanvas::FillRect(const TRect& rect) {
  if (brush_.Style == TBrushStyle::bsClear || rect.IsEmpty()) return;
  Add("FillRect " + RectText(rect) + " " + BrushText());
}

void TRecordingCanvas::DrawLine(TPoint from, TPoint to) {
  if (pen_.Style == TPenStyle::psClear || from == to) return;
  Add("Line " + PointText(from) + "-" + PointText(to) + " " + PenText());
}

void TRecordingCanvas::PolyBezier(std::span<const TPoint> points) {
  if (points.size() < 4) return;
  Add("PolyBezier " + PenText() + PointsText(points));
}

void TRecordingCanvas::Polygon(std::span<const TPoint> points) {
  if (points.size() < 2) return;
  Add("Polygon " + BrushText() + " " + PenText() + PointsText(points));
}

void TRecordingCanvas::Rectangle(const TRect& rect) {
  if (rect.IsEmpty()) return;
  Add("Rectangle " + RectText(rect) + " " + BrushText() + " " + PenText());
}

void TRecordingCanvas::Draw(int x, int y, const QImage& picture, TColor transparent) {
  if (picture.isNull()) return;
  std::string s = "Draw " + PointText({x, y}) + " " + std::to_string(picture.width()) + "x" + std::to_string(picture.height());
  if (transparent != -1) s += " transparent=" + ColorName(transparent);
  Add(s + kCopyModes[static_cast<int>(copyMode_)]);
}

void TRecordingCanvas::StretchDraw(const TRect& rect, const QImage& picture, TColor transparent) {
  if (picture.isNull() || rect.IsEmpty()) return;
  std::string s = "StretchDraw " + RectText(rect) + " " + std::to_string(picture.width()) + "x" +
                  std::to_string(picture.height());
  if (transparent != -1) s += " transparent=" + ColorName(transparent);
  Add(s + kCopyModes[static_cast<int>(copyMode_)]);
}

void TRecordingCanvas::CopyRect(const TRect& dest, const QImage& source, const TRect& sourceRect) {
  if (source.isNull() || dest.IsEmpty() || sourceRect.IsEmpty()) return;
  Add("CopyRect " + RectText(dest) + " from " + RectText(sourceRect) + " of " + std::to_string(source.width()) + "x" +
      std::to_string(source.height()) + kCopyModes[static_cast<int>(copyMode_)]);
}

void TRecordingCanvas::IntersectClipRect(const TRect& rect) {
  clip_ = IntersectRect(clip_, rect);
  Add("IntersectClip " + RectText(rect));
}

void TRecordingCanvas::ExcludeClipRect(const TRect& rect) { Add("ExcludeClip " + RectText(rect)); }

void TRecordingCanvas::ResetClip() {
  clip_ = bounds_;
  Add("ResetClip");
}

}  // namespace platform
