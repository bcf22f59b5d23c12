#pragma once

// The multiplexer at the end of a capture graph: it compresses each frame
// (or keeps it as DIB rows) and writes it, with the sound, to the AVI
// writer. Frames keep their time: a frame that arrives late, after frames
// were lost on the way, is preceded by empty chunks for the lost ones. With
// the sound as the master stream, the video is made to last as long as the
// sound that was recorded.

#include <atomic>
#include <functional>
#include <memory>

#include "videocapture/engine/AudioCodec.h"
#include "videocapture/engine/AviWriter.h"
#include "videocapture/engine/CaptureGraph.h"
#include "videocapture/engine/VideoCodec.h"

namespace videocapture::engine {

class TAviMux : public TFrameConsumer {
 public:
  // Without `withSound` the file has no sound stream and sound is passed by.
  // Without `audioEncoder` the sound is written as the PCM it arrives in,
  // of format `pcm`.
  TAviMux(std::shared_ptr<TAviWriter> writer, std::unique_ptr<TVideoEncoder> encoder, const TAviVideoSpec& video,
          bool withSound, std::unique_ptr<TAudioEncoder> audioEncoder = nullptr, TPcmFormat pcm = {});

  // Nothing is written until the capture is released (the start of a
  // capture waits for the application's go-ahead while the graph runs).
  void Release() { released_ = true; }
  // Called once, on a streaming thread, when the first write fails.
  void SetFailureNotify(std::function<void()> notify) { failureNotify_ = std::move(notify); }
  void SetAudioMaster(bool on) { audioMaster_ = on; }
  // After the streams stopped: writes what the sound encoder held back and
  // gives the writer the master stream's length. The writer closes after.
  void Finish();

  void Receive(const TFrame& frame) override;
  void ReceiveAudio(const TAudioBlock& block) override;

 private:
  void Check(bool written);

  std::shared_ptr<TAviWriter> writer_;
  std::unique_ptr<TVideoEncoder> encoder_;
  TAviVideoSpec video_;
  bool withSound_;
  std::unique_ptr<TAudioEncoder> audioEncoder_;
  TPcmFormat pcm_;
  bool audioMaster_ = false;
  std::atomic<bool> released_{false};
  std::atomic<bool> failed_{false};
  std::function<void()> failureNotify_;
  double firstTime_ = -1;
  std::int64_t frames_ = 0;
  std::int64_t pcmBytes_ = 0;  // of the sound written, before any encoding
};

}  // namespace videocapture::engine
