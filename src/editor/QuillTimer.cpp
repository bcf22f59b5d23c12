#include "editor/QuillTimer.h"

#include "platform/Timer.h"

namespace quill {

TQuillTimer::TQuillTimer(TQuillComponent* owner) : TQuillComponent(owner) {}

TQuillTimer::~TQuillTimer() = default;

void TQuillTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TQuillTimer::SetInterval(int value) {
  if (value == interval_) return;
  interval_ = value;
  UpdateTimer();
}

void TQuillTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer();
}

void TQuillTimer::UpdateTimer() {
  timer_.reset();
  if (interval_ == 0 || !enabled_ || !onTimer_) return;
  timer_ = std::make_unique<TTimer>();
  timer_->SetInterval(interval_);
  if (!timer_->Active()) {
    timer_.reset();
    throw EOutOfResources("Not enough timers available");
  }
  timer_->OnTimer = [this](TTimer*) {
    // A copy: the handler may change the handler, or free this timer.
    TNotifyEvent handler = onTimer_;
    if (handler) handler(this);
  };
}

}  // namespace quill
