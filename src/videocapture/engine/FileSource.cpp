#include "videocapture/engine/FileSource.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "videocapture/engine/MediaFile.h"
#include "videocapture/engine/SyntheticCamera.h"

namespace videocapture::engine {

namespace {

// The last picture takes the sound that is left, up to this much: sound that
// runs on far past the pictures is not read in one piece.
constexpr TRefTime kSoundTail = 10 * kUnitsPerSecond;

// A file with sound alone is played in slices of this length.
constexpr TRefTime kSoundSlice = kUnitsPerSecond / 25;

// The sample frame at `time`, to the nearest.
std::int64_t SampleAt(TRefTime time, unsigned rate) {
  return std::llround(static_cast<double>(time) * rate / kUnitsPerSecond);
}

class FileSource : public TCaptureSource, public TMediaSeeking {
 public:
  FileSource(std::unique_ptr<TMediaVideo> video, std::unique_ptr<TMediaSound> sound, const std::string& fileName,
             std::shared_ptr<TSyntheticClock> clock)
      : video_(std::move(video)), sound_(std::move(sound)), clock_(std::move(clock)) {
    info_.moniker = "@file#" + fileName + "#";
    info_.friendlyName = fileName;
    if (!video_) {
      format_.avgTimePerFrame = kSoundSlice;
      duration_ = sound_->End();
      return;
    }
    format_.subtype = video_->Codec();
    format_.width = video_->Width();
    format_.height = video_->Height();
    format_.avgTimePerFrame = video_->Interval();
    duration_ = video_->Duration();
  }
  ~FileSource() override { Stop(); }

  const TDeviceInfo& Info() const override { return info_; }
  TPinFacts Pins() const override { return {}; }
  int CapabilityCount() override { return 0; }
  bool GetCapability(int, TVideoFormat&, TStreamCaps&) override { return false; }
  bool QueryAccept(const TVideoFormat&) override { return false; }
  // False for a file with sound alone.
  bool GetFormat(TVideoFormat& format) override {
    format = format_;
    return video_ != nullptr;
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

  TRefTime Duration() override { return duration_; }
  TRefTime Position() override {
    std::lock_guard lock(mutex_);
    return position_;
  }
  // The position is the picture's at once, as the stream's rate places it;
  // the playing thread finds the picture itself and corrects it to its time.
  bool SetPosition(TRefTime position) override {
    TRefTime target = std::max<TRefTime>(0, position);
    if (duration_ > 0) target = std::min(target, duration_);
    const TRefTime interval = format_.avgTimePerFrame;
    TRefTime placed = (target + interval / 2) / interval * interval;
    if (duration_ > 0) placed = std::min(placed, duration_);
    Change([&] {
      seekTo_ = target;
      position_ = nextTime_ = placed;
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
  bool HasSound() const { return sound_ != nullptr; }
  TPcmFormat SoundFormat() const { return sound_ ? sound_->Format() : TPcmFormat{}; }
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
      basePosition_ = nextTime_;
      rebase_ = true;
      wake_ = true;
    }
    clock_->Interrupt();
    changed_.notify_all();
  }

  // Hands on the current picture.
  void Show(const TFrameSink& frames, bool still) {
    if (!video_ || !video_->Picture().data) return;
    TFrame frame = video_->Picture();
    frame.still = still;
    frames(frame);
  }

  // Hands on the sound from the picture shown at `from` to the next one's
  // time; the sample frames handed on.
  std::int64_t Sound(TRefTime from, TRefTime to) {
    std::lock_guard lock(soundMutex_);
    if (!soundSink_ || !sound_) return 0;
    const unsigned rate = sound_->Format().rate;
    const std::int64_t first = SampleAt(from, rate);
    slice_.clear();
    const std::int64_t frames = sound_->Read(first, SampleAt(to, rate), slice_);
    if (slice_.empty()) return 0;
    soundSink_({reinterpret_cast<const std::uint8_t*>(slice_.data()), slice_.size(),
                static_cast<double>(first) / rate});
    return frames;
  }

  void Play(const TFrameSink& frames, const TEventSink& events) {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      rebase_ = false;
      if (seekTo_) {
        const TRefTime target = *seekTo_;
        seekTo_.reset();
        if (!video_) {
          // Sound alone goes on from wherever the position was put.
          pending_ = duration_ <= 0 || nextTime_ < duration_;
          continue;
        }
        lock.unlock();
        const bool found = video_->Seek(target);
        lock.lock();
        if (seekTo_) continue;  // sought again meanwhile
        pending_ = found;
        if (found) position_ = nextTime_ = video_->Time();
        continue;
      }
      if (still_) {
        still_ = false;
        lock.unlock();
        Show(frames, true);
        lock.lock();
        continue;
      }
      if (!running_ || !pending_) {
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
      const TRefTime due = base_ + static_cast<TRefTime>(static_cast<double>(nextTime_ - basePosition_) / rate_);
      wake_ = false;
      lock.unlock();
      const bool reached = clock_->WaitUntil(due, wake_);
      lock.lock();
      if (!reached || !running_ || stop_ || rebase_ || seekTo_) continue;
      position_ = nextTime_;
      // A change made while the next picture is read times it from where
      // the stream's rate places it.
      nextTime_ += format_.avgTimePerFrame;
      // Sound plays at its own speed only.
      const bool sound = rate_ == 1.0;
      if (!video_) {
        const TRefTime from = position_;
        lock.unlock();
        const std::int64_t played = sound ? Sound(from, from + kSoundSlice) : 0;
        lock.lock();
        // Without a length the sound ends where it runs dry.
        pending_ = duration_ > 0 ? from + kSoundSlice < duration_ : played > 0;
        continue;
      }
      lock.unlock();
      Show(frames, false);
      const TRefTime shown = video_->Time();
      const bool more = video_->Next();
      if (sound) Sound(shown, more ? video_->Time() : shown + kSoundTail);
      lock.lock();
      if (rebase_ && more) basePosition_ += video_->Time() - nextTime_;
      pending_ = more;
      if (more) nextTime_ = video_->Time();
    }
  }

  // The readers belong to the playing thread while it runs.
  std::unique_ptr<TMediaVideo> video_;
  std::unique_ptr<TMediaSound> sound_;
  std::shared_ptr<TSyntheticClock> clock_;
  TDeviceInfo info_;
  TVideoFormat format_;
  TRefTime duration_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> wake_{false};
  bool stop_ = false;
  bool running_ = false;
  bool rebase_ = false;
  TRefTime base_ = 0;
  TRefTime basePosition_ = 0;
  bool still_ = false;
  bool completed_ = false;
  double rate_ = 1.0;
  // A new file goes to its first picture before anything else.
  std::optional<TRefTime> seekTo_ = 0;
  bool pending_ = false;  // whether a picture waits to be shown
  TRefTime nextTime_ = 0;  // of that picture
  TRefTime position_ = 0;  // of the picture shown last
  std::thread thread_;

  std::mutex soundMutex_;
  TAudioSink soundSink_;
  std::string slice_;
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
  auto video = TMediaVideo::Open(fileName, error);
  // Sound that cannot be decoded leaves the file playing without it; a file
  // without pictures plays its sound alone.
  std::string soundError;
  auto sound = TMediaSound::Open(fileName, video ? video->Origin() : 0, soundError);
  if (!video && !sound) return nullptr;
  return std::make_unique<FileSource>(std::move(video), std::move(sound), fileName, std::move(clock));
}

}  // namespace videocapture::engine
