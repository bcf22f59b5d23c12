#pragma once

// A canvas that draws nothing and writes down every output call, with the
// state the call drew with, one line per call; tests compare those lines.
//
// Its fonts have made-up but fixed measures, so results never depend on the
// fonts a machine has. For a character height h (the negative Height, 13 for
// Height 0): ascent h, descent h / 4 (at least 1). A positive Height is split
// into ascent and descent with the descent a fifth of it. A font is fixed
// pitch when its pitch says so or its name holds "Courier" or "Mono"; every
// character of a fixed font is h * 6 / 10 wide. Proportional fonts give
// h / 2 (the average width) to most characters, half that to "il.,:;'!|",
// one and a half times that to "mwMW", one more pixel to other capitals, and
// one more pixel again in bold. Widths are at least 1.
//
// The lines read, for example:
//   ExtTextOut 4,0 "abc" opaque,clipped 4,0,25,16 font=Courier New,-13,B color=clBlack bk=clWindow adv=7
//   FillRect 0,0,10,16 brush=clWindow
//   Line 0,5-10,5 pen=clBlack,w2,dot,xor
// where "bk" appears only when the call fills the text's background.

#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace platform {

class TRecordingCanvas : public TCanvas {
 public:
  explicit TRecordingCanvas(TRect bounds = {0, 0, 640, 480});

  const std::vector<std::string>& Calls() const { return calls_; }
  // The calls, one per line.
  std::string Text() const;
  void Clear() { calls_.clear(); }

  static TTextMetrics MetricsOf(const TCanvasFont& font);
  static int CharWidthOf(const TCanvasFont& font, unsigned char c);

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
  TRect ClipRect() const override { return clip_; }
  TTextMetrics TextMetrics() override { return MetricsOf(font_); }
  const int* CharWidths() override;

 protected:
  void DrawLine(TPoint from, TPoint to) override;

 private:
  void Add(std::string line) { calls_.push_back(std::move(line)); }
  std::string PenText() const;
  std::string BrushText() const;

  std::vector<std::string> calls_;
  TRect bounds_;
  TRect clip_;
  TCanvasFont widthsFont_;
  int widths_[256] = {};
  bool widthsValid_ = false;
};

// "l,t,r,b" and "x,y", as the recordings write them.
std::string RectText(const TRect& r);
std::string PointText(TPoint p);

}  // namespace platform
