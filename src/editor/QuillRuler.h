#pragma once

// The ruler along the top or the left of the editor's page: a scale in
// millimetres, inches, pixels or characters from the page's left margin,
// shaded page margins the user can drag, and on a horizontal ruler the
// paragraph indent sliders (first line, left, both, right). Each finished
// drag reports the item it changed.
//
// The mouse and painting work through plain methods (MouseDown, MouseMove,
// MouseUp, PaintTo) that the widget's events call and tests call directly.

#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "editor/QuillDrawing.h"
#include "editor/QuillEditorView.h"
#include "platform/QtCanvas.h"

namespace quill {

enum class TQuillRulerOrientation : uint8_t { roHorizontal, roVertical };
enum TQuillRulerOption : uint8_t { roDiscrete = 1, roShowSliders = 2, roFixedIndents = 4, roDrawMoveLine = 8 };
using TQuillRulerOptions = uint8_t;
enum class TQuillRulerUnits : uint8_t { erMilimeters, erInches, erPixels, erCharacters };
enum class TQuillSliderOrientation : uint8_t { toUp, toDown };
enum class TQuillSliderType : uint8_t { rtFirst, rtLeft, rtRight, rtBottom };

class TQuillRuler;

// What a ruler's change event names: a slider or a margin.
class TQuillRulerItem {
 public:
  virtual ~TQuillRulerItem() = default;
  int Indent() const { return indent_; }
  void SetIndent(int value) { indent_ = std::max(value, 0); }
  bool RightSide = false;
  bool Dragging = false;

 protected:
  int indent_ = 0;
};

// A page margin: measured from PageStart, or from PageEnd on the right side.
class TQuillRulerIndentation : public TQuillRulerItem {};

class TQuillRulerSlider : public TQuillRulerItem {
 public:
  explicit TQuillRulerSlider(TQuillSliderType type) : Type(type) {}
  virtual void PaintToCanvas(TCanvas& canvas, const TRect& rect, TQuillSliderOrientation orientation) const;

  const TQuillSliderType Type;
  TQuillSliderOrientation Orientation = TQuillSliderOrientation::toUp;
  int Top = 0;
};

class TFirstRulerSlider : public TQuillRulerSlider {
 public:
  TFirstRulerSlider() : TQuillRulerSlider(TQuillSliderType::rtFirst) {}
};
class TLeftRulerSlider : public TQuillRulerSlider {
 public:
  TLeftRulerSlider() : TQuillRulerSlider(TQuillSliderType::rtLeft) {}
};
class TRightRulerSlider : public TQuillRulerSlider {
 public:
  TRightRulerSlider() : TQuillRulerSlider(TQuillSliderType::rtRight) {}
};
// The box under the left indent: it moves the left and first-line indents together.
class TBottomRulerSlider : public TQuillRulerSlider {
 public:
  TBottomRulerSlider() : TQuillRulerSlider(TQuillSliderType::rtBottom) {}
  void PaintToCanvas(TCanvas& canvas, const TRect& rect, TQuillSliderOrientation orientation) const override;
};

// What a ruler owns of one kind of item; assigning copies the other
// collection's items, so a caller's collection never becomes the ruler's.
template <class Item>
class TQuillRulerCollection {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  Item& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  void Clear() { items_.clear(); }

 protected:
  std::vector<std::unique_ptr<Item>> items_;
};

class TQuillRulerIndentations : public TQuillRulerCollection<TQuillRulerIndentation> {
 public:
  TQuillRulerIndentation& Add(bool rightSide, int indent);
  void Assign(const TQuillRulerIndentations& source);
};

class TQuillRulerSliders : public TQuillRulerCollection<TQuillRulerSlider> {
 public:
  // A slider of the class that belongs to the type.
  TQuillRulerSlider& Add(TQuillSliderType type, TQuillSliderOrientation orientation);
  TQuillRulerSlider* Find(TQuillSliderType type) const;
  void Assign(const TQuillRulerSliders& source);
};

using TQuillRulerChangeEvent = std::function<void(TQuillRuler& ruler, TQuillRulerItem& item)>;

class TQuillRuler : public QWidget {
 public:
  explicit TQuillRuler(QWidget* parent = nullptr, TQuillRulerOrientation orientation = TQuillRulerOrientation::roHorizontal);
  ~TQuillRuler() override;

  TQuillRulerOrientation Orientation() const { return orientation_; }
  void SetOrientation(TQuillRulerOrientation value);
  int PageStart() const { return pageStart_; }
  void SetPageStart(int value);
  int PageEnd() const { return pageEnd_; }
  void SetPageEnd(int value);
  TQuillRulerOptions Options() const { return options_; }
  void SetOptions(TQuillRulerOptions value);
  TQuillRulerUnits Units() const { return units_; }
  void SetUnits(TQuillRulerUnits value);
  int PixelsPerMark() const { return pixelsPerMark_; }
  void SetPixelsPerMark(int value);
  const TQuillFont& RulerFont() const { return font_; }
  void SetRulerFont(const TQuillFont& font);

  const TQuillRulerSliders& Sliders() const { return sliders_; }
  void SetSliders(const TQuillRulerSliders& value);
  TQuillRulerSlider& AddSlider(TQuillSliderType type, TQuillSliderOrientation orientation);
  const TQuillRulerIndentations& Indentations() const { return indentations_; }
  void SetIndentations(const TQuillRulerIndentations& value);
  int LeftPageIndent() const;
  void SetLeftPageIndent(int value);
  int RightPageIndent() const;
  void SetRightPageIndent(int value);

  // Positions along the ruler, and the areas that take the mouse.
  int IndentationPos(const TQuillRulerIndentation& item) const;
  TRect IndentationBounds(const TQuillRulerIndentation& item) const;
  TRect IndentationHitArea(const TQuillRulerIndentation& item) const;
  int SliderPos(const TQuillRulerSlider& slider) const;
  TRect SliderBounds(const TQuillRulerSlider& slider) const;

  // A length snapped to the scale: 2.5 mm, a quarter inch, or down to a mark.
  int GetDiscreteInterval(int value) const;

  void MouseDown(int x, int y);
  void MouseMove(int x, int y, bool leftHeld);
  void MouseUp(int x, int y);
  // The cursor the ruler shows at a point.
  Qt::CursorShape CursorAt(int x, int y) const;
  // Where the dragged item's line stands across the parent; -1 for none.
  int MoveLinePos() const { return moveLine_; }

  void PaintTo(TCanvas& canvas);

  TQuillRulerChangeEvent OnChange;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  class MoveLine;
  bool Horizontal() const { return orientation_ == TQuillRulerOrientation::roHorizontal; }
  int Thickness() const { return Horizontal() ? height() : width(); }
  TRect Across(int from, int to) const;
  void RebuildSliders();
  void MoveSlider(TQuillRulerSlider& slider, int x);
  void MoveIndentation(int index, int coordinate);
  void DrawMoveLine(int pos);
  void PaintMark(TCanvas& canvas, int pos, const std::string& text);
  int MarkDistance(int i) const;
  int PixelsPerInch() const;

  TQuillRulerOrientation orientation_;
  TQuillRulerSliders sliders_;
  TQuillRulerIndentations indentations_;
  int pageStart_ = 0;
  int pageEnd_ = 400;
  TQuillRulerOptions options_ = roDiscrete | roShowSliders | roDrawMoveLine;
  platform::TBitmap bitmap_;
  TQuillFont font_;
  int moveLine_ = -1;
  std::unique_ptr<MoveLine> moveLineWidget_;
  TQuillRulerUnits units_ = TQuillRulerUnits::erMilimeters;
  int pixelsPerMark_ = 8;
};

enum TQuillEditorRulerOption : uint8_t { roVertRuler = 1, roHorzRuler = 2 };
using TQuillEditorRulerOptions = uint8_t;

// The editor's rulers: which are shown and in which units; the rulers are
// made when first shown and follow the current page.
class TQuillEditorRuler {
 public:
  explicit TQuillEditorRuler(TQuillEditorView* editor = nullptr) : editor_(editor) {}
  ~TQuillEditorRuler();

  TQuillEditorRulerOptions Options() const { return options_; }
  void SetOptions(TQuillEditorRulerOptions value);
  TQuillRulerUnits Units() const { return units_; }
  void SetUnits(TQuillRulerUnits value);
  TQuillRuler* HorzRuler() const { return horz_; }
  TQuillRuler* VertRuler() const { return vert_; }

  void ShowRulers();
  void RecreateRulers();
  void UpdateUnits();
  bool HorzRulerVisible() const { return (options_ & roHorzRuler) && horz_ != nullptr; }
  bool VertRulerVisible() const { return (options_ & roVertRuler) && vert_ != nullptr; }
  // Places the rulers along the editor's top and left edges.
  void LayoutRulers();
  void Assign(const TQuillEditorRuler& source) { SetOptions(source.options_); }

 private:
  TQuillRuler* MakeRuler(TQuillRulerOrientation orientation);

  TQuillEditorView* editor_;
  TQuillEditorRulerOptions options_ = 0;
  TQuillRulerUnits units_ = TQuillRulerUnits::erMilimeters;
  // Children of the editor's window, so they may go with it first.
  QPointer<TQuillRuler> horz_;
  QPointer<TQuillRuler> vert_;
};

}  // namespace quill
