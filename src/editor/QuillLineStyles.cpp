#include "editor/QuillLineStyles.h"

#include <algorithm>
#include <cctype>

namespace quill {

namespace {
bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}
}  // namespace

void TQuillLineStyle::Repaint(bool onlyWithGutter) {
  TQuillEditorView* editor = collection_ != nullptr ? collection_->GetOwner() : nullptr;
  if (editor != nullptr && (!onlyWithGutter || (editor->Options() & eoPaintGutter))) editor->Invalidate();
}

void TQuillLineStyle::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Repaint(false);
}

void TQuillLineStyle::SetBackColor(TColor value) {
  if (value == backColor_) return;
  backColor_ = value;
  Repaint(false);
}

void TQuillLineStyle::SetImageIndex(int value) {
  if (value == imageIndex_) return;
  imageIndex_ = value;
  Repaint(true);
}

void TQuillLineStyle::SetIgnoreColors(bool value) {
  if (value == ignoreColors_) return;
  ignoreColors_ = value;
  Repaint(false);
}

void TQuillLineStyle::Assign(const TQuillLineStyle& source) {
  SetColor(source.color_);
  SetBackColor(source.backColor_);
  name_ = source.name_;
  SetImageIndex(source.imageIndex_);
  SetIgnoreColors(source.ignoreColors_);
}

TQuillLineStyle& TQuillLineStyles::Add() {
  items_.push_back(std::make_unique<TQuillLineStyle>(this));
  return *items_.back();
}

void TQuillLineStyles::Delete(int index) { items_.erase(items_.begin() + index); }

void TQuillLineStyles::Clear() { items_.clear(); }

void TQuillLineStyles::Assign(const TQuillLineStyles& source) {
  Clear();
  for (const auto& item : source.items_) Add().Assign(*item);
}

int TQuillLineStyles::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(GetItem(i).Name(), name)) return i;
  return -1;
}

void TQuillLineStyles::GetColors(int index, TQuillEditorOptions options, TColor& color, TColor& backColor) const {
  color = backColor = clNone;
  if (index < 0 || index >= Count() || GetItem(index).IgnoreColors()) return;
  backColor = GetItem(index).BackColor();
  if (options & eoInvertLineStyle) color = GetItem(index).Color();
}

void TQuillLineDivider::SetOptions(TQuillLineDividerOptions options) {
  if (options == options_) return;
  options_ = options;
  Changed();
}

void TQuillLineDivider::SetPen(const TPen& pen) {
  pen_ = pen;
  pen_.Width = std::min(pen_.Width, 2);
  Changed();
}

void TQuillLineDivider::SetBrush(const TBrush& brush) {
  brush_ = brush;
  Changed();
}

void TQuillLineDivider::Changed() {
  if (editor_ != nullptr) editor_->Invalidate();
}

void TQuillLineDivider::Assign(const TQuillLineDivider& source) {
  pen_ = source.pen_;
  brush_ = source.brush_;
  options_ = source.options_;
  Changed();
}

}  // namespace quill
