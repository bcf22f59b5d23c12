#pragma once

// A drawing surface with the calls and the state model of the Windows device
// context the editor was designed around: a selected font, text and background
// colours with a background mode, a brush for fills, a pen for lines, a copy
// mode for pictures, and a current pen position. Output calls draw with the
// state as it stands when they are made. Coordinates are device pixels;
// rectangles exclude their right and bottom edges.
//
// Two kinds exist: TQtCanvas draws with QPainter onto a widget or picture,
// TRecordingCanvas writes each call down so tests can read what was drawn.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/Graphics.h"

class QImage;

namespace platform {

// A font as selected into a canvas. Heights are pixels: negative gives the
// character height (the em), positive the cell height (ascent plus descent),
// zero the desktop's default.
struct TCanvasFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  TFontStyles Style = 0;
  TColor Color = clWindowText;
  uint8_t Charset = 1;
  TFontPitch Pitch = TFontPitch::fpDefault;
  int Escapement = 0;  // text direction, tenths of a degree counter-clockwise
  bool operator==(const TCanvasFont&) const = default;
};

enum class TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
  bool operator==(const TBrush&) const = default;
};

enum class TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
// How a line meets the pixels under it: covers them, exclusive-or with the
// pen colour (drawn twice it vanishes), or inverts them.
enum class TPenMode : uint8_t { pmCopy, pmXor, pmNot };
struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = TPenStyle::psSolid;
  TPenMode Mode = TPenMode::pmCopy;
  bool operator==(const TPen&) const = default;
};

// How copied pictures combine with what is there.
enum class TCopyMode : uint8_t { cmSrcCopy, cmSrcInvert, cmSrcAnd, cmSrcPaint, cmNotSrcCopy, cmDstInvert };

// Transparent text leaves the pixels between glyphs alone; opaque text fills
// its cells with the background colour first.
enum class TBkMode : uint8_t { bkTransparent, bkOpaque };

struct TTextMetrics {
  int Height = 0;  // Ascent + Descent
  int Ascent = 0;
  int Descent = 0;
  int AveCharWidth = 0;
  int MaxCharWidth = 0;
  bool FixedPitch = false;
};

// ExtTextOut options: fill the rectangle with the background colour, clip the
// text to it.
enum TTextOutOption : uint8_t { etoOpaque = 1, etoClipped = 2 };

class TCanvas {
 public:
  virtual ~TCanvas() = default;

  // ---- state ----
  const TCanvasFont& Font() const { return font_; }
  // Selecting a font also makes its colour the text colour.
  void SetFont(const TCanvasFont& font);
  // The style alone, keeping face and size: bold runs, underlined links.
  void SetFontStyle(TFontStyles style) { font_.Style = style; }
  TColor TextColor() const { return textColor_; }
  void SetTextColor(TColor color) { textColor_ = color; }
  TColor BkColor() const { return bkColor_; }
  void SetBkColor(TColor color) { bkColor_ = color; }
  TBkMode BkMode() const { return bkMode_; }
  void SetBkMode(TBkMode mode) { bkMode_ = mode; }
  TBrush& Brush() { return brush_; }
  TPen& Pen() { return pen_; }
  TCopyMode CopyMode() const { return copyMode_; }
  void SetCopyMode(TCopyMode mode) { copyMode_ = mode; }
  TPoint PenPos() const { return penPos_; }

  // ---- text ----
  // Text (Windows-1252) with its cell's top-left at (X, Y). Advances, when
  // given, hold one pixel advance per character and place each character in
  // its own cell, whatever its glyph's width. With etoOpaque the rectangle is
  // filled with the background colour first; otherwise an opaque background
  // mode fills the text's cells.
  virtual void ExtTextOut(int x, int y, int options, const TRect* rect, std::string_view text,
                          const int* advances) = 0;
  void TextOut(int x, int y, std::string_view text) { ExtTextOut(x, y, 0, nullptr, text, nullptr); }

  // ---- shapes ----
  // The brush over the rectangle; a clear brush draws nothing.
  virtual void FillRect(const TRect& rect) = 0;
  void MoveTo(int x, int y) { penPos_ = {x, y}; }
  // A line from the pen position to (X, Y), without its last pixel, so that
  // lines drawn end to end never cover a pixel twice (which matters for XOR).
  void LineTo(int x, int y);
  // Cubic Bézier segments: a start point, then three points per segment.
  virtual void PolyBezier(std::span<const TPoint> points) = 0;
  // Filled with the brush and outlined with the pen.
  virtual void Polygon(std::span<const TPoint> points) = 0;
  // Outline with the pen inside the rectangle, interior with the brush.
  virtual void Rectangle(const TRect& rect) = 0;

  // ---- pictures ----
  // Transparent, when not -1, is a colour whose pixels are left out.
  virtual void Draw(int x, int y, const QImage& picture, TColor transparent = -1) = 0;
  virtual void StretchDraw(const TRect& rect, const QImage& picture, TColor transparent = -1) = 0;
  // Part of a picture (stretched when the sizes differ), combined by the copy mode.
  virtual void CopyRect(const TRect& dest, const QImage& source, const TRect& sourceRect) = 0;

  // ---- clipping ----
  virtual void IntersectClipRect(const TRect& rect) = 0;
  virtual void ExcludeClipRect(const TRect& rect) = 0;
  // Back to the whole surface.
  virtual void ResetClip() = 0;
  // The bounds of what may still be drawn on.
  virtual TRect ClipRect() const = 0;

  // ---- measures of the selected font ----
  virtual TTextMetrics TextMetrics() = 0;
  // The advance of each of the 256 characters, in pixels; TextWidth is
  // their sum over the text, so measuring and drawing always agree.
  virtual const int* CharWidths() = 0;
  int TextWidth(std::string_view text);
  int TextHeight() { return TextMetrics().Height; }

 protected:
  virtual void DrawLine(TPoint from, TPoint to) = 0;

  TCanvasFont font_;
  TColor textColor_ = clWindowText;
  TColor bkColor_ = clWhite;
  TBkMode bkMode_ = TBkMode::bkOpaque;
  TBrush brush_;
  TPen pen_;
  TCopyMode copyMode_ = TCopyMode::cmSrcCopy;
  TPoint penPos_;
};

// Keeps a canvas's colours, modes, font, brush and pen, and puts them back
// when it goes, so drawing helpers leave the caller's state as they found it.
class TCanvasStateSaver {
 public:
  explicit TCanvasStateSaver(TCanvas& canvas);
  ~TCanvasStateSaver();
  TCanvasStateSaver(const TCanvasStateSaver&) = delete;
  TCanvasStateSaver& operator=(const TCanvasStateSaver&) = delete;

 private:
  TCanvas& canvas_;
  TCanvasFont font_;
  TColor textColor_, bkColor_;
  TBkMode bkMode_;
  TBrush brush_;
  TPen pen_;
};

}  // namespace platform
