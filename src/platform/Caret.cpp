#include "platform/Caret.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace platform {

class TCaret::Widget : public QWidget {
 public:
  explicit Widget(QWidget* parent) : QWidget(parent) {
    // Transparent to the mouse and drawn over whatever the window painted.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    blink_.setInterval(std::max(QApplication::cursorFlashTime() / 2, 1));
    connect(&blink_, &QTimer::timeout, this, [this] {
      on_ = !on_;
      update();
    });
  }

  // Each placement starts a blink period with the caret on, so a caret that
  // just moved is always seen.
  //
  // A caret already on and in place shows the right pixels: the window
  // paints it again over whatever it repaints beneath it, so an editor that
  // hides and shows it around each change costs no paint of its own.
  void Restart() {
    if (QApplication::cursorFlashTime() > 0) blink_.start();
    if (on_) return;
    on_ = true;
    update();
  }
  void Stop() { blink_.stop(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!on_) return;
    QPainter p(this);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.fillRect(rect(), Qt::white);
  }

 private:
  QTimer blink_;
  bool on_ = true;
};

TCaret::TCaret(QWidget* window) : window_(window) {}

TCaret::~TCaret() = default;

void TCaret::Create(int width, int height) {
  size_ = {width, height};
  created_ = true;
  hidden_ = 1;
  if (!widget_) widget_ = std::make_unique<Widget>(window_);
  Update();
}

void TCaret::Destroy() {
  created_ = false;
  hidden_ = 0;
  Update();
}

void TCaret::Show() {
  if (!created_ || hidden_ == 0) return;
  --hidden_;
  Update();
}

void TCaret::Hide() {
  if (!created_) return;
  ++hidden_;
  Update();
}

bool TCaret::Visible() const { return created_ && hidden_ == 0 && size_.X > 0 && size_.Y > 0; }

void TCaret::SetPos(int x, int y) {
  if (pos_ == TPoint{x, y}) return;
  pos_ = {x, y};
  Update();
}

void TCaret::Update() {
  if (!widget_ || updatePending_) return;
  // An editor hides and shows its caret around every change; the widget
  // follows once the turn of the event loop is over, which is all the screen
  // ever shows.
  updatePending_ = true;
  QMetaObject::invokeMethod(
      widget_.get(),
      [this] {
        updatePending_ = false;
        Apply();
      },
      Qt::QueuedConnection);
}

void TCaret::Apply() {
  if (!Visible()) {
    widget_->Stop();
    widget_->hide();
    return;
  }
  widget_->setGeometry(pos_.X, pos_.Y, size_.X, size_.Y);
  widget_->raise();
  widget_->show();
  widget_->Restart();
}

}  // namespace platform
