#pragma once

#include <functional>
#include <memory>

#include "platform/Component.h"

// A GUI-thread timer with the window-timer rules the program relies on:
// OnTimer fires every Interval milliseconds while Enabled; enabling a timer
// that already runs keeps its period where it is, while a new Interval
// starts the period afresh. An Interval of 0 never fires. Every call of
// OnTimer runs inside the event loop's guard.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner = nullptr);
  ~TTimer() override;
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  int Interval() const { return interval_; }
  void SetInterval(int ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // Whether it is counting: false while disabled or at interval 0, and when
  // the system refused a timer (a thread without an event loop has none).
  bool Active() const;

  std::function<void(TTimer* sender)> OnTimer;

 private:
  void Update();
  class Impl;
  std::unique_ptr<Impl> impl_;
  int interval_ = 1000;
  bool enabled_ = true;
};
