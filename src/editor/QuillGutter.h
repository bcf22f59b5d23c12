#pragma once

// The strip left of the text and what belongs to it: the gutter with its
// bookmark images and background, the line numbers, and the right margin
// line. Each change repaints the editor; changes that move the text also
// measure the pages again.

#include <QImage>

#include <functional>
#include <vector>

#include "editor/QuillBackground.h"
#include "editor/QuillDrawing.h"
#include "editor/QuillEditorView.h"

namespace quill {

// Pictures of one size, drawn with one colour left out.
class TQuillImageList {
 public:
  TQuillImageList(int width = 12, int height = 12) : width_(width), height_(height) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }
  const QImage& Image(int index) const { return images_.at(static_cast<size_t>(index)); }
  int Add(const QImage& image);
  void Clear();
  void Assign(const TQuillImageList& source);
  // Nothing for an index outside the list.
  void Draw(TCanvas& canvas, int x, int y, int index) const;
  // The editor's own pictures: bookmarks 0 to 9, a wrapped-row mark (10), a
  // blank (11), a collapsed (12) and an expanded (13) fold button.
  void LoadDefaults();

  TColor TransparentColor = clWhite;
  std::function<void()> OnChange;

 private:
  int width_;
  int height_;
  std::vector<QImage> images_;
};

class TQuillEditorGutter;

// The gutter's picture or gradient; when it shows anything it also draws the
// gutter's edge, which would otherwise vanish under the picture.
class TQuillGutterBackground : public TQuillControlBackground {
 public:
  explicit TQuillGutterBackground(TQuillEditorGutter* gutter);
  void Paint() override;

 private:
  TQuillEditorGutter* gutter_;
};

class TQuillEditorGutter : public TQuillObject, public TQuillBackgroundOwner {
 public:
  explicit TQuillEditorGutter(TQuillEditorView* editor = nullptr);

  const TPen& Pen() const { return pen_; }
  void SetPen(const TPen& pen);
  const TBrush& Brush() const { return brush_; }
  void SetBrush(const TBrush& brush);
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor color);
  TQuillImageList& Images() { return images_; }
  void SetImages(const TQuillImageList& images) { images_.Assign(images); }
  int Width() const { return width_; }
  void SetWidth(int width);
  int Indent() const { return indent_; }
  void SetIndent(int indent);
  TQuillGutterBackground& Background() { return background_; }
  void SetBackground(const TQuillControlBackground& background) { background_.Assign(background); }
  // True once the images differ from the editor's own.
  bool ImagesChangedAfterCreate() const { return imagesChanged_; }

  // The width the gutter takes: 0 unless eoPaintGutter is set, and at least
  // the line numbers' width when they are painted on it.
  int GetWidth() const;
  void GutterChanged();
  void ImagesChanged();
  void InitDefaultValues();
  void Assign(const TQuillEditorGutter& source);
  TQuillEditorView* Editor() const { return editor_; }

  TRect BackgroundRect() const override;
  TBrush BackgroundBrush() const override { return brush_; }
  void InvalidateBackground() override;

  TNotifyEvent OnChange;

 private:
  TQuillEditorView* editor_;
  TPen pen_;
  TBrush brush_{clBtnFace, TBrushStyle::bsSolid};
  TColor backColor_ = clWindow;
  TQuillImageList images_;
  int width_ = 32;
  int indent_ = 0;
  TQuillGutterBackground background_;
  bool imagesChanged_ = false;
  bool loading_ = false;
};

class TQuillEditorMargin : public TQuillObject {
 public:
  explicit TQuillEditorMargin(TQuillEditorView* editor = nullptr) : editor_(editor) {}

  const TPen& Pen() const { return pen_; }
  void SetPen(const TPen& pen);
  // The column the margin line stands after.
  int Position() const { return position_; }
  void SetPosition(int position);
  void MarginChanged();
  void InitDefaultValues();
  void Assign(const TQuillEditorMargin& source);

  TNotifyEvent OnChange;

 private:
  TQuillEditorView* editor_;
  TPen pen_{clBtnShadow, 1, TPenStyle::psSolid, TPenMode::pmCopy};
  int position_ = 80;
};

enum TQuillLineNumbersOption : uint8_t { lnPaintOnGutter = 1, lnPaintBeyondEof = 2 };
using TQuillLineNumbersOptions = uint8_t;
enum class TQuillLineNumbersAlign : uint8_t { lnLeft, lnRight };

class TQuillLineNumbers {
 public:
  explicit TQuillLineNumbers(TQuillEditorView* editor = nullptr) : editor_(editor) {}

  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor value);
  TQuillLineNumbersOptions Options() const { return options_; }
  void SetOptions(TQuillLineNumbersOptions value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  TQuillLineNumbersAlign Alignment() const { return alignment_; }
  void SetAlignment(TQuillLineNumbersAlign value);
  int Indent() const { return indent_; }
  void SetIndent(int value);
  // Line i (from 0) shows StartFrom + i.
  int StartFrom() const { return startFrom_; }
  void SetStartFrom(int value);
  // Repaints; unless RepaintOnly, the width is computed again first.
  void Update(bool repaintOnly);
  void Assign(const TQuillLineNumbers& source);

 private:
  TQuillEditorView* editor_;
  TColor color_ = clBlack;
  TColor backColor_ = clWindow;
  TQuillLineNumbersOptions options_ = 0;
  bool visible_ = false;
  TQuillLineNumbersAlign alignment_ = TQuillLineNumbersAlign::lnLeft;
  int indent_ = 2;
  int startFrom_ = 0;
};

}  // namespace quill
