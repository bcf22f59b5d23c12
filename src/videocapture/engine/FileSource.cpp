#include "videocapture/engine/FileSource.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "videocapture/engine/SyntheticCamera.h"
#include "videocapture/engine/VideoCodec.h"

namespace videocapture::engine {

namespace {

class FileSource : public TCaptureSource, public TMediaSeeking {
 public:
  FileSource(std::unique_ptr<TAviReader> reader, int stream, std::string fileName,
             std::shared_ptr<TSyntheticClock> clock)
      : reader_(std::move(reader)), stream_(stream), clock_(std::move(clock)) {
    const TAviStreamInfo& s = reader_->Streams()[static_cast<std::size_t>(stream)];
    info_.moniker = "@file#" + fileName + "#";
    info_.friendlyName = fileName;
    format_.subtype = s.codec == FourCC('m', 'j', 'p', 'g') ? kMjpg : s.codec;
    format_.width = s.width;
    format_.height = s.height;
    format_.avgTimePerFrame =
        std::max<TRefTime>(1, std::llround(static_cast<double>(s.scale) * kUnitsPerSecond / s.rate));
    count_ = static_cast<std::int64_t>(s.chunks.size());
  }
  ~FileSource() override { Stop(); }

  const TDeviceInfo& Info() const override { return info_; }
  TPinFacts Pins() const override { return {}; }
  int CapabilityCount() override { return 0; }
  bool GetCapability(int, TVideoFormat&, TStreamCaps&) override { return false; }
  bool QueryAccept(const TVideoFormat&) override { return false; }
  bool GetFormat(TVideoFormat& format) override {
    format = format_;
    return true;
  }
  bool SetFormat(const TVideoFormat&) override { return false; }
  TProcAmp* ProcAmp() override { return nullptr; }
  TDroppedFrames* DroppedFrames() override { return nullptr; }
  TCrossbar* Crossbar() override { return nullptr; }
  TMediaSeeking* Seeking() override { return this; }

  bool Start(TFrameSink frames, TEventSink events) override {
    if (thread_.joinable()) return false;
    stop_ = false;
    thread_ = std::thread([this, frames = std::move(frames), events = std::move(events)] { Play(frames, events); });
    return true;
  }

  void Stop() override {
    if (!thread_.joinable()) return;
    Change([this] { stop_ = true; });
    thread_.join();
  }

  TRefTime Duration() override { return count_ * format_.avgTimePerFrame; }
  TRefTime Position() override {
    std::lock_guard lock(mutex_);
    return std::min(shown_, count_) * format_.avgTimePerFrame;
  }
  bool SetPosition(TRefTime position) override {
    const std::int64_t frame = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(std::llround(static_cast<double>(std::max<TRefTime>(0, position)) /
                                               static_cast<double>(format_.avgTimePerFrame))),
        0, count_);
    Change([&] {
      next_ = shown_ = frame;
      completed_ = false;
      still_ = !running_;
    });
    return true;
  }
  bool SetRate(double rate) override {
    if (!(rate > 0)) return false;
    Change([&] { rate_ = rate; });
    return true;
  }
  void SetRunning(bool running) override {
    Change([&] {
      if (running && !running_) completed_ = false;
      running_ = running;
    });
  }

 private:
  // Every change wakes the thread, and timing starts afresh from it: from
  // the moment of the call, not from when the thread gets round to it.
  template <typename F>
  void Change(F f) {
    {
      std::lock_guard lock(mutex_);
      f();
      base_ = clock_->Now();
      baseFrame_ = next_;
      rebase_ = true;
      wake_ = true;
    }
    clock_->Interrupt();
    changed_.notify_all();
  }

  const TAviStreamInfo& StreamInfo() const { return reader_->Streams()[static_cast<std::size_t>(stream_)]; }

  void Show(const TFrameSink& frames, std::int64_t index, bool still) {
    std::string chunk;
    TFrame frame;
    // An empty chunk is a frame the capture lost: the picture before it stays.
    if (!reader_->ReadChunk(stream_, static_cast<std::size_t>(index), chunk) ||
        !DecodeChunk(format_.subtype, StreamInfo().bitCount, format_.width, format_.height, chunk, pixels_, frame,
                     StreamInfo().topDown))
      return;
    frame.sampleTime = static_cast<double>(index * format_.avgTimePerFrame) / kUnitsPerSecond;
    frame.still = still;
    frames(frame);
  }

  void Play(const TFrameSink& frames, const TEventSink& events) {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      rebase_ = false;
      if (still_) {
        still_ = false;
        const std::int64_t index = std::min(next_, count_ - 1);
        lock.unlock();
        if (index >= 0) Show(frames, index, true);
        lock.lock();
        continue;
      }
      if (!running_ || next_ >= count_) {
        if (running_ && !completed_) {
          completed_ = true;
          lock.unlock();
          events(TGraphEventCode::Complete);
          lock.lock();
          continue;
        }
        changed_.wait(lock, [this] { return stop_ || wake_; });
        wake_ = false;
        continue;
      }
      const auto due = base_ + static_cast<TRefTime>(
                                   static_cast<double>((next_ - baseFrame_) * format_.avgTimePerFrame) / rate_);
      wake_ = false;
      lock.unlock();
      const bool reached = clock_->WaitUntil(due, wake_);
      lock.lock();
      if (!reached || !running_ || stop_ || rebase_) continue;
      const std::int64_t index = next_++;
      shown_ = index;
      lock.unlock();
      Show(frames, index, false);
      lock.lock();
    }
  }

  std::unique_ptr<TAviReader> reader_;
  int stream_;
  std::shared_ptr<TSyntheticClock> clock_;
  TDeviceInfo info_;
  TVideoFormat format_;
  std::int64_t count_ = 0;
  std::vector<std::uint8_t> pixels_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> wake_{false};
  bool stop_ = false;
  bool running_ = false;
  bool rebase_ = false;
  TRefTime base_ = 0;
  std::int64_t baseFrame_ = 0;
  bool still_ = false;
  bool completed_ = false;
  double rate_ = 1.0;
  std::int64_t next_ = 0;   // the frame to show next
  std::int64_t shown_ = 0;  // the frame shown last (the position)
  std::thread thread_;
};

}  // namespace

std::unique_ptr<TCaptureSource> OpenFileSource(const std::string& fileName, std::shared_ptr<TSyntheticClock> clock,
                                               std::string& error) {
  auto reader = std::make_unique<TAviReader>();
  if (!reader->Open(fileName)) {
    error = reader->Error();
    return nullptr;
  }
  const int stream = reader->VideoStream();
  if (stream < 0) {
    error = "no video stream";
    return nullptr;
  }
  const TAviStreamInfo& s = reader->Streams()[static_cast<std::size_t>(stream)];
  if (!CanDecode(s.codec, s.bitCount) || s.rate == 0 || s.scale == 0 || s.chunks.empty()) {
    error = "no video that can be decoded";
    return nullptr;
  }
  return std::make_unique<FileSource>(std::move(reader), stream, fileName, std::move(clock));
}

}  // namespace videocapture::engine

