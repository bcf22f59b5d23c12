#pragma once

// The painted background of a control: a picture stretched, centred or tiled
// over it, or a two-colour gradient. It is painted once into a picture of
// the control's size whenever something about it changes; painting the
// control then copies from that picture.

#include "editor/QuillContainers.h"
#include "platform/Canvas.h"
#include "platform/QtCanvas.h"

namespace quill {

using platform::TBitmap;
using platform::TBrush;

enum class TQuillBackgroundOption : uint8_t { bgNone, bgStretch, bgCenter, bgTile, bgHorzGradient, bgVertGradient };

// What a background needs of the control it belongs to.
class TQuillBackgroundOwner {
 public:
  virtual ~TQuillBackgroundOwner() = default;
  // The control's inner drawing area; empty while it has no window.
  virtual TRect BackgroundRect() const = 0;
  // The brush the control's canvas fills with.
  virtual TBrush BackgroundBrush() const = 0;
  virtual void InvalidateBackground() = 0;
};

class TQuillControlBackground : public TQuillObject {
 public:
  explicit TQuillControlBackground(TQuillBackgroundOwner* owner);

  // The picture; changing it paints the background again.
  TBitmap& Bitmap() { return bitmap_; }
  void SetBitmap(const TBitmap& bitmap) { bitmap_.Assign(bitmap); }
  TQuillBackgroundOption Option() const { return option_; }
  void SetOption(TQuillBackgroundOption option);
  TColor GradientStartColor() const { return startColor_; }
  void SetGradientStartColor(TColor color);
  TColor GradientEndColor() const { return endColor_; }
  void SetGradientEndColor(TColor color);

  // The painted background: its pixel (0, 0) is the paint rectangle's top-left.
  TBitmap& PaintBitmap() { return paintBitmap_; }

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  bool NeedPaint() const;
  void BackgroundChanged();
  virtual void Assign(const TQuillControlBackground& source);
  virtual TRect GetPaintRect() const;
  virtual TBrush GetPaintBrush() const;
  virtual void Paint();

 protected:
  TQuillBackgroundOwner* Owner() const { return owner_; }
  void InvalidateOwner();

 private:
  TQuillBackgroundOwner* owner_;
  TBitmap bitmap_;
  TQuillBackgroundOption option_ = TQuillBackgroundOption::bgNone;
  TColor startColor_ = clBlue;
  TColor endColor_ = clBlack;
  TBitmap paintBitmap_;
  int updateCount_ = 0;
};

}  // namespace quill
