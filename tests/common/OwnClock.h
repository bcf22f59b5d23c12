#pragma once

#include <chrono>
#include <cstdint>

#include "platform/HoldMeter.h"

namespace testing_support {

// A stopwatch of the calling thread's own time: the wall clock less the time
// the thread stood ready to run while other processes had the processors. A
// bound on it holds on a busy machine and still catches the thread's own
// work, a blocking call or a timer that comes late for a reason of its own.
class TOwnClock {
 public:
  TOwnClock() : wall_(Now()), waited_(platform::THoldMeter::ThreadWaitNs()) {}

  std::int64_t ElapsedMs() const {
    std::int64_t ns = Now() - wall_;
    const std::int64_t waited = platform::THoldMeter::ThreadWaitNs();
    if (waited >= 0 && waited_ >= 0) ns -= waited - waited_;
    return ns / 1000000;
  }

 private:
  static std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  std::int64_t wall_;
  std::int64_t waited_;
};

}  // namespace testing_support
