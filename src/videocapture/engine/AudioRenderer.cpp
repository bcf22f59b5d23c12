#include "videocapture/engine/AudioRenderer.h"

#include <alsa/asoundlib.h>

namespace videocapture::engine {

namespace {

// Half a second of sound in the device: enough to ride out a busy moment,
// little enough to stay in step with the picture.
constexpr unsigned kLatencyMicroseconds = 500000;

}  // namespace

struct TAudioRenderer::Device {
  snd_pcm_t* pcm = nullptr;
  unsigned blockAlign = 0;
  ~Device() {
    if (pcm) snd_pcm_close(pcm);
  }
};

std::shared_ptr<TAudioRenderer> TAudioRenderer::Open(const TPcmFormat& format, std::string& error) {
  auto device = std::make_unique<Device>();
  device->blockAlign = format.BlockAlign();
  int rc = device->blockAlign == 0 ? -EINVAL
                                   : snd_pcm_open(&device->pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (rc == 0)
    rc = snd_pcm_set_params(device->pcm, format.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                            SND_PCM_ACCESS_RW_INTERLEAVED, format.channels, format.rate, 1, kLatencyMicroseconds);
  if (rc < 0) {
    error = snd_strerror(rc);
    return nullptr;
  }
  return std::shared_ptr<TAudioRenderer>(new TAudioRenderer(std::move(device)));
}

TAudioRenderer::TAudioRenderer(std::unique_ptr<Device> device) : device_(std::move(device)) {}

TAudioRenderer::~TAudioRenderer() = default;

void TAudioRenderer::ReceiveAudio(const TAudioBlock& block) {
  const std::uint8_t* data = block.data;
  auto frames = static_cast<snd_pcm_uframes_t>(block.length / device_->blockAlign);
  // One recovery per block: an underrun (the device ran dry) is prepared
  // again and the block goes on; a second failure drops the block.
  for (bool recovered = false; frames > 0;) {
    const snd_pcm_sframes_t n = snd_pcm_writei(device_->pcm, data, frames);
    if (n == -EAGAIN) return;
    if (n < 0) {
      if (recovered || snd_pcm_recover(device_->pcm, static_cast<int>(n), 1) < 0) return;
      recovered = true;
      continue;
    }
    frames -= static_cast<snd_pcm_uframes_t>(n);
    data += static_cast<std::size_t>(n) * device_->blockAlign;
  }
}

}  // namespace videocapture::engine
