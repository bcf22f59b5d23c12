#include "platform/QtCanvas.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace platform {

QColor ToQColor(TColor color) {
  if (color == -1) return QColor(Qt::transparent);
  const uint32_t rgb = ColorToRGB(color);
  return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

QFont ToQFont(const TCanvasFont& font) {
  QFont f(QString::fromStdString(font.Name));
  if (font.Pitch == TFontPitch::fpFixed) {
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
  }
  f.setBold((font.Style & fsBold) != 0);
  f.setItalic((font.Style & fsItalic) != 0);
  f.setUnderline((font.Style & fsUnderline) != 0);
  f.setStrikeOut((font.Style & fsStrikeOut) != 0);
  // Kerning would move characters away from the advances the editor measured.
  f.setKerning(false);
  if (font.Height < 0) {
    f.setPixelSize(-font.Height);
  } else if (font.Height > 0) {
    // A cell height: scale the em so that ascent plus descent comes out at it.
    f.setPixelSize(font.Height);
    const int cell = QFontMetrics(f).height();
    if (cell > 0 && cell != font.Height) f.setPixelSize(std::max(1, font.Height * font.Height / cell));
  } else {
    f.setPixelSize(13);
  }
  return f;
}

namespace {

// What drawing and measuring need of one font, made once per font for the
// program's life: Qt fonts are costly to build and the editor asks for the
// same few again and again.
struct FontEntry {
  QFont font;
  QRawFont raw;
  TTextMetrics metrics;
  // Underline and strike-out: below and above the base line, and how thick.
  int underlinePos = 0;
  int strikeOutPos = 0;
  int lineWidth = 1;
  int widths[256];
};

FontEntry& Lookup(const TCanvasFont& font) {
  using Key = std::tuple<std::string, int, TFontStyles, TFontPitch>;
  // Never freed: Qt's font machinery is gone by the time statics are torn down.
  static auto* cache = new std::map<Key, std::unique_ptr<FontEntry>>;
  auto& slot = (*cache)[Key{font.Name, font.Height, font.Style, font.Pitch}];
  if (slot) return *slot;
  slot = std::make_unique<FontEntry>();
  FontEntry& e = *slot;
  e.font = ToQFont(font);
  e.raw = QRawFont::fromFont(e.font);
  const QFontMetrics fm(e.font);
  e.metrics.Ascent = fm.ascent();
  e.metrics.Descent = fm.descent();
  e.metrics.Height = fm.ascent() + fm.descent();
  e.metrics.AveCharWidth = std::max(1, fm.averageCharWidth());
  e.metrics.FixedPitch = QFontInfo(e.font).fixedPitch();
  e.underlinePos = fm.underlinePos();
  e.strikeOutPos = fm.strikeOutPos();
  e.lineWidth = std::max(1, fm.lineWidth());
  const int blank = fm.horizontalAdvance(QChar(' '));
  int widest = 0;
  for (int c = 0; c < 256; ++c) {
    // Control characters have no glyph; they take a blank's room, as the
    // editor never shows them as anything else.
    const bool control = c < 32 || c == 127;
    e.widths[c] = control ? blank : fm.horizontalAdvance(QChar(CodePointFromAnsi(static_cast<unsigned char>(c))));
    widest = std::max(widest, e.widths[c]);
  }
  e.metrics.MaxCharWidth = widest;
  return e;
}

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }

QPainter::CompositionMode CopyComposition(TCopyMode mode) {
  switch (mode) {
    case TCopyMode::cmSrcInvert: return QPainter::RasterOp_SourceXorDestination;
    case TCopyMode::cmSrcAnd: return QPainter::RasterOp_SourceAndDestination;
    case TCopyMode::cmSrcPaint: return QPainter::RasterOp_SourceOrDestination;
    case TCopyMode::cmNotSrcCopy: return QPainter::RasterOp_NotSource;
    case TCopyMode::cmDstInvert: return QPainter::RasterOp_NotDestination;
    case TCopyMode::cmSrcCopy: break;
  }
  return QPainter::CompositionMode_SourceOver;
}

Qt::BrushStyle ToQtBrushStyle(TBrushStyle style) {
  switch (style) {
    case TBrushStyle::bsSolid: return Qt::SolidPattern;
    case TBrushStyle::bsClear: return Qt::NoBrush;
    case TBrushStyle::bsHorizontal: return Qt::HorPattern;
    case TBrushStyle::bsVertical: return Qt::VerPattern;
    case TBrushStyle::bsFDiagonal: return Qt::FDiagPattern;
    case TBrushStyle::bsBDiagonal: return Qt::BDiagPattern;
    case TBrushStyle::bsCross: return Qt::CrossPattern;
    case TBrushStyle::bsDiagCross: return Qt::DiagCrossPattern;
  }
  return Qt::SolidPattern;
}

QImage WithoutColor(const QImage& picture, TColor transparent) {
  if (transparent == -1) return picture;
  QImage masked = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = ToQColor(transparent).rgb() & 0xFFFFFF;
  for (int y = 0; y < masked.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
    for (int x = 0; x < masked.width(); ++x)
      if ((line[x] & 0xFFFFFF) == key) line[x] = 0;
  }
  return masked;
}

}  // namespace

TQtCanvas::TQtCanvas(QPainter& painter) : painter_(&painter) {
  base_ = painter.hasClipping() ? painter.clipRegion() : QRegion(painter.viewport());
  clip_ = base_;
  painter.setRenderHint(QPainter::Antialiasing, false);
}

TQtCanvas::TQtCanvas(QImage& image) : painter_(nullptr), image_(&image), base_(image.rect()), clip_(base_) {}

TQtCanvas::~TQtCanvas() { Flush(); }

void TQtCanvas::Flush() {
  if (ownPainter_) ownPainter_->end();
  ownPainter_.reset();
  if (image_ != nullptr) painter_ = nullptr;
}

QPainter* TQtCanvas::Begin() {
  if (painter_ == nullptr) {
    if (image_->isNull()) return nullptr;
    ownPainter_ = std::make_unique<QPainter>(image_);
    ownPainter_->setRenderHint(QPainter::Antialiasing, false);
    painter_ = ownPainter_.get();
    base_ = QRegion(image_->rect());
    if (!clipped_) clip_ = base_;
    ApplyClip(*painter_);
  }
  painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
  return painter_;
}

void TQtCanvas::ApplyClip(QPainter& painter) {
  if (clipped_) painter.setClipRegion(clip_);
  else if (base_ != QRegion(painter.viewport())) painter.setClipRegion(base_);
  else painter.setClipping(false);
}

void TQtCanvas::UsePen(QPainter& painter) {
  if (pen_.Style == TPenStyle::psClear) {
    painter.setPen(Qt::NoPen);
    return;
  }
  QPen pen(ToQColor(pen_.Color));
  pen.setWidth(pen_.Width <= 1 ? 0 : pen_.Width);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  switch (pen_.Style) {
    case TPenStyle::psDash: pen.setDashPattern({6, 2}); break;
    case TPenStyle::psDot: pen.setDashPattern({1, 1}); break;
    case TPenStyle::psDashDot: pen.setDashPattern({6, 2, 1, 2}); break;
    case TPenStyle::psDashDotDot: pen.setDashPattern({6, 2, 1, 2, 1, 2}); break;
    default: break;
  }
  painter.setPen(pen);
  if (pen_.Mode == TPenMode::pmXor) painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  else if (pen_.Mode == TPenMode::pmNot) painter.setCompositionMode(QPainter::RasterOp_NotDestination);
}

void TQtCanvas::UseBrush(QPainter& painter) {
  painter.setBrush(QBrush(ToQColor(brush_.Color), ToQtBrushStyle(brush_.Style)));
}

void TQtCanvas::FillWithBrush(QPainter& painter, const QRect& rect) {
  if (brush_.Style == TBrushStyle::bsClear || rect.isEmpty()) return;
  // Hatches show the background colour between their lines unless the text
  // background is transparent.
  if (brush_.Style != TBrushStyle::bsSolid && bkMode_ == TBkMode::bkOpaque) painter.fillRect(rect, ToQColor(bkColor_));
  painter.fillRect(rect, QBrush(ToQColor(brush_.Color), ToQtBrushStyle(brush_.Style)));
}

void TQtCanvas::ExtTextOut(int x, int y, int options, const TRect* rect, std::string_view text, const int* advances) {
  QPainter* surface = Begin();
  if (surface == nullptr) return;
  QPainter& p = *surface;
  const FontEntry& e = Lookup(font_);
  p.save();
  // The rectangle is the device's; only the text turns with the font.
  if (rect != nullptr && (options & etoClipped)) p.setClipRect(ToQRect(*rect), Qt::IntersectClip);
  if (rect != nullptr && (options & etoOpaque)) p.fillRect(ToQRect(*rect), ToQColor(bkColor_));
  if (font_.Escapement != 0) {
    p.translate(x, y);
    p.rotate(-font_.Escapement / 10.0);
    x = 0;
    y = 0;
  }
  if (!text.empty()) {
    QList<QPointF> positions;
    positions.reserve(static_cast<qsizetype>(text.size()));
    int width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      positions.append(QPointF(width, 0));
      width += advances != nullptr ? advances[i] : e.widths[static_cast<unsigned char>(text[i])];
    }
    if (bkMode_ == TBkMode::bkOpaque && !(options & etoOpaque))
      p.fillRect(QRect(x, y, width, e.metrics.Height), ToQColor(bkColor_));
    QList<quint32> glyphs = e.raw.glyphIndexesForString(ToQString(std::string(text)));
    glyphs.resize(positions.size());
    QGlyphRun run;
    run.setRawFont(e.raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    p.setPen(ToQColor(textColor_));
    const int baseLine = y + e.metrics.Ascent;
    p.drawGlyphRun(QPointF(x, baseLine), run);
    // A glyph run's own underline is lost under a moved painter, which is
    // how a widget inside a window gets drawn: the lines are drawn here.
    if (font_.Style & fsUnderline) p.fillRect(QRect(x, baseLine + e.underlinePos, width, e.lineWidth), p.pen().color());
    if (font_.Style & fsStrikeOut) p.fillRect(QRect(x, baseLine - e.strikeOutPos, width, e.lineWidth), p.pen().color());
  }
  p.restore();
}

void TQtCanvas::FillRect(const TRect& rect) {
  if (QPainter* p = Begin()) FillWithBrush(*p, ToQRect(rect));
}

void TQtCanvas::Shape(bool fill, const std::function<void(QPainter&)>& draw) {
  QPainter* surface = Begin();
  if (surface == nullptr) return;
  surface->save();
  if (fill) UseBrush(*surface);
  else surface->setBrush(Qt::NoBrush);
  UsePen(*surface);
  draw(*surface);
  surface->restore();
}

void TQtCanvas::DrawLine(TPoint from, TPoint to) {
  if (pen_.Style == TPenStyle::psClear || from == to) return;
  // A flat cap ends the line before its last pixel, as lines drawn end to
  // end need.
  Shape(false, [&](QPainter& p) { p.drawLine(from.X, from.Y, to.X, to.Y); });
}

void TQtCanvas::PolyBezier(std::span<const TPoint> points) {
  if (points.size() < 4) return;
  QPainterPath path(QPointF(points[0].X, points[0].Y));
  for (size_t i = 1; i + 2 < points.size(); i += 3)
    path.cubicTo(points[i].X, points[i].Y, points[i + 1].X, points[i + 1].Y, points[i + 2].X, points[i + 2].Y);
  Shape(false, [&](QPainter& p) { p.drawPath(path); });
}

void TQtCanvas::Polygon(std::span<const TPoint> points) {
  if (points.size() < 2) return;
  QPolygon polygon;
  for (const TPoint& pt : points) polygon << QPoint(pt.X, pt.Y);
  Shape(true, [&](QPainter& p) { p.drawPolygon(polygon); });
}

void TQtCanvas::Rectangle(const TRect& rect) {
  if (rect.IsEmpty()) return;
  Shape(true, [&](QPainter& p) { p.drawRect(QRect(rect.Left, rect.Top, rect.Width() - 1, rect.Height() - 1)); });
}

void TQtCanvas::Picture(const QRect& target, const QImage& picture, const QRect* source) {
  QPainter* p = Begin();
  if (p == nullptr) return;
  p->setCompositionMode(CopyComposition(copyMode_));
  if (source != nullptr) p->drawImage(target, picture, *source);
  else p->drawImage(target, picture);
}

void TQtCanvas::Draw(int x, int y, const QImage& picture, TColor transparent) {
  if (!picture.isNull()) Picture(QRect(QPoint(x, y), picture.size()), WithoutColor(picture, transparent), nullptr);
}

void TQtCanvas::StretchDraw(const TRect& rect, const QImage& picture, TColor transparent) {
  if (!picture.isNull() && !rect.IsEmpty()) Picture(ToQRect(rect), WithoutColor(picture, transparent), nullptr);
}

void TQtCanvas::CopyRect(const TRect& dest, const QImage& source, const TRect& sourceRect) {
  if (source.isNull() || dest.IsEmpty() || sourceRect.IsEmpty()) return;
  const QRect from = ToQRect(sourceRect);
  Picture(ToQRect(dest), source, &from);
}

void TQtCanvas::IntersectClipRect(const TRect& rect) {
  clip_ = (clipped_ ? clip_ : base_) & ToQRect(rect);
  clipped_ = true;
  if (painter_ != nullptr) ApplyClip(*painter_);
}

void TQtCanvas::ExcludeClipRect(const TRect& rect) {
  clip_ = (clipped_ ? clip_ : base_) - ToQRect(rect);
  clipped_ = true;
  if (painter_ != nullptr) ApplyClip(*painter_);
}

void TQtCanvas::ResetClip() {
  clipped_ = false;
  clip_ = base_;
  if (painter_ != nullptr) ApplyClip(*painter_);
}

TRect TQtCanvas::ClipRect() const {
  QRegion region = clipped_ ? clip_ : (painter_ != nullptr || image_ == nullptr ? base_ : QRegion(image_->rect()));
  const QRect r = region.boundingRect();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

TTextMetrics TQtCanvas::TextMetrics() { return Lookup(font_).metrics; }

const int* TQtCanvas::CharWidths() { return Lookup(font_).widths; }

TCanvas& ScreenCanvas() {
  // Never freed, like the font table it measures with.
  static auto* screen = new TBitmap(1, 1);
  return screen->Canvas();
}

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == Width() && height == Height()) return;
  if (canvas_) canvas_->Flush();
  image_ = width > 0 && height > 0 ? QImage(width, height, QImage::Format_RGB32) : QImage();
  if (!image_.isNull()) image_.fill(Qt::white);
  Changed();
}

const QImage& TBitmap::Image() const {
  if (canvas_) canvas_->Flush();
  return image_;
}

void TBitmap::SetImage(const QImage& image) {
  if (canvas_) canvas_->Flush();
  image_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
  Changed();
}

bool TBitmap::LoadFromFile(const FileName& fileName) {
  QImage loaded;
  const bool ok = loaded.load(QString::fromStdString(fileName.Path().string()));
  SetImage(ok ? loaded : QImage());
  return ok;
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TQtCanvas>(image_);
  return *canvas_;
}

void TBitmap::Changed() {
  if (OnChange) OnChange();
}

}  // namespace platform
