#include "editor/QuillRuler.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "editor/QuillPainter.h"

namespace quill {

namespace {

constexpr int kThickness = 26;
constexpr int kLength = 400;
// Sliders and margins never come closer than this to each other.
constexpr int kMinGap = 40;

int RoundDiv(int64_t a, int64_t b) {
  const int64_t q = (2 * a + (a >= 0 ? b : -b)) / (2 * b);
  return static_cast<int>(q);
}

bool LeftSide(const TQuillRulerSlider& s) { return s.Type != TQuillSliderType::rtRight; }

}  // namespace

// ---------------------------------------------------------------------------
// Sliders

void TQuillRulerSlider::PaintToCanvas(TCanvas& canvas, const TRect& r, TQuillSliderOrientation orientation) const {
  const int mid = (r.Left + r.Right - 1) / 2, half = r.Top + (r.Bottom - r.Top) / 2, right = r.Right - 1,
            bottom = r.Bottom - 1;
  canvas.Brush() = TBrush{clBtnFace, TBrushStyle::bsSolid};
  canvas.Pen() = TPen{clWindowText, 1, TPenStyle::psSolid, TPenMode::pmCopy};
  if (orientation == TQuillSliderOrientation::toDown) {
    const TPoint points[] = {{r.Left, r.Top}, {right, r.Top}, {right, half}, {mid, bottom}, {r.Left, half}};
    canvas.Polygon(points);
  } else {
    const TPoint points[] = {{r.Left, bottom}, {r.Left, half}, {mid, r.Top}, {right, half}, {right, bottom}};
    canvas.Polygon(points);
  }
}

void TBottomRulerSlider::PaintToCanvas(TCanvas& canvas, const TRect& r, TQuillSliderOrientation) const {
  canvas.Brush() = TBrush{clBtnFace, TBrushStyle::bsSolid};
  canvas.Pen() = TPen{clWindowText, 1, TPenStyle::psSolid, TPenMode::pmCopy};
  canvas.Rectangle(r);
}

// ---------------------------------------------------------------------------
// Collections

TQuillRulerIndentation& TQuillRulerIndentations::Add(bool rightSide, int indent) {
  items_.push_back(std::make_unique<TQuillRulerIndentation>());
  TQuillRulerIndentation& item = *items_.back();
  item.RightSide = rightSide;
  item.SetIndent(indent);
  return item;
}

void TQuillRulerIndentations::Assign(const TQuillRulerIndentations& source) {
  if (&source == this) return;
  Clear();
  for (const auto& item : source) Add(item->RightSide, item->Indent());
}

TQuillRulerSlider& TQuillRulerSliders::Add(TQuillSliderType type, TQuillSliderOrientation orientation) {
  std::unique_ptr<TQuillRulerSlider> slider;
  switch (type) {
    case TQuillSliderType::rtFirst: slider = std::make_unique<TFirstRulerSlider>(); break;
    case TQuillSliderType::rtLeft: slider = std::make_unique<TLeftRulerSlider>(); break;
    case TQuillSliderType::rtRight: slider = std::make_unique<TRightRulerSlider>(); break;
    case TQuillSliderType::rtBottom: slider = std::make_unique<TBottomRulerSlider>(); break;
  }
  slider->Orientation = orientation;
  items_.push_back(std::move(slider));
  return *items_.back();
}

TQuillRulerSlider* TQuillRulerSliders::Find(TQuillSliderType type) const {
  for (const auto& s : items_)
    if (s->Type == type) return s.get();
  return nullptr;
}

void TQuillRulerSliders::Assign(const TQuillRulerSliders& source) {
  if (&source == this) return;
  Clear();
  for (const auto& item : source) {
    TQuillRulerSlider& slider = Add(item->Type, item->Orientation);
    slider.RightSide = item->RightSide;
    slider.SetIndent(item->Indent());
    slider.Top = item->Top;
  }
}

// A dotted line across the ruler's parent where the dragged item would land.
// It is a child window of its own: a widget cannot be drawn on outside its
// paint, so the line is shown and moved rather than drawn and erased.
class TQuillRuler::MoveLine : public QWidget {
 public:
  explicit MoveLine(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    platform::TQtCanvas canvas(p);
    canvas.Pen() = TPen{clWindowText, 1, TPenStyle::psDot, TPenMode::pmCopy};
    const bool vertical = width() <= height();
    canvas.MoveTo(0, 0);
    canvas.LineTo(vertical ? 0 : width(), vertical ? height() : 0);
  }
};

// ---------------------------------------------------------------------------
// TQuillRuler

TQuillRuler::TQuillRuler(QWidget* parent, TQuillRulerOrientation orientation)
    : QWidget(parent), orientation_(orientation) {
  font_.Name = "Times New Roman";
  font_.Size = 7;
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  indentations_.Add(false, 36);
  indentations_.Add(true, 36);
  if (Horizontal()) resize(kLength, kThickness);
  else resize(kThickness, kLength);
  RebuildSliders();
}

TQuillRuler::~TQuillRuler() = default;

void TQuillRuler::SetOrientation(TQuillRulerOrientation value) {
  if (value == orientation_) return;
  orientation_ = value;
  if (Horizontal()) {
    pageStart_ = 0;
    pageEnd_ = kLength;
    resize(kLength, kThickness);
  } else {
    resize(kThickness, kLength);
  }
  RebuildSliders();
  update();
}

void TQuillRuler::SetPageStart(int value) {
  if (value == pageStart_) return;
  pageStart_ = value;
  update();
}

void TQuillRuler::SetPageEnd(int value) {
  if (value == pageEnd_) return;
  pageEnd_ = value;
  update();
}

void TQuillRuler::SetOptions(TQuillRulerOptions value) {
  if (value == options_) return;
  const bool sliders = (value ^ options_) & roShowSliders;
  options_ = value;
  if (sliders) RebuildSliders();
  update();
}

void TQuillRuler::SetUnits(TQuillRulerUnits value) {
  if (value == units_) return;
  units_ = value;
  update();
}

void TQuillRuler::SetPixelsPerMark(int value) {
  value = std::max(value, 1);
  if (value == pixelsPerMark_) return;
  pixelsPerMark_ = value;
  if (units_ == TQuillRulerUnits::erPixels || units_ == TQuillRulerUnits::erCharacters) update();
}

void TQuillRuler::SetRulerFont(const TQuillFont& font) {
  font_ = font;
  update();
}

void TQuillRuler::SetSliders(const TQuillRulerSliders& value) {
  sliders_.Assign(value);
  update();
}

void TQuillRuler::SetIndentations(const TQuillRulerIndentations& value) {
  indentations_.Assign(value);
  update();
}

void TQuillRuler::RebuildSliders() {
  sliders_.Clear();
  if (!Horizontal() || !(options_ & roShowSliders)) return;
  AddSlider(TQuillSliderType::rtFirst, TQuillSliderOrientation::toDown).Top = 3;
  TQuillRulerSlider& right = AddSlider(TQuillSliderType::rtRight, TQuillSliderOrientation::toUp);
  right.RightSide = true;
  right.Top = height() - 15;
  AddSlider(TQuillSliderType::rtLeft, TQuillSliderOrientation::toUp).Top = height() - 15;
  AddSlider(TQuillSliderType::rtBottom, TQuillSliderOrientation::toUp).Top = height() - 8;
}

TQuillRulerSlider& TQuillRuler::AddSlider(TQuillSliderType type, TQuillSliderOrientation orientation) {
  return sliders_.Add(type, orientation);
}

int TQuillRuler::LeftPageIndent() const { return indentations_.Count() > 0 ? indentations_.Items(0).Indent() : 0; }
int TQuillRuler::RightPageIndent() const { return indentations_.Count() > 1 ? indentations_.Items(1).Indent() : 0; }

void TQuillRuler::SetLeftPageIndent(int value) {
  if (indentations_.Count() < 1) return;
  indentations_.Items(0).SetIndent(value);
  update();
}

void TQuillRuler::SetRightPageIndent(int value) {
  if (indentations_.Count() < 2) return;
  indentations_.Items(1).SetIndent(value);
  update();
}

TRect TQuillRuler::Across(int from, int to) const {
  return Horizontal() ? TRect{from, 0, to, height()} : TRect{0, from, width(), to};
}

int TQuillRuler::IndentationPos(const TQuillRulerIndentation& item) const {
  return item.RightSide ? pageEnd_ - item.Indent() : pageStart_ + item.Indent();
}

TRect TQuillRuler::IndentationBounds(const TQuillRulerIndentation& item) const {
  return item.RightSide ? Across(pageEnd_ - item.Indent(), pageEnd_) : Across(pageStart_, pageStart_ + item.Indent());
}

TRect TQuillRuler::IndentationHitArea(const TQuillRulerIndentation& item) const {
  const int pos = IndentationPos(item);
  return Across(pos - 4, pos + 5);
}

int TQuillRuler::SliderPos(const TQuillRulerSlider& slider) const {
  return slider.RightSide ? pageEnd_ - RightPageIndent() - slider.Indent() : pageStart_ + LeftPageIndent() + slider.Indent();
}

TRect TQuillRuler::SliderBounds(const TQuillRulerSlider& slider) const {
  const int pos = SliderPos(slider);
  return {pos - 5, slider.Top, pos + 6, slider.Top + 8};
}

int TQuillRuler::PixelsPerInch() const { return std::max(1, DeviceCaps().X); }

int TQuillRuler::GetDiscreteInterval(int value) const {
  if (!(options_ & roDiscrete)) return value;
  const int ppi = PixelsPerInch();
  switch (units_) {
    case TQuillRulerUnits::erMilimeters:
      return RoundDiv(int64_t{RoundDiv(int64_t{value} * 254, int64_t{ppi} * 25)} * ppi * 25, 254);
    case TQuillRulerUnits::erInches: return RoundDiv(int64_t{RoundDiv(int64_t{value} * 4, ppi)} * ppi, 4);
    case TQuillRulerUnits::erPixels:
    case TQuillRulerUnits::erCharacters: return value - value % pixelsPerMark_;
  }
  return value;
}

// ---- dragging ----

void TQuillRuler::MouseDown(int x, int y) {
  moveLine_ = -1;
  const TPoint p{x, y};
  for (auto& slider : sliders_) {
    if (SliderBounds(*slider).Contains(p)) {
      slider->Dragging = true;
      setCursor(Qt::ArrowCursor);
      return;
    }
  }
  for (auto& item : indentations_) {
    if (IndentationHitArea(*item).Contains(p)) {
      item->Dragging = true;
      return;
    }
  }
}

void TQuillRuler::MouseMove(int x, int y, bool leftHeld) {
  if (!leftHeld) return;
  for (auto& slider : sliders_) {
    if (slider->Dragging) {
      MoveSlider(*slider, x);
      return;
    }
  }
  if (options_ & roFixedIndents) return;
  for (int i = 0; i < indentations_.Count(); ++i) {
    if (indentations_.Items(i).Dragging) {
      MoveIndentation(i, Horizontal() ? x : y);
      return;
    }
  }
}

void TQuillRuler::MoveSlider(TQuillRulerSlider& slider, int x) {
  const int textStart = pageStart_ + LeftPageIndent();
  if (LeftSide(slider)) {
    for (auto& other : sliders_)
      if (!LeftSide(*other)) x = std::min(x, pageEnd_ - RightPageIndent() - other->Indent() - kMinGap);
    const int before = slider.Indent();
    slider.SetIndent(GetDiscreteInterval(x - textStart));
    const int delta = slider.Indent() - before;
    if (slider.Type == TQuillSliderType::rtLeft) {
      if (TQuillRulerSlider* bottom = sliders_.Find(TQuillSliderType::rtBottom)) bottom->SetIndent(slider.Indent());
    } else if (slider.Type == TQuillSliderType::rtBottom) {
      if (TQuillRulerSlider* left = sliders_.Find(TQuillSliderType::rtLeft)) left->SetIndent(slider.Indent());
      if (TQuillRulerSlider* first = sliders_.Find(TQuillSliderType::rtFirst)) first->SetIndent(first->Indent() + delta);
    }
  } else {
    for (auto& other : sliders_)
      if (LeftSide(*other)) x = std::max(x, LeftPageIndent() + pageStart_ + other->Indent() + kMinGap);
    const int textWidth = pageEnd_ - RightPageIndent() - textStart;
    slider.SetIndent(textWidth - GetDiscreteInterval(x - textStart));
  }
  DrawMoveLine(SliderPos(slider));
  update();
}

void TQuillRuler::MoveIndentation(int index, int coordinate) {
  TQuillRulerIndentation& item = indentations_.Items(index);
  if (item.RightSide) {
    int indent = pageEnd_ - coordinate;
    if (index > 0) indent = std::min(indent, pageEnd_ - IndentationPos(indentations_.Items(index - 1)) - kMinGap);
    item.SetIndent(GetDiscreteInterval(std::max(indent, 2)));
  } else {
    if (index + 1 < indentations_.Count())
      coordinate = std::min(coordinate, IndentationPos(indentations_.Items(index + 1)) - kMinGap);
    item.SetIndent(GetDiscreteInterval(std::max(coordinate - pageStart_, 2)));
  }
  DrawMoveLine(IndentationPos(item));
  update();
}

void TQuillRuler::MouseUp(int, int) {
  DrawMoveLine(-1);
  // By index: a handler may change the collections it is told about.
  for (int i = 0; i < sliders_.Count(); ++i)
    if (sliders_.Items(i).Dragging && OnChange) OnChange(*this, sliders_.Items(i));
  for (int i = 0; i < indentations_.Count(); ++i)
    if (indentations_.Items(i).Dragging && OnChange) OnChange(*this, indentations_.Items(i));
  for (auto& slider : sliders_) slider->Dragging = false;
  for (auto& item : indentations_) item->Dragging = false;
}

void TQuillRuler::DrawMoveLine(int pos) {
  if (!(options_ & roDrawMoveLine) && pos >= 0) return;
  moveLine_ = pos;
  QWidget* parent = parentWidget();
  if (parent == nullptr) return;
  if (pos < 0) {
    if (moveLineWidget_) moveLineWidget_->hide();
    return;
  }
  if (!moveLineWidget_) moveLineWidget_ = std::make_unique<MoveLine>(parent);
  const QRect inner = parent->contentsRect();
  if (Horizontal()) {
    const int x = geometry().left() + pos;
    moveLineWidget_->setGeometry(x, geometry().bottom() + 1, 1, std::max(0, inner.bottom() - geometry().bottom()));
  } else {
    const int y = geometry().top() + pos;
    moveLineWidget_->setGeometry(geometry().right() + 1, y, std::max(0, inner.right() - geometry().right()), 1);
  }
  moveLineWidget_->show();
  moveLineWidget_->raise();
}

Qt::CursorShape TQuillRuler::CursorAt(int x, int y) const {
  const TPoint p{x, y};
  if (options_ & roFixedIndents) return Qt::ArrowCursor;
  for (const auto& slider : sliders_)
    if (SliderBounds(*slider).Contains(p)) return Qt::ArrowCursor;
  for (const auto& item : indentations_)
    if (IndentationHitArea(*item).Contains(p)) return Horizontal() ? Qt::SizeHorCursor : Qt::SizeVerCursor;
  return Qt::ArrowCursor;
}

// ---- painting ----

int TQuillRuler::MarkDistance(int i) const {
  const int ppi = PixelsPerInch();
  switch (units_) {
    case TQuillRulerUnits::erMilimeters: return static_cast<int>(int64_t{i} * 25 * ppi / 254);
    case TQuillRulerUnits::erInches: return i * ppi / 4;
    case TQuillRulerUnits::erPixels: return i * pixelsPerMark_;
    case TQuillRulerUnits::erCharacters: return i * pixelsPerMark_ + pixelsPerMark_ / 2;
  }
  return i;
}

void TQuillRuler::PaintMark(TCanvas& canvas, int pos, const std::string& text) {
  const int w = canvas.TextWidth(text), h = canvas.TextHeight();
  if (Horizontal()) canvas.TextOut(pos - w / 2, (Thickness() - h) / 2, text);
  else canvas.TextOut((Thickness() - h) / 2, pos + w / 2, text);
}

void TQuillRuler::PaintTo(TCanvas& canvas) {
  const int w = width(), h = height(), thick = Thickness();
  canvas.Brush() = TBrush{clWindow, TBrushStyle::bsSolid};
  canvas.FillRect({0, 0, w, h});
  for (const auto& item : indentations_) {
    const TRect bounds = IndentationBounds(*item);
    canvas.Brush().Color = clBtnShadow;
    canvas.FillRect(bounds);
    const int edge = IndentationPos(*item);
    canvas.Brush().Color = clBtnFace;
    canvas.FillRect(item->RightSide ? Across(edge, edge + 2) : Across(edge - 2, edge));
  }
  canvas.Brush().Color = clBtnFace;
  const int length = Horizontal() ? w : h;
  auto band = [&](int from, int to, int across0, int across1) {
    canvas.FillRect(Horizontal() ? TRect{from, across0, to, across1} : TRect{across0, from, across1, to});
  };
  band(0, length, 0, 5);
  band(0, length, thick - 5, thick);
  band(0, pageStart_, 0, thick);
  band(pageEnd_, length, 0, thick);

  TCanvasFont font = CanvasFont(font_);
  if (!Horizontal()) {
    font.Escapement = 900;
    if (font.Name == "Default") font.Name = QFont().defaultFamily().toStdString();
  }
  canvas.SetFont(font);
  canvas.SetTextColor(clWindowText);
  canvas.SetBkMode(platform::TBkMode::bkTransparent);
  const int zero = pageStart_ + LeftPageIndent();
  auto label = [&](int i) -> std::string {
    if (i % 4 == 0) return std::to_string(units_ == TQuillRulerUnits::erCharacters ? i : i / 4);
    return i % 2 == 0 ? "|" : "\xB7";
  };
  for (int i = 1; zero + MarkDistance(i) < pageEnd_; ++i) PaintMark(canvas, zero + MarkDistance(i), label(i));
  for (int i = 1; zero - MarkDistance(i) > pageStart_; ++i) PaintMark(canvas, zero - MarkDistance(i), label(i));

  if (Horizontal())
    for (const auto& slider : sliders_) slider->PaintToCanvas(canvas, SliderBounds(*slider), slider->Orientation);
}

void TQuillRuler::paintEvent(QPaintEvent*) {
  bitmap_.SetSize(width(), height());
  PaintTo(bitmap_.Canvas());
  QPainter p(this);
  p.drawImage(0, 0, bitmap_.Image());
}

void TQuillRuler::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) MouseDown(event->position().toPoint().x(), event->position().toPoint().y());
}

void TQuillRuler::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  setCursor(CursorAt(p.x(), p.y()));
  MouseMove(p.x(), p.y(), (event->buttons() & Qt::LeftButton) != 0);
}

void TQuillRuler::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) MouseUp(event->position().toPoint().x(), event->position().toPoint().y());
}

// ---------------------------------------------------------------------------
// TQuillEditorRuler

TQuillEditorRuler::~TQuillEditorRuler() {
  delete horz_;
  delete vert_;
}

void TQuillEditorRuler::SetOptions(TQuillEditorRulerOptions value) {
  if (value == options_) return;
  options_ = value;
  ShowRulers();
}

void TQuillEditorRuler::SetUnits(TQuillRulerUnits value) {
  if (value == units_) return;
  units_ = value;
  UpdateUnits();
}

TQuillRuler* TQuillEditorRuler::MakeRuler(TQuillRulerOrientation orientation) {
  auto* ruler = new TQuillRuler(editor_ != nullptr ? editor_->Widget() : nullptr, orientation);
  ruler->OnChange = [this](TQuillRuler& r, TQuillRulerItem& item) {
    if (editor_ == nullptr) return;
    if (auto* slider = dynamic_cast<TQuillRulerSlider*>(&item)) editor_->SliderChanged(r, *slider);
    else editor_->RulerChanged(r, dynamic_cast<TQuillRulerIndentation*>(&item));
  };
  ruler->show();
  return ruler;
}

void TQuillEditorRuler::ShowRulers() {
  if (options_ & roHorzRuler) {
    if (horz_ == nullptr) horz_ = MakeRuler(TQuillRulerOrientation::roHorizontal);
  } else {
    delete horz_;
  }
  if (options_ & roVertRuler) {
    if (vert_ == nullptr) vert_ = MakeRuler(TQuillRulerOrientation::roVertical);
  } else {
    delete vert_;
  }
  LayoutRulers();
  UpdateUnits();
  if (editor_ != nullptr) {
    editor_->UpdateDefaultPage();
    editor_->UpdateRulers();
  }
}

void TQuillEditorRuler::RecreateRulers() {
  delete horz_;
  delete vert_;
  ShowRulers();
}

void TQuillEditorRuler::UpdateUnits() {
  for (TQuillRuler* ruler : {horz_.data(), vert_.data()}) {
    if (ruler == nullptr) continue;
    if (units_ == TQuillRulerUnits::erCharacters && editor_ != nullptr) {
      TCustomQuillPainter& painter = editor_->Painter();
      ruler->SetPixelsPerMark(ruler == horz_ ? painter.GetDefaultCharWidth() : painter.GetDefaultLineHeight());
    }
    ruler->SetUnits(units_);
  }
}

void TQuillEditorRuler::LayoutRulers() {
  if (editor_ == nullptr) return;
  const int width = editor_->ClientWidth(), height = editor_->ClientHeight();
  const int top = horz_ != nullptr ? horz_->height() : 0;
  if (horz_ != nullptr) horz_->setGeometry(0, 0, width, horz_->height());
  if (vert_ != nullptr) vert_->setGeometry(0, top, vert_->width(), std::max(0, height - top));
}

}  // namespace quill
