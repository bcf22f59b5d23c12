#pragma once

// Plays the sound that reaches it on the machine's sound output (ALSA's
// default device). It never holds up the thread that brings the sound: what
// the device cannot take at once is dropped, as a sound card drops what
// comes late, and the capture that feeds it loses nothing.

#include <memory>
#include <string>

#include "videocapture/engine/CaptureGraph.h"

namespace videocapture::engine {

class TAudioRenderer : public TFrameConsumer {
 public:
  // Null, with ALSA's reason, when the device cannot be opened for the format.
  static std::shared_ptr<TAudioRenderer> Open(const TPcmFormat& format, std::string& error);
  ~TAudioRenderer() override;
  TAudioRenderer(const TAudioRenderer&) = delete;
  TAudioRenderer& operator=(const TAudioRenderer&) = delete;

  void Receive(const TFrame&) override {}
  void ReceiveAudio(const TAudioBlock& block) override;

 private:
  struct Device;
  explicit TAudioRenderer(std::unique_ptr<Device> device);
  std::unique_ptr<Device> device_;
};

}  // namespace videocapture::engine
