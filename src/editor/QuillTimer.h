#pragma once

// A timer component for the editor's hints and pauses: it runs only while
// it is enabled, has an interval and has someone to tell, so idle editors
// hold no timers.

#include <memory>

#include "editor/QuillContainers.h"
#include "editor/QuillStrings.h"
#include "platform/Exception.h"

class TTimer;

namespace quill {

// The system gave no timer.
class EOutOfResources : public platform::Exception {
 public:
  using Exception::Exception;
};

// Raises EOutOfResources ("Not enough timers available") when it should run
// and the system refuses it a timer.
class TQuillTimer : public TQuillComponent {
 public:
  explicit TQuillTimer(TQuillComponent* owner = nullptr);
  ~TQuillTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  int Interval() const { return interval_; }
  void SetInterval(int value);
  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);
  // Whether a platform timer runs for it.
  bool Running() const { return timer_ != nullptr; }

 private:
  void UpdateTimer();

  bool enabled_ = true;
  int interval_ = 1000;
  TNotifyEvent onTimer_;
  std::unique_ptr<TTimer> timer_;
};

}  // namespace quill
