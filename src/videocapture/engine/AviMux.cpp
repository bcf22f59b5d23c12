#include "videocapture/engine/AviMux.h"

#include <cmath>

#include "platform/Exception.h"

namespace videocapture::engine {

namespace {

// A longer gap is a stall of the device, not lost frames worth keeping time for.
constexpr std::int64_t kMaxFilledFrames = 300;

}  // namespace

TAviMux::TAviMux(std::shared_ptr<TAviWriter> writer, std::unique_ptr<TVideoEncoder> encoder,
                 const TAviVideoSpec& video, bool withSound, std::unique_ptr<TAudioEncoder> audioEncoder,
                 TPcmFormat pcm)
    : writer_(std::move(writer)),
      encoder_(std::move(encoder)),
      video_(video),
      withSound_(withSound),
      audioEncoder_(std::move(audioEncoder)),
      pcm_(pcm) {}

void TAviMux::Check(bool written) {
  if (written || failed_.exchange(true)) return;
  if (failureNotify_) failureNotify_();
}

void TAviMux::Receive(const TFrame& frame) {
  if (!released_ || failed_ || frame.still) return;
  const double interval = static_cast<double>(video_.interval) / kUnitsPerSecond;
  if (firstTime_ < 0) firstTime_ = frame.sampleTime;
  const auto slot = static_cast<std::int64_t>(std::llround((frame.sampleTime - firstTime_) / interval));
  for (std::int64_t lost = 0; frames_ < slot && lost < kMaxFilledFrames; ++lost, ++frames_) {
    Check(writer_->WriteVideo(nullptr, 0));
    if (failed_) return;
  }
  std::string bytes;
  try {
    bytes = encoder_->Encode(frame, video_.width, video_.height);
  } catch (const platform::EStreamError&) {
    bytes.clear();  // written as a lost frame
  }
  Check(writer_->WriteVideo(bytes.data(), bytes.size()));
  ++frames_;
}

void TAviMux::ReceiveAudio(const TAudioBlock& block) {
  if (!withSound_ || !released_ || failed_ || block.length == 0) return;
  pcmBytes_ += static_cast<std::int64_t>(block.length);
  if (!audioEncoder_) {
    Check(writer_->WriteAudio(block.data, block.length));
    return;
  }
  const std::string bytes = audioEncoder_->Encode(block.data, block.length);
  if (!bytes.empty()) Check(writer_->WriteAudio(bytes.data(), bytes.size()));
}

void TAviMux::Finish() {
  if (!withSound_ || failed_) return;
  if (audioEncoder_) {
    const std::string rest = audioEncoder_->Finish();
    if (!rest.empty()) Check(writer_->WriteAudio(rest.data(), rest.size()));
  }
  const std::int64_t bytesPerSecond = std::int64_t{pcm_.rate} * pcm_.BlockAlign();
  if (audioMaster_ && pcmBytes_ > 0 && bytesPerSecond > 0)
    writer_->StretchVideoTo(static_cast<double>(pcmBytes_) / static_cast<double>(bytesPerSecond));
}

}  // namespace videocapture::engine
