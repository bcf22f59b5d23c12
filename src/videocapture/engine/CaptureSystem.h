#pragma once

// The devices of the machine, by category, from every backing that is
// switched on: real video devices always, the synthetic camera when asked for.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "videocapture/engine/AudioSource.h"
#include "videocapture/engine/CaptureDevice.h"

namespace videocapture::engine {

class TVideoEncoder;
class TAudioEncoder;
class TSyntheticClock;

class TCaptureBackend {
 public:
  virtual ~TCaptureBackend() = default;
  virtual std::vector<TDeviceInfo> Enumerate(TCategory category) = 0;
  // Null when no video device with that moniker is present now.
  virtual std::unique_ptr<TCaptureSource> Open(const std::string& moniker) = 0;
  // Whether a device of a category without streaming of its own here (audio
  // input, compressors) is present and can take part in a graph.
  virtual bool CanBind(TCategory category, const std::string& moniker) = 0;
  // Null when the backing has no such sound input or compressor.
  virtual std::unique_ptr<TAudioSource> OpenAudio(const std::string& moniker);
  virtual std::unique_ptr<TVideoEncoder> OpenVideoEncoder(const std::string& moniker, double quality);
  virtual std::unique_ptr<TAudioEncoder> OpenAudioEncoder(const std::string& moniker);
  // `notice` runs on the GUI thread each time devices may have come or gone;
  // several notices for one change are normal.
  virtual void Watch(std::function<void()> notice) = 0;
};

class TCaptureSystem {
 public:
  void AddBackend(std::unique_ptr<TCaptureBackend> backend);

  // Every backing's entries, in the order the backings were added.
  std::vector<TDeviceInfo> Enumerate(TCategory category);
  std::unique_ptr<TCaptureSource> Open(const std::string& moniker);
  bool CanBind(TCategory category, const std::string& moniker);
  std::unique_ptr<TAudioSource> OpenAudio(const std::string& moniker);
  std::unique_ptr<TVideoEncoder> OpenVideoEncoder(const std::string& moniker, double quality);
  std::unique_ptr<TAudioEncoder> OpenAudioEncoder(const std::string& moniker);
  void SetChangeHandler(std::function<void()> handler);

  // The time of played files; tests put a clock they step in its place.
  std::shared_ptr<TSyntheticClock> Clock();
  void SetClock(std::shared_ptr<TSyntheticClock> clock) { clock_ = std::move(clock); }

 private:
  std::vector<std::unique_ptr<TCaptureBackend>> backends_;
  std::function<void()> changed_;
  std::shared_ptr<TSyntheticClock> clock_;
};

// The process's capture system, made on first use: the V4L2 devices, the DV
// camcorders on IEEE 1394 buses, the ALSA sound inputs, our video and sound
// compressors, and the synthetic camera (with a synthetic microphone) when
// $PARLO_SYNTHETIC_CAMERA is set to a number of cameras (1 to 4).
TCaptureSystem& CaptureSystem();
// Replaces it (tests, before the first component is made, or after the
// device lists were finalised).
void InstallCaptureSystem(std::unique_ptr<TCaptureSystem> system);

}  // namespace videocapture::engine
