#include "conversations/PictureDecoding.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include <QThread>

#include "platform/EventLoop.h"

struct TPictureJob {
  std::string jpeg;  // the decoder's once queued
  TPictureDecoding::TDone done;  // the program thread's alone
  std::atomic<bool> withdrawn{false};
};

// A link's place in the turns, kept under the decoder's lock. The turns'
// clock runs in nanoseconds of decoding: a link waits at the time its last
// picture's decoding ended on that clock, or at the clock's present when it
// has been quiet since, and the earliest goes first.
struct TPictureLane {
  std::shared_ptr<TPictureJob> waiting;
  std::int64_t start = 0, finish = 0;
  std::uint64_t order = 0;  // among links waiting at the same time
};

namespace {

// Enough threads that a few dear pictures never hold up every processor's
// worth of cheap ones, and never so many that they take the processors from
// the program's own thread.
constexpr unsigned kMostThreads = 4;

// The processors this program may run on (those it is confined to, not all
// the machine has), less one for the program's own thread.
unsigned PoolSize() {
  const auto cores = static_cast<unsigned>(std::max(1, QThread::idealThreadCount()));
  return std::clamp(cores > 1 ? cores - 1 : 1u, 1u, kMostThreads);
}

// The decoding threads, started as pictures come while all are busy. They
// end with the program, once the pictures they are making (bounded in cost)
// are made.
class TDecoder {
 public:
  static TDecoder& Instance() {
    static TDecoder decoder;
    return decoder;
  }

  ~TDecoder() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  void Queue(const std::shared_ptr<TPictureLane>& lane, std::shared_ptr<TPictureJob> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!lane->waiting) {
      lane->start = std::max(lane->finish, now_);
      lane->order = ++order_;
      ready_.push_back(lane);
    }
    lane->waiting = std::move(job);
    if (idle_ == 0 && threads_.size() < PoolSize()) threads_.emplace_back([this] { Run(); });
    wake_.notify_one();
  }

  // A picture not yet taken is let go of at once, with its bytes.
  void Withdraw(TPictureLane& lane) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!lane.waiting) return;
    lane.waiting.reset();
    std::erase_if(ready_, [&lane](const std::shared_ptr<TPictureLane>& l) { return l.get() == &lane; });
  }

 private:
  void Run() {
    for (;;) {
      std::shared_ptr<TPictureLane> lane;
      std::shared_ptr<TPictureJob> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idle_;
        wake_.wait(lock, [this] { return stop_ || !ready_.empty(); });
        --idle_;
        if (stop_) return;
        const auto next = std::min_element(ready_.begin(), ready_.end(), [](const auto& a, const auto& b) {
          return a->start != b->start ? a->start < b->start : a->order < b->order;
        });
        lane = std::move(*next);
        ready_.erase(next);
        job = std::move(lane->waiting);
        now_ = std::max(now_, lane->start);
      }
      if (job->withdrawn) continue;
      const auto began = std::chrono::steady_clock::now();
      cam::TReceivedPicture picture;
      try {
        picture = cam::DecodeReceivedPicture(job->jpeg);
      } catch (const std::exception&) {
        // No memory for the picture: it shows as a damaged one.
      }
      std::string().swap(job->jpeg);
      const std::int64_t cost =
          std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began).count();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        lane->finish = lane->start + cost;
      }
      platform::PostToMainThread([job, picture] {
        if (job->withdrawn || !job->done) return;
        const TPictureDecoding::TDone done = std::move(job->done);
        job->done = nullptr;
        done(picture);
      });
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::shared_ptr<TPictureLane>> ready_;
  std::int64_t now_ = 0;
  std::uint64_t order_ = 0;
  unsigned idle_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace

TPictureDecoding::TPictureDecoding() : lane_(std::make_shared<TPictureLane>()) {}

TPictureDecoding::~TPictureDecoding() { Withdraw(); }

void TPictureDecoding::Decode(std::string jpeg, TDone done) {
  Withdraw();
  job_ = std::make_shared<TPictureJob>();
  job_->jpeg = std::move(jpeg);
  job_->done = std::move(done);
  platform::PrepareMainThreadPosting();
  TDecoder::Instance().Queue(lane_, job_);
}

bool TPictureDecoding::Pending() const { return job_ && job_->done; }

void TPictureDecoding::Withdraw() {
  if (!job_) return;
  const bool pending = Pending();
  job_->withdrawn = true;
  // Whatever `done` holds is let go here, on the program's thread.
  job_->done = nullptr;
  job_.reset();
  if (pending) TDecoder::Instance().Withdraw(*lane_);
}
