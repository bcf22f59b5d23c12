#pragma once

#include <QRect>
#include <QScrollBar>
#include <QStyle>

namespace quill {

// The editor's scroll bars. The control sets their range and position several
// times for every edit (a transcript for every line), passing through settings
// that are never seen; most edits leave a bar looking exactly as it did, and
// repainting it each time costs more than the line itself. A bar looks at
// itself once the event loop's turn is over, before the turn's painting, and
// repaints when what it shows changed: the slider's place and size, its ends,
// its state.
class TQuillScrollBar : public QScrollBar {
 public:
  explicit TQuillScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr) : QScrollBar(orientation, parent) {}

 protected:
  void sliderChange(SliderChange change) override;
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Look {
    QRect Bar, Slider;
    QStyle::State State;
    QStyle::SubControls Active;
    bool Empty = false, AtStart = false, AtEnd = false;
    bool operator==(const Look&) const = default;
  };
  Look CurrentLook() const;

  Look painted_;
  bool paintedOnce_ = false;
  bool lookPending_ = false;
};

}  // namespace quill
