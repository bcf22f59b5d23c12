#pragma once

// What the capture tests share: an application object, a synthetic capture
// system on a clock the test steps, a fresh home for the settings cache, a
// sound output that writes to a file, and a component whose reports are
// collected.

#include <QApplication>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/TempHome.h"
#include "videocapture/VideoCapture.h"
#include "videocapture/engine/SyntheticCamera.h"

namespace capture_test {

QApplication& App();

// Runs the event loop until pred() holds (at most timeoutMs).
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

class SyntheticWorld {
 public:
  // Cameras made from the standard script, named "Camera 1" ... on a manual clock.
  explicit SyntheticWorld(int cameras = 1, bool microphone = true);
  ~SyntheticWorld();

  videocapture::engine::TSyntheticBackend& Backend() { return *backend_; }
  std::shared_ptr<videocapture::engine::TSyntheticCamera> Camera(int i) { return backend_->Camera(i); }
  videocapture::engine::TSyntheticClock& Clock() { return *clock_; }
  // Moves the clock on by whole frames of a camera streaming at `fps`.
  void StepFrames(int frames, int fps = 15);
  // Lists our compressors too (before the first component is made).
  void AddCodecs();
  // ALSA's default output, for as long as the world lasts, writes what it
  // plays to this file, anew each time the output is opened.
  std::string PlayedFile() const { return (home_.Home() / "played.raw").string(); }
  // Makes the default output one that cannot be opened.
  void BreakSoundOutput();

 private:
  void UseSoundOutput(const std::string& config, const std::string& text);

  testing_support::TempHome home_;
  std::string savedAlsaConfig_;
  bool hadAlsaConfig_ = false;
  std::shared_ptr<videocapture::engine::TSyntheticClock> clock_;
  videocapture::engine::TSyntheticBackend* backend_ = nullptr;
};

// Output of a shell command; empty when it failed.
std::string Shell(const std::string& command);
// The frame number in a binary PPM as an outside decoder wrote it.
int PpmFrameNumber(const std::string& ppm);
// The sound of a file as 16-bit PCM, as ffmpeg decodes it.
std::string DecodedSound(const std::string& file);
// How far, in dB, `decoded` stays from the 16-bit PCM it was made from.
double SignalToNoise(const std::string& original, const std::string& decoded);
// The pitch of one channel of 16-bit stereo PCM at `rate`, from its zero crossings.
double ToneOf(const std::string& pcm, int channel, unsigned rate);

// A component that keeps what it reported.
struct Watched {
  Watched();
  std::unique_ptr<TVideoCapture> vc;
  std::vector<std::string> errors;  // "code text" of every OnErrorLog
  std::vector<std::string> events;  // names of lifecycle events, in order
  // Initialises it (its first tick) without waiting for the manager's timer.
  void Tick();
};

}  // namespace capture_test
