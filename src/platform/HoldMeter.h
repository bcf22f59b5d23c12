#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// Measures how long the calling thread's event loop is held: a precise timer
// ticks every few milliseconds, and each tick that comes late tells how long
// the loop was kept from it. What counts is the program's own doing: the time
// the thread stood ready to run while other processes had the processors (as
// the kernel counts it for this thread) is taken off, so a busy machine makes
// the program slower to answer but not "held". Work, blocking calls and a
// long queue of events ahead of the tick all count.
//
// OnHold is called on the thread, with the hold in milliseconds, for each tick
// that was held at least ThresholdMs. The meter belongs to the thread that made
// it and stops when destroyed. On a system that does not report the thread's
// waiting time, nothing is taken off.
class THoldMeter {
 public:
  using HoldHandler = std::function<void(std::int64_t ms)>;

  THoldMeter(int thresholdMs, HoldHandler onHold);
  ~THoldMeter();
  THoldMeter(const THoldMeter&) = delete;
  THoldMeter& operator=(const THoldMeter&) = delete;

  // The longest hold seen so far, in milliseconds.
  std::int64_t Longest() const;

  // Nanoseconds the calling thread has stood ready to run without running,
  // or -1 where the system does not say.
  static std::int64_t ThreadWaitNs();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
