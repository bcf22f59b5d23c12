#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileNames.h"

namespace platform {

// One decoded PCM wave file.
struct TWave {
  std::string path;
  int channels = 0;
  int rate = 0;
  int bits = 0;               // 8 (unsigned), 16, 24 or 32 (signed little-endian)
  std::vector<uint8_t> data;  // whole frames only

  int FrameBytes() const { return channels * bits / 8; }
  size_t Frames() const { return FrameBytes() ? data.size() / static_cast<size_t>(FrameBytes()) : 0; }
};

// Decodes a RIFF WAVE file of PCM samples; raises platform::EStreamError with the
// reason for anything it cannot play.
TWave ParseWave(const std::string& bytes, const std::string& path = {});
// `path` is an 8-bit file name as the program builds it (see PathFromName).
TWave LoadWave(const std::string& path);

// Where the channel's samples go. Called only from the channel's own thread.
class TSoundSink {
 public:
  virtual ~TSoundSink() = default;
  // Prepares the output for the wave's format; false with a reason when there is
  // no device to play on. Called again without Close in between for the next
  // sound: an output still open in the same format is used again.
  virtual bool Open(const TWave& wave, std::string& error) = 0;
  // Queues frames, blocking while the output is full.
  virtual void Write(const uint8_t* data, size_t frames) = 0;
  // Lets what is queued run out (the sound ended), or drops it (it was cut off).
  virtual void Finish() = 0;
  virtual void Abort() = 0;
  virtual void Close() = 0;
};

// The sound card, through ALSA's default device.
std::unique_ptr<TSoundSink> MakeAlsaSink();

// One asynchronous playback channel: at most one sound plays at a time, and the
// caller never waits for the sound or the device.
//   Interrupt   cuts off whatever plays and starts the new sound;
//   SkipIfBusy  drops the new sound while anything plays.
// A missing device, a missing file and one that is no playable wave mean
// silence, nothing more.
//
// Sounds come with every chat line, so the channel keeps what it can: each
// file decoded once (read again only when it changed on disk), the device
// open while sounds follow each other. A device that failed to open is not
// asked for again before a while has passed; until then sounds are dropped
// at once, their files unread.
class TSoundChannel {
 public:
  enum class Mode { Interrupt, SkipIfBusy };
  struct Timing {
    std::chrono::milliseconds keepOpen{3000};      // the device stays open this long after a sound
    std::chrono::milliseconds retryDevice{10000};  // a missing device is looked for again after this
  };

  explicit TSoundChannel(std::unique_ptr<TSoundSink> sink);
  TSoundChannel(std::unique_ptr<TSoundSink> sink, Timing timing);
  ~TSoundChannel();
  TSoundChannel(const TSoundChannel&) = delete;
  TSoundChannel& operator=(const TSoundChannel&) = delete;

  // The channel of this process, playing on the sound card. It lives until the
  // process ends, so that no exit path waits on a device.
  static TSoundChannel& Process();

  // True when the sound was taken, false when it was skipped (or there is no
  // device to play it on).
  bool Play(const std::string& file, Mode mode);
  void Stop();
  bool IsPlaying() const;

 private:
  struct Job {
    std::string file;
    uint64_t generation;
  };
  // A decoded file with what it looked like on disk when read.
  struct Kept {
    std::string file;
    TFileStamp stamp;
    std::shared_ptr<const TWave> wave;
  };
  void Run();
  void PlayJob(const Job& job);
  // The decoded file, from the kept ones when unchanged; raises like LoadWave.
  std::shared_ptr<const TWave> Wave(const std::string& file);
  bool Cancelled(uint64_t generation) const;

  std::unique_ptr<TSoundSink> sink_;
  const Timing timing_;
  // The worker's own: touched by its thread only.
  std::list<Kept> kept_;  // most recently played first
  bool deviceOpen_ = false;
  // No device to play on before this time (steady clock, nanoseconds).
  std::atomic<std::int64_t> silentUntil_{0};

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<Job> pending_;
  uint64_t generation_ = 0;
  bool busy_ = false;
  bool quit_ = false;
  std::thread worker_;
};

}  // namespace platform
