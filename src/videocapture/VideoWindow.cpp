#include "videocapture/VideoWindow.h"

#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/EventLoop.h"

namespace engine = videocapture::engine;

class TVideoWindow::FrameSlot : public engine::TFrameConsumer, public std::enable_shared_from_this<FrameSlot> {
 public:
  // GUI thread only; null once the window has gone.
  TVideoWindow* window = nullptr;

  void Receive(const engine::TFrame& frame) override {
    if (frame.data == nullptr || frame.width <= 0 || frame.height <= 0) return;
    QImage image(frame.width, frame.height, QImage::Format_BGR888);
    if (image.isNull()) return;
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 3;
    for (int y = 0; y < frame.height; ++y) {
      const std::size_t offset = static_cast<std::size_t>(frame.topDown ? y : frame.height - 1 - y) * frame.stride;
      if (offset > frame.length || frame.length - offset < rowBytes) break;
      std::memcpy(image.scanLine(y), frame.data + offset, rowBytes);
    }
    {
      std::lock_guard lock(mutex_);
      latest_ = std::move(image);
    }
    if (repaintPending_.exchange(true)) return;
    platform::PostToMainThread([weak = weak_from_this()] {
      auto self = weak.lock();
      if (!self) return;
      self->repaintPending_ = false;
      if (self->window) self->window->update();
    });
  }

  // A copy of its own: a picture the streaming thread replaces is freed
  // there, and only what was read under the lock is ordered before that
  // (Qt's shared count, outside this program's build, orders nothing the
  // thread checker can see).
  QImage Latest() const {
    std::lock_guard lock(mutex_);
    return latest_.copy();
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    latest_ = QImage();
  }

 private:
  mutable std::mutex mutex_;
  QImage latest_;
  std::atomic<bool> repaintPending_{false};
};

TVideoWindow::TVideoWindow(QWidget* owner) : QWidget(owner), sink_(std::make_shared<FrameSlot>()), owner_(owner) {
  sink_->window = this;
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::ClickFocus);
  platform::PrepareMainThreadPosting();
}

TVideoWindow::~TVideoWindow() { sink_->window = nullptr; }

std::shared_ptr<engine::TFrameConsumer> TVideoWindow::Sink() const { return sink_; }

void TVideoWindow::Clear() {
  sink_->Clear();
  update();
}

QImage TVideoWindow::LatestFrame() const { return sink_->Latest(); }

void TVideoWindow::SetFullScreen(bool on) {
  if (on == fullScreen_) return;
  fullScreen_ = on;
  if (on) {
    setParent(nullptr, Qt::Window);
    showFullScreen();
    // Under a window manager a new top-level window takes no keys until it
    // is the active one; Escape must reach it.
    raise();
    activateWindow();
    setFocus();
  } else {
    showNormal();
    setParent(owner_, Qt::Widget);
    show();
  }
}

void TVideoWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage frame = sink_->Latest();
  if (frame.isNull()) painter.fillRect(rect(), Qt::black);
  else painter.drawImage(rect(), frame);
}

void TVideoWindow::keyPressEvent(QKeyEvent* event) {
  int key = event->key() == Qt::Key_Escape ? 27 : event->text().isEmpty() ? 0 : event->text().at(0).toLatin1();
  if (OnKey && key != 0) OnKey(key);
  else QWidget::keyPressEvent(event);
}
