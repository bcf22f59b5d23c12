#include "conversations/PictureDecoding.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/EventLoop.h"

struct TPictureJob {
  std::string jpeg;  // the decoding thread's once queued
  TPictureDecoding::TDone done;  // the program thread's alone
  std::atomic<bool> withdrawn{false};
};

namespace {

// The decoding thread, started with the first picture. It ends with the
// program, once the picture it is making (bounded in cost) is made.
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
    if (thread_.joinable()) thread_.join();
  }

  void Queue(std::shared_ptr<TPictureJob> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    jobs_.push_back(std::move(job));
    wake_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      std::shared_ptr<TPictureJob> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (stop_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      if (job->withdrawn) continue;
      cam::TReceivedPicture picture;
      try {
        picture = cam::DecodeReceivedPicture(job->jpeg);
      } catch (const std::exception&) {
        // No memory for the picture: it shows as a damaged one.
      }
      std::string().swap(job->jpeg);
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
  std::deque<std::shared_ptr<TPictureJob>> jobs_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

TPictureDecoding::TPictureDecoding(std::string jpeg, TDone done) : job_(std::make_shared<TPictureJob>()) {
  job_->jpeg = std::move(jpeg);
  job_->done = std::move(done);
  platform::PrepareMainThreadPosting();
  TDecoder::Instance().Queue(job_);
}

TPictureDecoding& TPictureDecoding::operator=(TPictureDecoding&& other) noexcept {
  if (this != &other) {
    Withdraw();
    job_ = std::move(other.job_);
  }
  return *this;
}

bool TPictureDecoding::Pending() const { return job_ && job_->done; }

void TPictureDecoding::Withdraw() {
  if (!job_) return;
  job_->withdrawn = true;
  // Whatever `done` holds is let go here, on the program's thread.
  job_->done = nullptr;
  job_.reset();
}
