#include "platform/Timer.h"

#include <QObject>
#include <QTimerEvent>

#include "platform/EventLoop.h"

class TTimer::Impl : public QObject {
 public:
  explicit Impl(TTimer* owner) : owner_(owner) {}
  int id = 0;
  bool firing = false;
  TTimer* owner_;

 protected:
  void timerEvent(QTimerEvent* e) override {
    if (e->timerId() != id || owner_ == nullptr) return;
    firing = true;
    // A copy, so a handler may free its own timer.
    auto handler = owner_->OnTimer;
    TTimer* owner = owner_;
    platform::Guarded([&] {
      if (handler) handler(owner);
    });
    firing = false;
    if (owner_ == nullptr) deleteLater();  // the handler freed its timer
  }
};

TTimer::TTimer(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>(this)) { Update(); }

TTimer::~TTimer() {
  if (impl_->id != 0) impl_->killTimer(impl_->id);
  impl_->owner_ = nullptr;
  if (impl_->firing) impl_.release();  // deletes itself once its event unwinds
}

void TTimer::SetInterval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Update();
}

void TTimer::SetEnabled(bool on) {
  if (on == enabled_) return;  // a running timer keeps its period
  enabled_ = on;
  Update();
}

bool TTimer::Active() const { return impl_->id != 0; }

void TTimer::Update() {
  if (impl_->id != 0) {
    impl_->killTimer(impl_->id);
    impl_->id = 0;
  }
  if (enabled_ && interval_ > 0) impl_->id = impl_->startTimer(interval_, Qt::PreciseTimer);
}
