// MP3 through LAME, at a constant bit rate, so that the stream's bytes keep
// time by themselves: the file counts them as it counts PCM samples.

#include <lame/lame.h>

#include "videocapture/engine/AudioCodec.h"
#include "videocapture/engine/Riff.h"

namespace videocapture::engine {

namespace {

class Mp3Encoder : public TAudioEncoder {
 public:
  ~Mp3Encoder() override {
    if (lame_) lame_close(lame_);
  }

  bool Start(const TPcmFormat& input) override {
    if ((input.bits != 8 && input.bits != 16) || input.channels < 1 || input.channels > 2) return false;
    if (lame_) lame_close(lame_);
    lame_ = lame_init();
    if (!lame_) return false;
    input_ = input;
    // Rates of speech quality need fewer bits; these are bit rates that
    // every MPEG version of each rate has.
    const int perChannel = input.rate >= 32000 ? 64 : input.rate >= 16000 ? 32 : 16;
    const int kbps = perChannel * static_cast<int>(input.channels);
    lame_set_in_samplerate(lame_, static_cast<int>(input.rate));
    lame_set_out_samplerate(lame_, static_cast<int>(input.rate));
    lame_set_num_channels(lame_, static_cast<int>(input.channels));
    lame_set_mode(lame_, input.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, kbps);
    // No tag frames: the stream is chunks of an AVI, not a file of its own.
    lame_set_bWriteVbrTag(lame_, 0);
    lame_set_write_id3tag_automatic(lame_, 0);
    if (lame_init_params(lame_) < 0) {
      lame_close(lame_);
      lame_ = nullptr;
      return false;
    }
    const unsigned rate = static_cast<unsigned>(lame_get_out_samplerate(lame_));
    const unsigned bytesPerSec = static_cast<unsigned>(lame_get_brate(lame_)) * 1000 / 8;
    const unsigned frameSamples = static_cast<unsigned>(lame_get_framesize(lame_));
    coding_ = {};
    coding_.formatTag = 0x55;
    coding_.rate = rate;
    coding_.channels = input.channels;
    coding_.bitsPerSample = 0;
    coding_.blockAlign = 1;
    coding_.avgBytesPerSec = bytesPerSec;
    // The MPEG layer-3 wave format: an MPEG stream, ISO padding, the average
    // frame length, one frame per block, and the encoder's delay.
    TRiffBuilder extra;
    extra.U16(1).U32(0).U16(static_cast<std::uint16_t>(frameSamples * bytesPerSec / rate)).U16(1);
    extra.U16(static_cast<std::uint16_t>(lame_get_encoder_delay(lame_)));
    coding_.extra = extra.Str();
    coding_.scale = 1;
    coding_.unitRate = bytesPerSec;
    coding_.sampleSize = 1;
    return true;
  }

  const TAudioCoding& Coding() const override { return coding_; }

  std::string Encode(const std::uint8_t* pcm, std::size_t length) override {
    samples_.clear();
    WidenTo16(pcm, length - length % input_.BlockAlign(), input_.bits, samples_);
    const std::size_t frames = samples_.size() / input_.channels;
    if (!lame_ || frames == 0) return {};
    left_.resize(frames);
    right_.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
      left_[i] = samples_[i * input_.channels];
      right_[i] = samples_[i * input_.channels + input_.channels - 1];
    }
    std::string out(frames * 5 / 4 + 7200, '\0');
    const int n = lame_encode_buffer(lame_, left_.data(), right_.data(), static_cast<int>(frames), Bytes(out),
                                     static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
  }

  std::string Finish() override {
    if (!lame_) return {};
    std::string out(7200, '\0');
    const int n = lame_encode_flush(lame_, Bytes(out), static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
  }

 private:
  static unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

  lame_t lame_ = nullptr;
  TPcmFormat input_;
  TAudioCoding coding_;
  std::vector<std::int16_t> samples_, left_, right_;
};

}  // namespace

std::unique_ptr<TAudioEncoder> MakeMp3Encoder() { return std::make_unique<Mp3Encoder>(); }

}  // namespace videocapture::engine
