#include "platform/HoldMeter.h"

#include <QObject>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/EventLoop.h"

namespace platform {

namespace {

// Often enough that a hold of a few tens of milliseconds shows, seldom enough
// to cost the program nothing it would notice.
constexpr int kTickMs = 10;

std::int64_t NowNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// The kernel's scheduler statistics of one thread: time run, time waited on
// a run queue, time slices. Reading it again from the start gives fresh
// figures, so the file stays open.
class ThreadStats {
 public:
  ThreadStats() : fd_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
  ~ThreadStats() {
    if (fd_ >= 0) ::close(fd_);
  }
  ThreadStats(const ThreadStats&) = delete;
  ThreadStats& operator=(const ThreadStats&) = delete;

  std::int64_t WaitNs() const {
    if (fd_ < 0) return -1;
    char text[128];
    const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
    if (n <= 0) return -1;
    text[n] = '\0';
    char* end = nullptr;
    std::strtoll(text, &end, 10);  // time run
    const long long waited = std::strtoll(end, &end, 10);
    return waited >= 0 ? waited : -1;
  }

 private:
  int fd_;
};

}  // namespace

class THoldMeter::Impl {
 public:
  Impl(int thresholdMs, HoldHandler onHold) : threshold_(thresholdMs), onHold_(std::move(onHold)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Guarded([this] { Tick(); }); });
    lastNs_ = NowNs();
    lastWaitNs_ = stats_.WaitNs();
    timer_.start();
  }

  void Tick() {
    const std::int64_t now = NowNs();
    const std::int64_t waited = stats_.WaitNs();
    std::int64_t held = now - lastNs_ - std::int64_t{kTickMs} * 1000000;
    if (waited >= 0 && lastWaitNs_ >= 0) held -= waited - lastWaitNs_;
    lastNs_ = now;
    lastWaitNs_ = waited;
    const std::int64_t ms = std::max<std::int64_t>(held, 0) / 1000000;
    longest_ = std::max(longest_, ms);
    if (ms >= threshold_ && onHold_) onHold_(ms);
  }

  std::int64_t longest_ = 0;

 private:
  const int threshold_;
  const HoldHandler onHold_;
  ThreadStats stats_;
  QTimer timer_;
  std::int64_t lastNs_ = 0;
  std::int64_t lastWaitNs_ = -1;
};

THoldMeter::THoldMeter(int thresholdMs, HoldHandler onHold)
    : impl_(std::make_unique<Impl>(thresholdMs, std::move(onHold))) {}

THoldMeter::~THoldMeter() = default;

std::int64_t THoldMeter::Longest() const { return impl_->longest_; }

std::int64_t THoldMeter::ThreadWaitNs() { return ThreadStats().WaitNs(); }

}  // namespace platform
