#include "editor/QuillScrollBar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QStyleOptionSlider>

namespace quill {

namespace {

QEvent::Type LookEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

TQuillScrollBar::Look TQuillScrollBar::CurrentLook() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  Look look;
  look.Bar = option.rect;
  look.Slider = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
  look.State = option.state;
  look.Active = option.activeSubControls;
  look.Empty = option.minimum == option.maximum;
  look.AtStart = option.sliderPosition == option.minimum;
  look.AtEnd = option.sliderPosition == option.maximum;
  return look;
}

void TQuillScrollBar::sliderChange(SliderChange change) {
  if (change == SliderOrientationChange) {
    QScrollBar::sliderChange(change);
    return;
  }
  // A hidden bar is painted whole when it shows.
  if (lookPending_ || !isVisible()) return;
  lookPending_ = true;
  // Ahead of the turn's paint, which comes with a lower priority.
  QCoreApplication::postEvent(this, new QEvent(LookEvent()), Qt::HighEventPriority);
}

bool TQuillScrollBar::event(QEvent* event) {
  if (event->type() != LookEvent()) return QScrollBar::event(event);
  lookPending_ = false;
  if (!paintedOnce_ || !(CurrentLook() == painted_)) update();
  return true;
}

void TQuillScrollBar::paintEvent(QPaintEvent* event) {
  painted_ = CurrentLook();
  paintedOnce_ = true;
  QScrollBar::paintEvent(event);
}

}  // namespace quill
