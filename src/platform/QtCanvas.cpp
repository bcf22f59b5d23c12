#include "platform/QtCanvas.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
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

// Where a glyph's ink falls as the painter draws it at a whole-pixel pen
// position: pixels from the pen's x and from the base line, right and bottom
// exclusive. Empty (left >= right) for a glyph without ink.
struct InkBox {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// The ink of every byte's glyph for one kind of surface: how a glyph is
// rasterized depends on the surface's pixel format and the painter's hints.
struct InkTable {
  QImage::Format format;
  QPainter::RenderHints hints;
  InkBox boxes[256];
  bool known[256] = {};
  // Each glyph's coverage (0-255) over its ink box, as the painter lays it
  // down; null where the glyph has no ink or its ink could not be seen whole.
  QImage coverage[256];
  // The glyphs in one text colour, premultiplied by their coverage, made as
  // a run in that colour first needs each; a few colours, the oldest
  // replaced past that.
  struct Tint {
    QRgb color;
    QImage glyphs[256];
  };
  std::vector<std::unique_ptr<Tint>> tints;
};

constexpr std::size_t kMaxTints = 8;

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
  // The glyph of each byte (text is 8-bit, so a table replaces a look-up per
  // character of every string drawn).
  quint32 glyphs[256];
  std::vector<std::unique_ptr<InkTable>> inks;
};

FontEntry& Lookup(const TCanvasFont& font) {
  using Key = std::tuple<std::string, int, TFontStyles, TFontPitch>;
  // Never freed: Qt's font machinery is gone by the time statics are torn down.
  static auto* cache = new std::map<Key, std::unique_ptr<FontEntry>>;
  // A paint draws and measures run after run in one font: the font found
  // last is asked first, without making a key.
  static Key* lastKey = new Key;
  static FontEntry* last = nullptr;
  if (last != nullptr && std::get<1>(*lastKey) == font.Height && std::get<2>(*lastKey) == font.Style &&
      std::get<3>(*lastKey) == font.Pitch && std::get<0>(*lastKey) == font.Name)
    return *last;
  *lastKey = Key{font.Name, font.Height, font.Style, font.Pitch};
  auto& slot = (*cache)[*lastKey];
  if (slot) return *(last = slot.get());
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
  QString all(256, Qt::Uninitialized);
  for (int c = 0; c < 256; ++c) all[c] = QChar(static_cast<char16_t>(CodePointFromAnsi(static_cast<unsigned char>(c))));
  const QList<quint32> glyphs = e.raw.glyphIndexesForString(all);
  for (int c = 0; c < 256; ++c) e.glyphs[c] = c < glyphs.size() ? glyphs[c] : 0;
  last = &e;
  return e;
}

// A glyph's ink found the one sure way: drawn white on black, alone, by a
// painter like the one that will draw it, and the lit pixels looked for.
InkBox MeasureInk(const FontEntry& e, quint32 glyph, QImage::Format format, QPainter::RenderHints hints,
                  QImage& coverage) {
  const int em = std::max(e.metrics.Height, e.metrics.MaxCharWidth) + 8;
  const int ox = 2 * em, oy = 2 * em;
  QImage scratch(5 * em, 5 * em, format);
  scratch.fill(Qt::black);
  {
    QPainter p(&scratch);
    p.setRenderHints(hints, true);
    p.setRenderHints(~hints, false);
    p.setPen(Qt::white);
    QGlyphRun run;
    run.setRawFont(e.raw);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, 0)});
    p.drawGlyphRun(QPointF(ox, oy), run);
  }
  const QRgb background = QColor(Qt::black).rgba();
  InkBox box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  const int w = scratch.width(), h = scratch.height();
  for (int y = 0; y < h; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      if (line[x] == background) continue;
      box.left = std::min(box.left, x - ox);
      box.right = std::max(box.right, x - ox + 1);
      box.top = std::min(box.top, y - oy);
      box.bottom = std::max(box.bottom, y - oy + 1);
    }
  }
  // Ink at the scratch's edge may go on beyond it: treated as everywhere.
  if (box.left != INT_MAX &&
      (box.left <= -ox || box.top <= -oy || box.right >= w - ox || box.bottom >= h - oy))
    return {INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};
  if (box.left == INT_MAX) return InkBox{};
  // White over black leaves each channel at exactly the coverage the painter
  // blended with.
  coverage = QImage(box.right - box.left, box.bottom - box.top, QImage::Format_Grayscale8);
  for (int y = 0; y < coverage.height(); ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(scratch.constScanLine(oy + box.top + y)) + ox + box.left;
    uchar* to = coverage.scanLine(y);
    for (int x = 0; x < coverage.width(); ++x) to[x] = static_cast<uchar>(qRed(from[x]));
  }
  return box;
}

InkTable& Inks(FontEntry& e, QImage::Format format, QPainter::RenderHints hints) {
  InkTable* table = nullptr;
  for (auto& t : e.inks)
    if (t->format == format && t->hints == hints) table = t.get();
  if (table == nullptr) {
    e.inks.push_back(std::make_unique<InkTable>());
    table = e.inks.back().get();
    table->format = format;
    table->hints = hints;
  }
  return *table;
}

const InkBox& GlyphInk(InkTable& table, const FontEntry& e, unsigned char c) {
  if (!table.known[c]) {
    table.boxes[c] = MeasureInk(e, e.glyphs[c], table.format, table.hints, table.coverage[c]);
    table.known[c] = true;
  }
  return table.boxes[c];
}

// x times a / 255 in each byte, rounded as the painter's own blending rounds.
quint32 ByteMul(quint32 x, quint32 a) {
  quint32 t = (x & 0xff00ff) * a;
  t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
  x = ((x >> 8) & 0xff00ff) * a;
  x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
  return x | t;
}

InkTable::Tint& TintFor(InkTable& table, QRgb color) {
  for (auto& t : table.tints)
    if (t->color == color) return *t;
  if (table.tints.size() == kMaxTints) table.tints.erase(table.tints.begin());
  table.tints.push_back(std::make_unique<InkTable::Tint>());
  table.tints.back()->color = color;
  return *table.tints.back();
}

const QImage& TintedGlyph(const InkTable& table, InkTable::Tint& tint, unsigned char c) {
  QImage& glyph = tint.glyphs[c];
  const QImage& coverage = table.coverage[c];
  if (glyph.isNull() && !coverage.isNull()) {
    // Unlit to a whole number of quads on the right, so that laying it into
    // a run goes four pixels at a time.
    glyph = QImage((coverage.width() + 3) & ~3, coverage.height(), QImage::Format_ARGB32_Premultiplied);
    glyph.fill(0);
    for (int y = 0; y < coverage.height(); ++y) {
      const uchar* from = coverage.constScanLine(y);
      auto* to = reinterpret_cast<quint32*>(glyph.scanLine(y));
      for (int x = 0; x < coverage.width(); ++x) to[x] = ByteMul(tint.color, from[x]);
    }
  }
  return glyph;
}

// Four pixels, or'ed at once.
using PixelQuad = quint32 __attribute__((vector_size(16)));

// Ors a row of whole quads in, `from` and `to` aligned or not.
void OrQuads(quint32* to, const quint32* from, int count) {
  for (int i = 0; i < count; i += 4) {
    PixelQuad a, b;
    std::memcpy(&a, from + i, sizeof a);
    std::memcpy(&b, to + i, sizeof b);
    a |= b;
    std::memcpy(to + i, &a, sizeof a);
  }
}

// Copies a row of whole quads.
void CopyQuads(quint32* to, const quint32* from, int count) {
  for (int i = 0; i < count; i += 4) {
    PixelQuad a;
    std::memcpy(&a, from + i, sizeof a);
    std::memcpy(to + i, &a, sizeof a);
  }
}

// Where each character of a run goes, kept from one run to the next and
// from one paint to the next (a canvas lives for one paint), so that laying
// out a run allocates nothing once the longest was laid out.
QList<QPointF>& TextPositions() {
  static auto* positions = new QList<QPointF>;
  return *positions;
}

// The picture a run of glyphs is laid into, at its top left corner: kept
// from one run to the next and only ever grown, so that drawing one
// allocates nothing once the longest run was drawn.
QImage& RunPicture(int width, int height) {
  static auto* picture = new QImage;
  if (picture->width() < width || picture->height() < height)
    *picture = QImage(std::max(width, picture->width()), std::max(height, picture->height()),
                      QImage::Format_ARGB32_Premultiplied);
  return *picture;
}

// The surface's pixel format when the painter draws glyphs the way they were
// measured: into a picture of one of the formats measured, moved by whole
// pixels and nothing more.
bool DrawsAsMeasured(QPainter& p, QImage::Format& format) {
  const QTransform& moved = p.deviceTransform();
  if (moved.type() > QTransform::TxTranslate) return false;
  QPaintDevice* surface = p.paintEngine() != nullptr ? p.paintEngine()->paintDevice() : nullptr;
  if (surface == nullptr || surface->devType() != QInternal::Image || surface->devicePixelRatio() != 1) return false;
  format = static_cast<QImage*>(surface)->format();
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied;
}

// Draws the run as pictures of its glyphs, each already in the text colour,
// when that lays down the very pixels the glyph run would: the painter blends
// a glyph's coverage with the same arithmetic as a premultiplied picture, at
// under half the cost of its glyph blending (which has no fast form for
// these surfaces). False, drawing nothing, where that does not hold.
bool DrawGlyphPictures(QPainter& p, FontEntry& e, int x, int baseLine, std::string_view text,
                       const QList<QPointF>& positions, const QColor& color) {
  QImage::Format format;
  if (!DrawsAsMeasured(p, format) || format == QImage::Format_ARGB32 || color.alpha() != 255 ||
      p.opacity() != 1.0 || p.compositionMode() != QPainter::CompositionMode_SourceOver)
    return false;
  const QTransform& moved = p.deviceTransform();
  if (moved.dx() != std::floor(moved.dx()) || moved.dy() != std::floor(moved.dy())) return false;
  InkTable& table = Inks(e, format, p.renderHints());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const InkBox& ink = GlyphInk(table, e, c);
    if (ink.left < ink.right && table.coverage[c].isNull()) return false;
  }
  InkTable::Tint& tint = TintFor(table, color.rgba());
  int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN, inked = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const InkBox& ink = table.boxes[static_cast<unsigned char>(text[i])];
    if (ink.left >= ink.right) continue;
    const int gx = static_cast<int>(positions[static_cast<qsizetype>(i)].x());
    left = std::min(left, gx + ink.left);
    right = std::max(right, gx + ink.right);
    top = std::min(top, ink.top);
    bottom = std::max(bottom, ink.bottom);
    ++inked;
  }
  if (inked == 0) return true;
  if (inked == 1) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      const InkBox& ink = table.boxes[c];
      if (ink.left >= ink.right) continue;
      const int gx = x + static_cast<int>(positions[static_cast<qsizetype>(i)].x());
      p.drawImage(QPoint(gx + ink.left, baseLine + ink.top), TintedGlyph(table, tint, c));
    }
    return true;
  }
  // Each call to draw a picture costs more than blending a short run's
  // pixels: the glyphs are laid into one picture and drawn at once. Where a
  // glyph shares a lit pixel with one laid before it, blending them together
  // first would round otherwise than blending each in turn, so what is laid
  // so far is drawn first; pixels no glyph lights stay zero, which leaves
  // the surface as it was.
  const int width = right - left, height = bottom - top;
  // Room for the last glyph's unlit quad padding.
  QImage& picture = RunPicture(width + 3, height);
  const qsizetype stride = picture.bytesPerLine() / 4;
  auto* pixels = reinterpret_cast<quint32*>(picture.bits());
  for (int row = 0; row < height; ++row) std::fill_n(pixels + row * stride, width + 3, 0u);
  int laidFrom = INT_MAX, laidTo = INT_MIN;
  // With `more` the picture is cleared for the glyphs still to come; after
  // the run's last draw it is left as it is, as each run clears it first.
  auto drawLaid = [&](bool more) {
    if (laidFrom >= laidTo) return;
    p.drawImage(QPoint(x + left + laidFrom, baseLine + top), picture, QRect(laidFrom, 0, laidTo - laidFrom, height));
    if (!more) return;
    for (int row = 0; row < height; ++row) std::fill(pixels + row * stride + laidFrom, pixels + row * stride + laidTo, 0u);
    laidFrom = INT_MAX;
    laidTo = INT_MIN;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const InkBox& ink = table.boxes[c];
    if (ink.left >= ink.right) continue;
    const QImage& glyph = TintedGlyph(table, tint, c);
    const int gx = static_cast<int>(positions[static_cast<qsizetype>(i)].x()) + ink.left - left;
    const int gy = ink.top - top;
    // The ink's own width: the picture is padded on the right.
    const int gw = ink.right - ink.left, gh = glyph.height();
    const auto* from = reinterpret_cast<const quint32*>(glyph.constBits());
    const qsizetype fromStride = glyph.bytesPerLine() / 4;
    quint32* to = pixels + gy * stride + gx;
    // Glyphs mostly follow one another without touching: nothing laid yet
    // lies in their way, the picture there is all zeros, and the glyph is
    // copied in. Only where they overlap is a pixel looked at twice; laid on
    // pixels this glyph leaves unlit, its own pixels are its bits or'ed in.
    const int paddedWidth = glyph.width();
    if (gx >= laidTo || gx + paddedWidth <= laidFrom) {
      for (int row = 0; row < gh; ++row) CopyQuads(to + row * stride, from + row * fromStride, paddedWidth);
      laidFrom = std::min(laidFrom, gx);
      laidTo = std::max(laidTo, gx + gw);
      continue;
    }
    if (gx < laidTo && gx + gw > laidFrom) {
      bool shared = false;
      for (int row = 0; row < gh && !shared; ++row) {
        const quint32* f = from + row * fromStride;
        const quint32* t = to + row * stride;
        for (int col = 0; col < gw; ++col) shared = shared || (f[col] != 0 && t[col] != 0);
      }
      if (shared) drawLaid(true);
    }
    for (int row = 0; row < gh; ++row) OrQuads(to + row * stride, from + row * fromStride, paddedWidth);
    laidFrom = std::min(laidFrom, gx);
    laidTo = std::max(laidTo, gx + gw);
  }
  drawLaid(false);
  return true;
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

// Whether text drawn by the painter as laid out (pen at x, base line at
// baseLine, each glyph at its position) keeps all its ink inside `within`, so
// that clipping to it would change no pixel. Only a painter that moves the
// surface and nothing more draws glyphs the way they were measured.
bool InkInside(QPainter& p, FontEntry& e, int x, int baseLine, std::string_view text,
               const QList<QPointF>& positions, const QRect& within) {
  QImage::Format format;
  if (!DrawsAsMeasured(p, format)) return false;
  InkTable& table = Inks(e, format, p.renderHints());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const InkBox& ink = GlyphInk(table, e, c);
    if (ink.left >= ink.right) continue;
    const int gx = x + static_cast<int>(positions[static_cast<qsizetype>(i)].x());
    if (gx + ink.left < within.left() || gx + ink.right > within.right() + 1 || baseLine + ink.top < within.top() ||
        baseLine + ink.bottom > within.bottom() + 1)
      return false;
  }
  return true;
}

}  // namespace

TQtCanvas::TQtCanvas(QPainter& painter) : painter_(&painter), outerPen_(painter.pen()) {
  base_ = painter.hasClipping() ? painter.clipRegion() : QRegion(painter.viewport());
  clip_ = base_;
  painter.setRenderHint(QPainter::Antialiasing, false);
}

TQtCanvas::TQtCanvas(QImage& image) : painter_(nullptr), image_(&image), base_(image.rect()), clip_(base_) {}

TQtCanvas::~TQtCanvas() {
  // A painter lent to the canvas gets its pen back as it was lent.
  if (image_ == nullptr && painter_ != nullptr) painter_->setPen(outerPen_);
  Flush();
}

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
    clipStale_ = true;
  }
  if (clipStale_) ApplyClip(*painter_);
  painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
  return painter_;
}

// A paint narrows and widens the clip several times between two things it
// draws; the painter is told only what holds when something is drawn. A
// single rectangle is given as one, which the painter clips to without
// building a region.
void TQtCanvas::ApplyClip(QPainter& painter) {
  clipStale_ = false;
  const QRegion& wanted = clipped_ ? clip_ : base_;
  if (!clipped_ && base_ == QRegion(painter.viewport())) painter.setClipping(false);
  else if (wanted.rectCount() == 1) painter.setClipRect(wanted.boundingRect());
  else painter.setClipRegion(wanted);
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
  // A solid fill by its colour alone lays down the same pixels without the
  // painter setting up a brush for each of the rows a paint fills.
  if (brush_.Style == TBrushStyle::bsSolid) painter.fillRect(rect, ToQColor(brush_.Color));
  else painter.fillRect(rect, QBrush(ToQColor(brush_.Color), ToQtBrushStyle(brush_.Style)));
}

void TQtCanvas::ExtTextOut(int x, int y, int options, const TRect* rect, std::string_view text, const int* advances) {
  QPainter* surface = Begin();
  if (surface == nullptr) return;
  QPainter& p = *surface;
  FontEntry& e = Lookup(font_);
  int width = 0;
  QList<QPointF>& positions = TextPositions();
  positions.resize(static_cast<qsizetype>(text.size()));
  for (std::size_t i = 0; i < text.size(); ++i) {
    positions[static_cast<qsizetype>(i)] = QPointF(width, 0);
    width += advances != nullptr ? advances[i] : e.widths[static_cast<unsigned char>(text[i])];
  }
  const int baseLine = y + e.metrics.Ascent;
  // Clipping costs more than drawing a short run: it is left out when it
  // would cut nothing, neither ink nor the fill behind the text nor the lines
  // under and through it.
  bool clip = rect != nullptr && (options & etoClipped) && !text.empty();
  if (clip && font_.Escapement == 0) {
    const QRect within = ToQRect(*rect);
    bool inside = true;
    if (bkMode_ == TBkMode::bkOpaque && !(options & etoOpaque))
      inside = within.contains(QRect(x, y, width, e.metrics.Height));
    if (font_.Style & fsUnderline)
      inside = inside && within.contains(QRect(x, baseLine + e.underlinePos, width, e.lineWidth));
    if (font_.Style & fsStrikeOut)
      inside = inside && within.contains(QRect(x, baseLine - e.strikeOutPos, width, e.lineWidth));
    clip = !inside || !InkInside(p, e, x, baseLine, text, positions, within);
  }
  const bool turned = font_.Escapement != 0;
  const bool keepState = clip || turned;
  if (keepState) p.save();
  // The rectangle is the device's; only the text turns with the font.
  if (clip) p.setClipRect(ToQRect(*rect), Qt::IntersectClip);
  if (rect != nullptr && (options & etoOpaque)) p.fillRect(ToQRect(*rect), ToQColor(bkColor_));
  int at = x, baseAt = baseLine;
  if (turned) {
    p.translate(x, y);
    p.rotate(-font_.Escapement / 10.0);
    at = 0;
    baseAt = e.metrics.Ascent;
  }
  if (!text.empty()) {
    if (bkMode_ == TBkMode::bkOpaque && !(options & etoOpaque))
      p.fillRect(QRect(at, baseAt - e.metrics.Ascent, width, e.metrics.Height), ToQColor(bkColor_));
    const QColor color = ToQColor(textColor_);
    // Runs follow one another in a few colours: a pen only a run uses (the
    // shapes set theirs inside a saved state) stays until a colour differs.
    const QPen& now = p.pen();
    if (now.style() != Qt::SolidLine || now.brush().style() != Qt::SolidPattern || now.color() != color)
      p.setPen(color);
    if (turned || !DrawGlyphPictures(p, e, at, baseAt, text, positions, color)) {
      QList<quint32> glyphs(static_cast<qsizetype>(text.size()));
      for (std::size_t i = 0; i < text.size(); ++i)
        glyphs[static_cast<qsizetype>(i)] = e.glyphs[static_cast<unsigned char>(text[i])];
      if (!run_) run_ = std::make_unique<QGlyphRun>();
      if (run_->rawFont() != e.raw) run_->setRawFont(e.raw);
      run_->setGlyphIndexes(glyphs);
      run_->setPositions(positions);
      p.drawGlyphRun(QPointF(at, baseAt), *run_);
    }
    // A glyph run's own underline is lost under a moved painter, which is
    // how a widget inside a window gets drawn: the lines are drawn here.
    if (font_.Style & fsUnderline) p.fillRect(QRect(at, baseAt + e.underlinePos, width, e.lineWidth), color);
    if (font_.Style & fsStrikeOut) p.fillRect(QRect(at, baseAt - e.strikeOutPos, width, e.lineWidth), color);
  }
  if (keepState) p.restore();
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
  clipStale_ = true;
}

void TQtCanvas::ExcludeClipRect(const TRect& rect) {
  clip_ = (clipped_ ? clip_ : base_) - ToQRect(rect);
  clipped_ = true;
  clipStale_ = true;
}

void TQtCanvas::ResetClip() {
  clipped_ = false;
  clip_ = base_;
  clipStale_ = true;
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
