#include "editor/QuillHint.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

#include <algorithm>

#include "platform/QtCanvas.h"

namespace quill {

// ---------------------------------------------------------------------------
// TQuillHintWindow

TQuillHintWindow::TQuillHintWindow()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint), painter_(platform::ScreenCanvas()) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  font_ = FontFromQt(QToolTip::font());
  font_.Color = clInfoText;
  painter_.AssignFont(font_);
}

TQuillHintWindow::~TQuillHintWindow() = default;

void TQuillHintWindow::ParseCaption(const std::string& caption) {
  lines_.clear();
  painter_.DestroyItems();
  size_t from = 0;
  for (;;) {
    const size_t end = caption.find("\r\n", from);
    lines_.push_back(painter_.AddRtfString(caption.substr(from, end == std::string::npos ? std::string::npos : end - from)));
    if (end == std::string::npos) break;
    from = end + 2;
  }
}

TPoint TQuillHintWindow::CalcHintSize(const std::string& caption) {
  ParseCaption(caption);
  int width = 0, height = 0;
  for (const TQuillRtfInfo* line : lines_) {
    width = std::max(width, line->Width);
    height += line->Height;
  }
  ParseCaption(caption_);
  return {width + 4, height + 4};
}

void TQuillHintWindow::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  if (activating_) {
    ParseCaption(caption_);
    return;
  }
  const TPoint size = CalcHintSize(caption_);
  resize(size.X, size.Y);
  update();
}

void TQuillHintWindow::ActivateHint(TRect rect, const std::string& caption) {
  activating_ = true;
  SetCaption(caption);
  activating_ = false;
  rect.Bottom += 4;
  QRect screen(0, 0, 1 << 20, 1 << 20);
  if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry();
  if (rect.Bottom > screen.bottom() + 1) rect = platform::OffsetRect(rect, 0, screen.bottom() + 1 - rect.Bottom);
  if (rect.Right > screen.right() + 1) rect = platform::OffsetRect(rect, screen.right() + 1 - rect.Right, 0);
  rect = platform::OffsetRect(rect, std::max(0, -rect.Left), std::max(0, -rect.Top));
  setGeometry(rect.Left, rect.Top, rect.Width(), rect.Height());
  show();
  update();
}

void TQuillHintWindow::PaintContents(TCanvas& canvas) {
  const int w = width(), h = height();
  canvas.Brush() = TBrush{clInfoBk, TBrushStyle::bsSolid};
  canvas.FillRect({0, 0, w, h});
  canvas.SetFont(CanvasFont(font_));
  canvas.SetTextColor(clInfoText);
  canvas.SetBkMode(platform::TBkMode::bkTransparent);
  int y = 2;
  for (const TQuillRtfInfo* line : lines_) {
    painter_.PaintToCanvas(canvas, {2, y, w - 2, y + line->Height}, line, false, false);
    y += line->Height;
  }
  // A raised outer edge: light above and left, dark below and right.
  canvas.Pen() = TPen{platform::cl3DLight, 1, TPenStyle::psSolid, TPenMode::pmCopy};
  canvas.MoveTo(0, h - 1);
  canvas.LineTo(0, 0);
  canvas.LineTo(w, 0);
  canvas.Pen().Color = platform::cl3DDkShadow;
  canvas.MoveTo(w - 1, 0);
  canvas.LineTo(w - 1, h - 1);
  canvas.LineTo(-1, h - 1);
}

void TQuillHintWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  platform::TQtCanvas canvas(p);
  PaintContents(canvas);
}

// ---------------------------------------------------------------------------
// TQuillHint

TQuillHint::TQuillHint(TQuillComponent* owner) : TQuillComponent(owner) {
  timer_.SetEnabled(false);
  timer_.SetInterval(50);
  timer_.SetOnTimer([this](TQuillObject*) { Tick(); });
  MousePos = [] {
    const QPoint p = QCursor::pos();
    return TPoint{p.x(), p.y()};
  };
}

TQuillHint::~TQuillHint() = default;

TQuillHintWindow& TQuillHint::Window() {
  if (!window_) window_ = std::make_unique<TQuillHintWindow>();
  return *window_;
}

bool TQuillHint::Visible() const { return shown_; }

void TQuillHint::SetVisible(bool visible) {
  if (visible) ActivateHint(caption_);
  else CancelHint();
}

void TQuillHint::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (shown_) Window().SetCaption(caption);
}

TPoint TQuillHint::GetSize(const std::string& s) { return Window().CalcHintSize(s); }

bool TQuillHint::IsHintInRect(const TRect& rect, TPoint point) const {
  if (!TestHintArea) return true;
  const TRect area{rect.Left, rect.Top - rect.Height(), rect.Right, rect.Bottom};
  return area.Contains(point);
}

void TQuillHint::VisibleChanged() {
  if (OnVisibleChanged) OnVisibleChanged(this);
}

void TQuillHint::ActivateHintAtPos(TPoint point, const std::string& s) { Activate(point, s, 0); }

void TQuillHint::ActivateHint(const std::string& s) {
  // An immediate hint shows at the mouse; the offset moves later showings.
  Activate(MousePos(), s, 0);
  offset_ = 20;
}

void TQuillHint::Activate(TPoint point, const std::string& s, int offset) {
  if (s.empty()) {
    CancelHint();
    return;
  }
  const TPoint size = GetSize(s);
  rect_ = {point.X, point.Y, point.X + size.X + 8, point.Y + size.Y};
  caption_ = s;
  offset_ = offset;
  phase_ = Waiting;
  timer_.SetEnabled(true);
  if (Immediate) Tick();
}

void TQuillHint::CancelHint() {
  HideWindow();
  ticks_ = 0;
  timer_.SetEnabled(false);
}

void TQuillHint::ShowWindow() {
  Window().ActivateHint(platform::OffsetRect(rect_, 0, offset_), caption_);
  if (!shown_) {
    shown_ = true;
    VisibleChanged();
  }
}

void TQuillHint::HideWindow() {
  if (window_) window_->hide();
  if (shown_) {
    shown_ = false;
    VisibleChanged();
  }
}

void TQuillHint::Tick() {
  ++ticks_;
  const int elapsed = Interval() * ticks_;
  const bool inside = IsHintInRect(rect_, MousePos());
  switch (phase_) {
    case Waiting: {
      if (AutoHide && !inside) {
        phase_ = Hiding;
        break;
      }
      const int pause = shown_ || ShortPause ? kHintShortPause : kHintPause;
      if (elapsed >= pause || Immediate) {
        ShowWindow();
        ticks_ = 0;
        phase_ = Shown;
      }
      break;
    }
    case Shown:
      if (AutoHide && (!inside || elapsed > kHintHidePause)) {
        HideWindow();
        phase_ = Hiding;
      }
      break;
    case Hiding:
      HideWindow();
      ticks_ = 0;
      if (!inside) timer_.SetEnabled(false);
      break;
  }
}

}  // namespace quill
