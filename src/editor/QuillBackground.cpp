#include "editor/QuillBackground.h"

#include "editor/QuillDrawing.h"

namespace quill {

TQuillControlBackground::TQuillControlBackground(TQuillBackgroundOwner* owner) : owner_(owner) {
  bitmap_.OnChange = [this] { BackgroundChanged(); };
}

void TQuillControlBackground::SetOption(TQuillBackgroundOption option) {
  if (option == option_) return;
  option_ = option;
  BackgroundChanged();
  InvalidateOwner();
}

void TQuillControlBackground::SetGradientStartColor(TColor color) {
  if (color == startColor_) return;
  startColor_ = color;
  BackgroundChanged();
}

void TQuillControlBackground::SetGradientEndColor(TColor color) {
  if (color == endColor_) return;
  endColor_ = color;
  BackgroundChanged();
}

void TQuillControlBackground::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) BackgroundChanged();
}

bool TQuillControlBackground::NeedPaint() const {
  if (GetPaintRect().IsEmpty()) return false;
  switch (option_) {
    case TQuillBackgroundOption::bgHorzGradient:
    case TQuillBackgroundOption::bgVertGradient: return true;
    case TQuillBackgroundOption::bgNone: return false;
    default: return !bitmap_.Empty();
  }
}

void TQuillControlBackground::BackgroundChanged() {
  if (updateCount_ > 0) return;
  if (NeedPaint()) Paint();
  else InvalidateOwner();
}

void TQuillControlBackground::Assign(const TQuillControlBackground& source) {
  BeginUpdate();
  bitmap_.Assign(source.bitmap_);
  SetOption(source.option_);
  SetGradientStartColor(source.startColor_);
  SetGradientEndColor(source.endColor_);
  EndUpdate();
}

TRect TQuillControlBackground::GetPaintRect() const { return owner_ != nullptr ? owner_->BackgroundRect() : TRect{}; }

TBrush TQuillControlBackground::GetPaintBrush() const {
  return owner_ != nullptr ? owner_->BackgroundBrush() : TBrush{};
}

void TQuillControlBackground::InvalidateOwner() {
  if (owner_ != nullptr) owner_->InvalidateBackground();
}

void TQuillControlBackground::Paint() {
  const TRect rect = GetPaintRect();
  const int w = rect.Width(), h = rect.Height();
  paintBitmap_.SetSize(w, h);
  TCanvas& canvas = paintBitmap_.Canvas();
  const QImage& picture = bitmap_.Image();
  const int pw = picture.width(), ph = picture.height();
  switch (option_) {
    case TQuillBackgroundOption::bgStretch: canvas.StretchDraw({0, 0, w, h}, picture); break;
    case TQuillBackgroundOption::bgCenter:
      canvas.Brush() = GetPaintBrush();
      canvas.FillRect({0, 0, w, h});
      canvas.Draw((w - pw) / 2, (h - ph) / 2, picture);
      break;
    case TQuillBackgroundOption::bgTile:
      if (pw > 0 && ph > 0)
        for (int row = 0; row < (h + ph - 1) / ph; ++row)
          for (int col = 0; col < (w + pw - 1) / pw; ++col) canvas.Draw(col * pw, row * ph, picture);
      break;
    case TQuillBackgroundOption::bgHorzGradient:
    case TQuillBackgroundOption::bgVertGradient:
      PaintGradient(canvas, w, h, startColor_, endColor_, option_ == TQuillBackgroundOption::bgVertGradient);
      break;
    case TQuillBackgroundOption::bgNone: break;
  }
  InvalidateOwner();
}

}  // namespace quill
