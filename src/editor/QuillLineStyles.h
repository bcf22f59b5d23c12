#pragma once

// How whole lines look: named line styles (colours and a gutter image that a
// document line refers to by index) and the divider drawn between lines or
// under the caret's line.

#include <memory>
#include <string>
#include <vector>

#include "editor/QuillDrawing.h"
#include "editor/QuillEditorView.h"

namespace quill {

class TQuillLineStyles;

class TQuillLineStyle {
 public:
  explicit TQuillLineStyle(TQuillLineStyles* collection) : collection_(collection) {}

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor value);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);
  bool IgnoreColors() const { return ignoreColors_; }
  void SetIgnoreColors(bool value);
  void Assign(const TQuillLineStyle& source);

 private:
  void Repaint(bool onlyWithGutter);

  TQuillLineStyles* collection_;
  std::string name_;
  TColor color_ = clWindow;
  TColor backColor_ = clHighlight;
  int imageIndex_ = -1;
  bool ignoreColors_ = false;
};

class TQuillLineStyles {
 public:
  explicit TQuillLineStyles(TQuillEditorView* editor = nullptr) : editor_(editor) {}
  TQuillLineStyles(const TQuillLineStyles&) = delete;
  TQuillLineStyles& operator=(const TQuillLineStyles&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  TQuillLineStyle& GetItem(int index) { return *items_.at(static_cast<size_t>(index)); }
  const TQuillLineStyle& GetItem(int index) const { return *items_.at(static_cast<size_t>(index)); }
  void SetItem(int index, const TQuillLineStyle& style) { GetItem(index).Assign(style); }
  TQuillLineStyle& Add();
  void Delete(int index);
  void Clear();
  void Assign(const TQuillLineStyles& source);
  // The first style of that name, ASCII case ignored; -1 when none.
  int IndexOfName(const std::string& name) const;
  TQuillEditorView* GetOwner() const { return editor_; }
  // Line-style colours for painting: both -1 unless Index names a style that
  // does not ignore colours; the text colour only with eoInvertLineStyle.
  void GetColors(int index, TQuillEditorOptions options, TColor& color, TColor& backColor) const;

 private:
  TQuillEditorView* editor_;
  std::vector<std::unique_ptr<TQuillLineStyle>> items_;
};

enum TQuillLineDividerOption : uint8_t { ldSeparateLines = 1, ldSeparateWrapLines = 2, ldHighlightCurrentLine = 4 };
using TQuillLineDividerOptions = uint8_t;

class TQuillLineDivider {
 public:
  explicit TQuillLineDivider(TQuillEditorView* editor = nullptr) : editor_(editor) {}

  TQuillLineDividerOptions Options() const { return options_; }
  void SetOptions(TQuillLineDividerOptions options);
  const TPen& Pen() const { return pen_; }
  // Wider than 2 pixels a divider would cover the text; the width is cut to 2.
  void SetPen(const TPen& pen);
  const TBrush& Brush() const { return brush_; }
  void SetBrush(const TBrush& brush);
  void Changed();
  void Assign(const TQuillLineDivider& source);

 private:
  TQuillEditorView* editor_;
  TQuillLineDividerOptions options_ = 0;
  TPen pen_;
  TBrush brush_{clBtnShadow, TBrushStyle::bsSolid};
};

}  // namespace quill
