#pragma once

// The renderer of a capture graph: a child window of the component that
// paints the latest frame, scaled to its own size. Frames arrive on the
// streaming thread; the window repaints on the GUI thread, at most one repaint
// waiting at a time, so a slow screen drops frames instead of queueing them.

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

#include "videocapture/engine/CaptureGraph.h"

class TVideoWindow : public QWidget {
 public:
  explicit TVideoWindow(QWidget* owner);
  ~TVideoWindow() override;

  // What the graph's renderer node hands frames to.
  std::shared_ptr<videocapture::engine::TFrameConsumer> Sink() const;
  // Forgets the last frame: the window shows black until the next one.
  void Clear();
  QImage LatestFrame() const;

  bool FullScreen() const { return fullScreen_; }
  // Full screen takes the window out of its owner; leaving puts it back.
  void SetFullScreen(bool on);

  // A key pressed while the window has the focus; the handler may change it.
  std::function<void(int& key)> OnKey;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class FrameSlot;
  std::shared_ptr<FrameSlot> sink_;
  QWidget* owner_;
  bool fullScreen_ = false;
};
