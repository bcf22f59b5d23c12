#pragma once

// A camera made of code, for machines without one and for tests: its
// capabilities and pins are scripted, its frames show the frame number in
// blocks large enough to survive JPEG, it runs on a clock that tests can step,
// and faults can be injected while it runs.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "videocapture/engine/CaptureSystem.h"

namespace videocapture::engine {

// Time for the synthetic streams. The real clock follows the steady clock; a
// manual one stands still until a test advances it.
class TSyntheticClock {
 public:
  static std::shared_ptr<TSyntheticClock> Real();
  static std::shared_ptr<TSyntheticClock> Manual();

  TRefTime Now();
  // Only for a manual clock: moves time on and wakes the streams.
  void Advance(TRefTime by);
  // Waits until Now() >= when; false when `stop` was raised first.
  bool WaitUntil(TRefTime when, const std::atomic<bool>& stop);
  // Wakes every waiter so that it re-reads its stop flag.
  void Interrupt();

 private:
  explicit TSyntheticClock(bool manual);
  bool manual_;
  std::mutex mutex_;
  std::condition_variable changed_;
  TRefTime now_ = 0;
};

struct TSyntheticCapability {
  TVideoFormat format;
  TStreamCaps caps;
};

struct TSyntheticScript {
  std::string name = "Synthetic Camera";
  TDriverKind driver = TDriverKind::Native;
  bool liveSettings = true;
  TPinFacts pins;
  std::vector<TSyntheticCapability> capabilities;
  bool procAmp = true;
  bool crossbar = false;
  // A TV card: a tuner on input 0 and a decoder for NTSC_M and PAL_B.
  bool tuner = false;
  bool analogDecoder = false;
  // Frame layout as the stream lends it: extra bytes after each row, and
  // whether the first row in memory is the top one.
  int rowPadding = 0;
  bool topDown = true;
};

// Faults a test switches on and off while the camera runs.
struct TSyntheticFaults {
  std::atomic<bool> startFails{false};
  std::atomic<bool> nullBuffer{false};
  std::atomic<bool> zeroFrameInterval{false};
  std::atomic<bool> formatRefused{false};
};

class TSyntheticCamera : public std::enable_shared_from_this<TSyntheticCamera> {
 public:
  TSyntheticCamera(TSyntheticScript script, std::shared_ptr<TSyntheticClock> clock, int serial);

  // YUY2 from 160x120 to 640x480 (own format 320x240, 30 frames per second)
  // and MJPG from 320x180 to 1280x720, with a preview pin and picture controls.
  static TSyntheticScript StandardScript(const std::string& name);

  const TSyntheticScript& Script() const { return script_; }
  TSyntheticFaults& Faults() { return faults_; }
  TSyntheticClock& Clock() { return *clock_; }
  std::shared_ptr<TSyntheticClock> SharedClock() const { return clock_; }
  TDeviceInfo Info() const;

  bool Present() const { return present_.load(); }
  // Unplugging a streaming camera loses the device: its stream ends with a
  // device-lost event.
  void SetPresent(bool present);
  bool Lost(std::uint64_t sinceGeneration) const { return lostGeneration_.load() > sinceGeneration; }
  std::uint64_t LostGeneration() const { return lostGeneration_.load(); }

  std::unique_ptr<TCaptureSource> Open();

  // Picture controls and the format are the camera's, shared by its sessions.
  std::mutex& Mutex() { return mutex_; }
  TVideoFormat& CurrentFormat() { return format_; }
  int Control(int property) const { return controls_[property]; }
  // The decoder's analog video standard (a flag), 0 until one is set.
  std::atomic<long> standard{0};
  void SetControl(int property, int value) { controls_[property] = value; }
  // Starts of streams so far (for tests that count rebuilt graphs).
  std::atomic<int> starts{0};
  // A TV card's sound mode (a TTvAudio flag).
  std::atomic<int> tvAudioMode{1};

 private:
  TSyntheticScript script_;
  std::shared_ptr<TSyntheticClock> clock_;
  TSyntheticFaults faults_;
  int serial_;
  std::atomic<bool> present_{true};
  std::atomic<std::uint64_t> lostGeneration_{0};
  std::mutex mutex_;
  TVideoFormat format_;
  int controls_[kProcAmpCount] = {};
};

// The tones of a synthetic microphone, in Hz: its first channel has the
// first, its second the other, so that channels mixed up are heard.
constexpr double kMicrophoneTones[2] = {440, 660};

// The backing that lists synthetic cameras and microphones. A microphone
// records its tones in blocks of a tenth of a second of its clock; its
// controls change nothing of them.
class TSyntheticBackend : public TCaptureBackend {
 public:
  explicit TSyntheticBackend(std::shared_ptr<TSyntheticClock> clock = TSyntheticClock::Real());

  std::shared_ptr<TSyntheticCamera> AddCamera(TSyntheticScript script);
  void AddEntry(TCategory category, const std::string& name, TDriverKind driver = TDriverKind::Native);
  // Adds a second listing of an existing entry (an enumerator that repeats itself).
  void RepeatEntry(TCategory category, int index);
  void RemoveEntry(TCategory category, const std::string& name);
  std::shared_ptr<TSyntheticCamera> Camera(int index) const { return cameras_.at(index); }
  // Tells the watcher that devices changed, as the system does on hot-plug.
  void NotifyChange();
  // The recording controls every synthetic microphone shares: a volume of
  // 0 to 100 and a switch.
  std::atomic<long> microphoneVolume{80};
  std::atomic<bool> microphoneOn{true};

  std::vector<TDeviceInfo> Enumerate(TCategory category) override;
  std::unique_ptr<TCaptureSource> Open(const std::string& moniker) override;
  bool CanBind(TCategory category, const std::string& moniker) override;
  std::unique_ptr<TAudioSource> OpenAudio(const std::string& moniker) override;
  void Watch(std::function<void()> notice) override { notice_ = std::move(notice); }

 private:
  std::shared_ptr<TSyntheticClock> clock_;
  std::vector<std::shared_ptr<TSyntheticCamera>> cameras_;
  std::vector<std::pair<TCategory, TDeviceInfo>> entries_;
  std::function<void()> notice_;
};

// Frame drawing and reading. The number (0 to 999999) is drawn as six digits
// of a 3x5 block font in a black box at the centre of the picture; reading
// samples the middle of every block. -1 when the picture shows no number.
void DrawSyntheticFrame(std::uint8_t* bgr, int width, int height, std::size_t stride, bool topDown,
                        std::uint32_t number, int brightness);
int ReadSyntheticFrameNumber(const std::uint8_t* bgr, int width, int height, std::size_t stride, bool topDown);

}  // namespace videocapture::engine
