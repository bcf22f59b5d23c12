#pragma once

// Drawing routines the editor's painting shares: gradients, the wavy
// misspelling underline, frames around a rectangle, the gutter's dividing
// line; and the bridge from the editor's fonts to the canvas's.

#include <QFont>

#include "editor/QuillAttributes.h"
#include "platform/Canvas.h"

namespace quill {

using platform::TBrush;
using platform::TBrushStyle;
using platform::TCanvasFont;
using platform::TPen;
using platform::TPenMode;
using platform::TPenStyle;

// The canvas font of an editor font; a size in points becomes a character
// height in pixels at the screen's resolution.
TCanvasFont CanvasFont(const TQuillFont& font);
// The editor font of a desktop font (the hint font, a widget's font).
TQuillFont FontFromQt(const QFont& font);

// Bands of colour from StartColor to EndColor across Width (or, Vertical,
// down Height) pixels from the canvas's origin; as many bands as the largest
// component difference allows, so no two neighbours look alike.
void PaintGradient(TCanvas& canvas, int width, int height, TColor startColor, TColor endColor, bool vertical);
// A wavy line along the bottom of Rect, its crests on a 6-pixel grid so
// neighbouring runs join seamlessly.
void DrawLiveSpell(TCanvas& canvas, const TRect& rect, TColor color);
// Fills what lies inside Outer but outside Inner.
void PaintBoundingRect(TCanvas& canvas, const TRect& outer, const TRect& inner, TColor color);
// The gutter's edge: a line in Pen at X + 1 and one in Color at X.
void PaintGutterLine(TCanvas& canvas, const TRect& rect, int x, TColor color, const TPen& pen);
// Whether every character of the font has the same advance.
bool IsMonoFont(TCanvas& canvas, const TQuillFont& font);

}  // namespace quill
