#pragma once

// The canvas over QPainter, and a picture with a canvas of its own.
//
// Text is drawn glyph by glyph at whole-pixel advances taken from one table
// per font, the same table TextWidth and CharWidths read, so a caret placed
// by measuring lands exactly where the character was drawn. Shapes are drawn
// without antialiasing, so every fill and line covers whole pixels.

#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QPen>
#include <QRegion>

#include <functional>
#include <memory>

#include "platform/Canvas.h"
#include "platform/Charset.h"

class QPainter;

namespace platform {

// A colour as drawn: system colours resolved, -1 ("none") fully transparent.
QColor ToQColor(TColor color);
QFont ToQFont(const TCanvasFont& font);

class TQtCanvas : public TCanvas {
 public:
  // Draws with a painter that is already active, such as a widget's during
  // its paint event; the painter's clip at this moment is the whole surface.
  explicit TQtCanvas(QPainter& painter);
  // Draws into a picture; painting begins with the first call and ends with
  // Flush (the picture must not be resized or read while it runs).
  explicit TQtCanvas(QImage& image);
  ~TQtCanvas() override;
  TQtCanvas(const TQtCanvas&) = delete;
  TQtCanvas& operator=(const TQtCanvas&) = delete;

  void Flush();

  void ExtTextOut(int x, int y, int options, const TRect* rect, std::string_view text, const int* advances) override;
  void FillRect(const TRect& rect) override;
  void PolyBezier(std::span<const TPoint> points) override;
  void Polygon(std::span<const TPoint> points) override;
  void Rectangle(const TRect& rect) override;
  void Draw(int x, int y, const QImage& picture, TColor transparent = -1) override;
  void StretchDraw(const TRect& rect, const QImage& picture, TColor transparent = -1) override;
  void CopyRect(const TRect& dest, const QImage& source, const TRect& sourceRect) override;
  void IntersectClipRect(const TRect& rect) override;
  void ExcludeClipRect(const TRect& rect) override;
  void ResetClip() override;
  TRect ClipRect() const override;
  TTextMetrics TextMetrics() override;
  const int* CharWidths() override;

 protected:
  void DrawLine(TPoint from, TPoint to) override;

 private:
  // The painter, begun when needed; null while the picture is empty.
  QPainter* Begin();
  void ApplyClip(QPainter& painter);
  void UsePen(QPainter& painter);
  void UseBrush(QPainter& painter);
  void FillWithBrush(QPainter& painter, const QRect& rect);
  // A shape outlined with the pen (and filled with the brush when Fill).
  void Shape(bool fill, const std::function<void(QPainter&)>& draw);
  void Picture(const QRect& target, const QImage& picture, const QRect* source);

  QPainter* painter_;
  // The pen of a painter lent to the canvas, as it was lent.
  QPen outerPen_;
  std::unique_ptr<QPainter> ownPainter_;
  QImage* image_ = nullptr;
  QRegion base_;
  QRegion clip_;
  bool clipped_ = false;
  // The clip changed since the painter was last told.
  bool clipStale_ = false;
  // Kept from one text run drawn as glyphs to the next; made when first
  // needed, as most canvases draw their text as pictures.
  std::unique_ptr<QGlyphRun> run_;
};

// A canvas for measuring text outside any paint, as the screen measures it.
TCanvas& ScreenCanvas();

// A picture to draw into and to draw from: the background picture of a
// control, the off-screen surface a paint is composed on.
class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height);
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  bool Empty() const { return image_.isNull(); }
  // New pixels are white.
  void SetSize(int width, int height);
  // The picture with everything drawn so far.
  const QImage& Image() const;
  void SetImage(const QImage& image);
  void Assign(const TBitmap& source) { SetImage(source.Image()); }
  // False, leaving the picture empty, when the file cannot be read.
  bool LoadFromFile(const FileName& fileName);
  TCanvas& Canvas();

  // Called after the picture was replaced or resized.
  std::function<void()> OnChange;

 private:
  void Changed();

  QImage image_;
  std::unique_ptr<TQtCanvas> canvas_;
};

}  // namespace platform
