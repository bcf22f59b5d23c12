#pragma once

// A hint with a window of its own that shows several lines of simple
// formatted text: scroll hints, template hints. A timer drives it through
// three phases: waiting to show (the hint pause), shown (until the mouse
// leaves the hint's area or the hide pause runs out) and hiding.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillRtfPainter.h"
#include "editor/QuillTimer.h"

namespace quill {

class TQuillHintWindow : public QWidget {
 public:
  TQuillHintWindow();
  ~TQuillHintWindow() override;

  const std::string& Caption() const { return caption_; }
  // Lines are split at CR LF; the window takes the size of the text.
  void SetCaption(const std::string& caption);
  // The size a caption needs: the widest line by the sum of the line
  // heights, plus 4 pixels each way.
  TPoint CalcHintSize(const std::string& caption);
  // Shows the window over Rect (4 pixels taller), kept on the screen,
  // without taking the focus.
  void ActivateHint(TRect rect, const std::string& caption);
  // The text, as the window paints it.
  void PaintContents(TCanvas& canvas);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void ParseCaption(const std::string& caption);

  std::string caption_;
  TQuillRtfPainter painter_;
  std::vector<TQuillRtfInfo*> lines_;
  TQuillFont font_;
  bool activating_ = false;
};

class TQuillHint : public TQuillComponent {
 public:
  // The desktop's hint pauses, in milliseconds.
  static constexpr int kHintPause = 500;
  static constexpr int kHintShortPause = 50;
  static constexpr int kHintHidePause = 2500;

  explicit TQuillHint(TQuillComponent* owner = nullptr);
  ~TQuillHint() override;

  bool AutoHide = true;
  bool Immediate = true;
  int Interval() const { return timer_.Interval(); }
  void SetInterval(int ms) { timer_.SetInterval(ms); }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool Visible() const;
  void SetVisible(bool visible);
  TNotifyEvent OnVisibleChanged;

  // Shows S at the mouse (a showing after a pause 20 pixels below it), or at a point.
  void ActivateHint(const std::string& s);
  void ActivateHintAtPos(TPoint point, const std::string& s);
  void CancelHint();
  TPoint GetSize(const std::string& s);

  // Set by the owner: the next showing waits only the short pause; the
  // mouse counts as inside the hint's area unless the area test is on.
  bool ShortPause = false;
  bool TestHintArea = false;
  // Where the mouse is, in screen pixels; tests put their own here.
  std::function<TPoint()> MousePos;

  // One step of the phases; the timer calls it every Interval.
  void Tick();
  bool TimerRunning() const { return timer_.Enabled() && timer_.Running(); }
  TQuillHintWindow& Window();

 protected:
  virtual void VisibleChanged();
  virtual bool IsHintInRect(const TRect& rect, TPoint point) const;

 private:
  enum Phase { Shown = 0, Hiding = 1, Waiting = 2 };
  void Activate(TPoint point, const std::string& s, int offset);
  void ShowWindow();
  void HideWindow();

  std::unique_ptr<TQuillHintWindow> window_;
  TQuillTimer timer_;
  TRect rect_;
  std::string caption_;
  Phase phase_ = Hiding;
  int ticks_ = 0;
  int offset_ = 0;
  bool shown_ = false;
};

}  // namespace quill
