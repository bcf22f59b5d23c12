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
    const int audio = reader_->AudioStream();
    if (audio < 0) return;
    const TAviStreamInfo& a = reader_->Streams()[static_cast<std::size_t>(audio)];
    if (a.formatTag != 1 || (a.bitsPerSample != 8 && a.bitsPerSample != 16) || a.channels == 0 ||
        a.samplesPerSecond == 0)
      return;
    audioStream_ = audio;
    pcm_ = {a.samplesPerSecond, a.bitsPerSample, a.channels};
    for (const TAviChunkRef& chunk : a.chunks) {
      audioStarts_.push_back(audioBytes_);
      audioBytes_ += chunk.size;
    }
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
  bool HasSound() const { return audioStream_ >= 0; }
  TPcmFormat SoundFormat() const { return pcm_; }
  // Null stops the sound; no call into the old sink follows.
  void SetSoundSink(TAudioSink sink) {
    std::lock_guard lock(soundMutex_);
    soundSink_ = std::move(sink);
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

  // Where the sound of frame `index` begins, in bytes, on a whole sample
  // frame; the last picture takes whatever sound is left.
  std::int64_t SoundOffset(std::int64_t index) const {
    if (index >= count_) return audioBytes_;
    const double seconds = static_cast<double>(index * format_.avgTimePerFrame) / kUnitsPerSecond;
    const auto frames = static_cast<std::int64_t>(seconds * pcm_.rate);
    return std::min(audioBytes_, frames * pcm_.BlockAlign());
  }

  // Hands on the sound that belongs to the picture just shown.
  void Sound(std::int64_t index) {
    if (!HasSound()) return;
    std::lock_guard lock(soundMutex_);
    if (!soundSink_) return;
    const std::int64_t from = SoundOffset(index), to = SoundOffset(index + 1);
    slice_.clear();
    for (std::int64_t at = from; at < to;) {
      const auto next = std::upper_bound(audioStarts_.begin(), audioStarts_.end(), at);
      const auto chunk = static_cast<std::size_t>(next - audioStarts_.begin()) - 1;
      if (chunk != soundChunkIndex_ && !reader_->ReadChunk(audioStream_, chunk, soundChunk_)) soundChunk_.clear();
      soundChunkIndex_ = chunk;
      const std::int64_t within = at - audioStarts_[chunk];
      const std::int64_t take = std::min<std::int64_t>(to - at, static_cast<std::int64_t>(soundChunk_.size()) - within);
      if (take <= 0) break;  // a chunk that could not be read ends the slice
      slice_.append(soundChunk_, static_cast<std::size_t>(within), static_cast<std::size_t>(take));
      at += take;
    }
    if (slice_.empty()) return;
    soundSink_({reinterpret_cast<const std::uint8_t*>(slice_.data()), slice_.size(),
                static_cast<double>(from) / (pcm_.rate * pcm_.BlockAlign())});
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
      // Sound plays at its own speed only.
      const bool sound = rate_ == 1.0;
      lock.unlock();
      Show(frames, index, false);
      if (sound) Sound(index);
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

  // The file's PCM sound, when it has some: where each chunk starts in the
  // stream's bytes. The playing thread reads it; the sink changes under its lock.
  int audioStream_ = -1;
  TPcmFormat pcm_;
  std::vector<std::int64_t> audioStarts_;
  std::int64_t audioBytes_ = 0;
  std::mutex soundMutex_;
  TAudioSink soundSink_;
  std::string soundChunk_, slice_;
  std::size_t soundChunkIndex_ = static_cast<std::size_t>(-1);
};

class FileSound : public TAudioSource {
 public:
  explicit FileSound(FileSource& file) : file_(file) {}
  ~FileSound() override { Stop(); }
  bool SetFormat(const TPcmFormat& format) override { return format == file_.SoundFormat(); }
  TPcmFormat Format() const override { return file_.SoundFormat(); }
  bool Start(TAudioSink sink) override {
    file_.SetSoundSink(std::move(sink));
    return true;
  }
  void Stop() override { file_.SetSoundSink(nullptr); }

 private:
  FileSource& file_;
};

}  // namespace

std::unique_ptr<TAudioSource> OpenFileSound(TCaptureSource& fileSource) {
  auto* file = dynamic_cast<FileSource*>(&fileSource);
  if (!file || !file->HasSound()) return nullptr;
  return std::make_unique<FileSound>(*file);
}

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

