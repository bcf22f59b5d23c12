#include "editor/QuillGutter.h"

#include <algorithm>

#include "editor/QuillPages.h"

namespace quill {

namespace {

// Digits three pixels wide and five high, one row per byte (bit 2 = left).
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

void Put(QImage& image, int x, int y, QRgb color) {
  if (x >= 0 && y >= 0 && x < image.width() && y < image.height()) image.setPixel(x, y, color);
}

QImage Blank(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

QImage Bookmark(int w, int h, int digit) {
  QImage image = Blank(w, h);
  const QRgb body = qRgb(0, 0x60, 0xA0);
  for (int y = 1; y < h - 1; ++y)
    for (int x = 2; x < w - 2; ++x) Put(image, x, y, body);
  const int left = (w - 3) / 2, top = (h - 5) / 2;
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 3; ++col)
      if (kDigits[digit][row] & (4 >> col)) Put(image, left + col, top + row, qRgb(255, 255, 254));
  return image;
}

QImage FoldButton(int w, int h, bool plus) {
  QImage image = Blank(w, h);
  const QRgb frame = qRgb(0x80, 0x80, 0x80), sign = qRgb(0, 0, 0);
  const int s = std::min(w, h) - 3, x0 = (w - s) / 2, y0 = (h - s) / 2;
  for (int i = 0; i < s; ++i) {
    Put(image, x0 + i, y0, frame);
    Put(image, x0 + i, y0 + s - 1, frame);
    Put(image, x0, y0 + i, frame);
    Put(image, x0 + s - 1, y0 + i, frame);
  }
  const int mid = s / 2;
  for (int i = 2; i < s - 2; ++i) {
    Put(image, x0 + i, y0 + mid, sign);
    if (plus) Put(image, x0 + mid, y0 + i, sign);
  }
  return image;
}

QImage WrapMark(int w, int h) {
  QImage image = Blank(w, h);
  const QRgb ink = qRgb(0, 0x80, 0);
  const int right = w - 3, bottom = h - 4;
  for (int y = 2; y <= bottom; ++y) Put(image, right, y, ink);
  for (int x = 2; x <= right; ++x) Put(image, x, bottom, ink);
  for (int i = 1; i <= 2; ++i) {
    Put(image, 2 + i, bottom - i, ink);
    Put(image, 2 + i, bottom + i, ink);
  }
  return image;
}

}  // namespace

int TQuillImageList::Add(const QImage& image) {
  images_.push_back(image.scaled(width_, height_));
  if (OnChange) OnChange();
  return Count() - 1;
}

void TQuillImageList::Clear() {
  images_.clear();
  if (OnChange) OnChange();
}

void TQuillImageList::Assign(const TQuillImageList& source) {
  width_ = source.width_;
  height_ = source.height_;
  images_ = source.images_;
  TransparentColor = source.TransparentColor;
  if (OnChange) OnChange();
}

void TQuillImageList::Draw(TCanvas& canvas, int x, int y, int index) const {
  if (index >= 0 && index < Count()) canvas.Draw(x, y, Image(index), TransparentColor);
}

void TQuillImageList::LoadDefaults() {
  images_.clear();
  for (int digit = 0; digit < 10; ++digit) images_.push_back(Bookmark(width_, height_, digit));
  images_.push_back(WrapMark(width_, height_));
  images_.push_back(Blank(width_, height_));
  images_.push_back(FoldButton(width_, height_, true));
  images_.push_back(FoldButton(width_, height_, false));
  if (OnChange) OnChange();
}

TQuillGutterBackground::TQuillGutterBackground(TQuillEditorGutter* gutter)
    : TQuillControlBackground(gutter), gutter_(gutter) {}

void TQuillGutterBackground::Paint() {
  TQuillControlBackground::Paint();
  if (!NeedPaint()) return;
  const TRect rect = GetPaintRect();
  PaintGutterLine(PaintBitmap().Canvas(), {0, 0, rect.Width(), rect.Height()}, gutter_->GetWidth() - 2,
                  gutter_->BackColor(), gutter_->Pen());
}

TQuillEditorGutter::TQuillEditorGutter(TQuillEditorView* editor) : editor_(editor), background_(this) {
  images_.OnChange = [this] {
    if (!loading_) ImagesChanged();
  };
  loading_ = true;
  images_.LoadDefaults();
  loading_ = false;
}

void TQuillEditorGutter::SetPen(const TPen& pen) {
  pen_ = pen;
  GutterChanged();
}

void TQuillEditorGutter::SetBrush(const TBrush& brush) {
  brush_ = brush;
  GutterChanged();
}

void TQuillEditorGutter::SetBackColor(TColor color) {
  if (color == backColor_) return;
  backColor_ = color;
  if (editor_ != nullptr && (editor_->Options() & eoPaintGutter)) editor_->Invalidate();
}

void TQuillEditorGutter::SetWidth(int width) {
  if (width == width_) return;
  width_ = width;
  if (editor_ == nullptr) return;
  editor_->PaintBackground();
  if (editor_->NeedPages()) editor_->UpdateAllPages();
  editor_->Invalidate();
}

void TQuillEditorGutter::SetIndent(int indent) {
  if (indent == indent_) return;
  indent_ = indent;
  if (editor_ == nullptr) return;
  if (editor_->NeedPages()) editor_->UpdateAllPages();
  editor_->Invalidate();
}

int TQuillEditorGutter::GetWidth() const {
  if (editor_ == nullptr || !(editor_->Options() & eoPaintGutter)) return 0;
  const TQuillLineNumbers& numbers = editor_->LineNumbers();
  if (numbers.Visible() && (numbers.Options() & lnPaintOnGutter)) return std::max(width_, editor_->GetLineNumberWidth());
  return width_;
}

void TQuillEditorGutter::GutterChanged() {
  pen_.Width = std::min(pen_.Width, 2);
  if (editor_ != nullptr) editor_->Invalidate();
  if (OnChange) OnChange(this);
}

void TQuillEditorGutter::ImagesChanged() {
  imagesChanged_ = true;
  GutterChanged();
}

void TQuillEditorGutter::InitDefaultValues() {
  pen_ = TPen();
  brush_ = TBrush{clBtnFace, TBrushStyle::bsSolid};
  backColor_ = clWindow;
  width_ = 32;
  indent_ = 0;
  GutterChanged();
}

void TQuillEditorGutter::Assign(const TQuillEditorGutter& source) {
  SetBrush(source.brush_);
  SetImages(source.images_);
  SetWidth(source.width_);
  SetIndent(source.indent_);
  SetBackground(source.background_);
  SetPen(source.pen_);
}

TRect TQuillEditorGutter::BackgroundRect() const {
  if (editor_ == nullptr || !editor_->HandleAllocated()) return {};
  TRect rect{0, 0, GetWidth(), editor_->ClientHeight() + 1};
  if (editor_->PageLayout() && editor_->Pages().Count() > 0) rect.Bottom = editor_->Pages().GetItem(0).GetRealPageHeight();
  return rect;
}

void TQuillEditorGutter::InvalidateBackground() {
  if (editor_ != nullptr) editor_->Invalidate();
}

void TQuillEditorMargin::SetPen(const TPen& pen) {
  pen_ = pen;
  MarginChanged();
}

void TQuillEditorMargin::SetPosition(int position) {
  if (position == position_) return;
  position_ = position;
  MarginChanged();
}

void TQuillEditorMargin::MarginChanged() {
  pen_.Width = std::min(pen_.Width, 2);
  if (editor_ != nullptr) editor_->Invalidate();
  if (OnChange) OnChange(this);
}

void TQuillEditorMargin::InitDefaultValues() {
  pen_ = TPen{clBtnShadow, 1, TPenStyle::psSolid, TPenMode::pmCopy};
  position_ = 80;
  MarginChanged();
}

void TQuillEditorMargin::Assign(const TQuillEditorMargin& source) {
  SetPosition(source.position_);
  SetPen(source.pen_);
}

void TQuillLineNumbers::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Update(true);
}

void TQuillLineNumbers::SetBackColor(TColor value) {
  if (value == backColor_) return;
  backColor_ = value;
  Update(true);
}

void TQuillLineNumbers::SetOptions(TQuillLineNumbersOptions value) {
  if (value == options_) return;
  options_ = value;
  Update(false);
}

void TQuillLineNumbers::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  Update(false);
}

void TQuillLineNumbers::SetAlignment(TQuillLineNumbersAlign value) {
  if (value == alignment_) return;
  alignment_ = value;
  Update(true);
}

void TQuillLineNumbers::SetIndent(int value) {
  if (value == indent_) return;
  indent_ = value;
  Update(false);
}

void TQuillLineNumbers::SetStartFrom(int value) {
  value = std::max(value, 0);
  if (value == startFrom_) return;
  startFrom_ = value;
  Update(false);
}

void TQuillLineNumbers::Update(bool repaintOnly) {
  if (editor_ == nullptr) return;
  if (!repaintOnly) {
    editor_->UpdateLineNumbers(true);
    // The text beside the numbers is narrower or wider on every page.
    if (editor_->NeedPages()) editor_->UpdateAllPages();
  }
  editor_->Invalidate();
}

void TQuillLineNumbers::Assign(const TQuillLineNumbers& source) {
  color_ = source.color_;
  backColor_ = source.backColor_;
  options_ = source.options_;
  visible_ = source.visible_;
  alignment_ = source.alignment_;
  indent_ = source.indent_;
  startFrom_ = source.startFrom_;
  Update(false);
}

}  // namespace quill
