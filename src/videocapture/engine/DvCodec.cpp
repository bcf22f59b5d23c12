#include "videocapture/engine/DvCodec.h"

#include <libdv/dv.h>

#include <algorithm>
#include <cmath>

namespace videocapture::engine {

namespace {

// The eighth resolution is the width of the DC coefficients of 704 pixels.
constexpr int kDcWidth = 88;

dv_decoder_t* NewDecoder() { return dv_decoder_new(0, 0, 0); }

// Whether the frame holds a whole DV frame whose header libdv understands.
bool Parse(dv_decoder_t* dv, const std::uint8_t* frame, std::size_t length) {
  return frame && length >= kDv525.frameBytes && dv_parse_header(dv, frame) >= 0 && dv->frame_size <= length;
}

class DvDecoder : public TFrameFilter {
 public:
  explicit DvDecoder(int divisor) : divisor_(divisor), dv_(NewDecoder()) { dv_set_quality(dv_, DV_QUALITY_BEST); }
  ~DvDecoder() override { dv_decoder_free(dv_); }

  TVideoFormat Output(const TVideoFormat& in) const override {
    return {kRgb24, DvDecodedWidth(in.width, divisor_), in.height / divisor_, in.avgTimePerFrame,
            TFormatKind::VideoInfo};
  }

  const TFrame* Filter(const TFrame& in) override {
    if (!Parse(dv_, in.packed, in.packedLength) || dv_->width != in.width || dv_->height != in.height) return nullptr;
    const int width = dv_->width, height = dv_->height;
    rgb_.resize(static_cast<std::size_t>(width) * height * 3);
    std::uint8_t* pixels[3] = {rgb_.data(), nullptr, nullptr};
    int pitches[3] = {width * 3, 0, 0};
    dv_decode_full_frame(dv_, in.packed, e_dv_color_rgb, pixels, pitches);
    Shrink(width, height);
    out_ = in;
    out_.data = bgr_.data();
    out_.length = bgr_.size();
    out_.width = DvDecodedWidth(width, divisor_);
    out_.height = height / divisor_;
    out_.stride = Rgb24Stride(out_.width);
    out_.topDown = true;
    out_.packed = nullptr;
    out_.packedLength = 0;
    return &out_;
  }

 private:
  // Averages each divisor x divisor block, and turns RGB into BGR.
  void Shrink(int width, int height) {
    const int d = divisor_, w = DvDecodedWidth(width, d), h = height / d;
    const int left = (width - w * d) / 2;
    const std::size_t stride = Rgb24Stride(w);
    bgr_.assign(stride * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        unsigned sum[3] = {0, 0, 0};
        for (int yy = y * d; yy < y * d + d; ++yy) {
          const std::uint8_t* p = &rgb_[(static_cast<std::size_t>(yy) * width + left + x * d) * 3];
          for (int xx = 0; xx < d; ++xx, p += 3)
            for (int c = 0; c < 3; ++c) sum[c] += p[c];
        }
        std::uint8_t* q = &bgr_[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3];
        const unsigned n = static_cast<unsigned>(d * d);
        for (int c = 0; c < 3; ++c) q[c] = static_cast<std::uint8_t>((sum[2 - c] + n / 2) / n);
      }
  }

  int divisor_;
  dv_decoder_t* dv_;
  std::vector<std::uint8_t> rgb_, bgr_;
  TFrame out_;
};

class DvSplitter : public TFrameFilter {
 public:
  explicit DvSplitter(bool everySecondFrame) : halve_(everySecondFrame) {}
  TVideoFormat Output(const TVideoFormat& in) const override {
    TVideoFormat out = in;
    if (halve_) out.avgTimePerFrame *= 2;
    return out;
  }
  const TFrame* Filter(const TFrame& in) override { return halve_ && (count_++ % 2) ? nullptr : &in; }

 private:
  bool halve_;
  std::uint64_t count_ = 0;
};

class DvPassThrough : public TVideoEncoder {
 public:
  TSubType Codec() const override { return kDvsd; }
  std::string Encode(const TFrame& frame, int, int) override {
    if (!frame.packed) return {};
    return std::string(reinterpret_cast<const char*>(frame.packed), frame.packedLength);
  }
};

}  // namespace

int DvDecodedWidth(int width, int divisor) { return divisor >= 8 ? std::min(kDcWidth, width / 8) : width / divisor; }

std::shared_ptr<TFrameFilter> MakeDvDecoder(int divisor) { return std::make_shared<DvDecoder>(divisor); }
std::shared_ptr<TFrameFilter> MakeDvSplitter(bool everySecondFrame) {
  return std::make_shared<DvSplitter>(everySecondFrame);
}
std::unique_ptr<TVideoEncoder> MakeDvPassThrough() { return std::make_unique<DvPassThrough>(); }

// ---------------------------------------------------------------- sound

TDvSoundDecoder::TDvSoundDecoder() : dv_(NewDecoder()) {
  for (auto& c : channels_) c.resize(DV_AUDIO_MAX_SAMPLES * 2);
}

TDvSoundDecoder::~TDvSoundDecoder() { dv_decoder_free(dv_); }

bool TDvSoundDecoder::Decode(const std::uint8_t* frame, std::size_t length, std::vector<std::uint8_t>& pcm) {
  if (!Parse(dv_, frame, length)) return false;
  std::int16_t* out[4] = {channels_[0].data(), channels_[1].data(), channels_[2].data(), channels_[3].data()};
  if (!dv_decode_full_audio(dv_, frame, out)) return false;
  const int n = std::min(dv_get_num_samples(dv_), DV_AUDIO_MAX_SAMPLES * 2);
  const int rate = dv_get_frequency(dv_);
  const bool stereo = dv_get_num_channels(dv_) >= 2;
  if (n <= 0 || rate <= 0) return false;
  // Of four channels the first pair is the main sound.
  auto sample = [&](int i, int c) { return i < 0 ? last_[c] : out[stereo ? c : 0][i]; };
  auto put = [&](int left, int right) {
    for (const int v : {left, right}) {
      pcm.push_back(static_cast<std::uint8_t>(v & 0xFF));
      pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
  };
  // Linear interpolation onto the 48 kHz grid; sample -1 is the last of the
  // frame before, so the grid runs on across frames without a seam.
  const double step = static_cast<double>(rate) / kRate;
  double t = phase_;
  for (; t <= n - 1; t += step) {
    const int i = static_cast<int>(std::floor(t));
    const double f = t - i;
    int v[2];
    for (int c = 0; c < 2; ++c)
      v[c] = i + 1 > n - 1 ? sample(i, c)
                           : static_cast<int>(std::lround(sample(i, c) + f * (sample(i + 1, c) - sample(i, c))));
    put(v[0], v[1]);
  }
  phase_ = t - n;
  last_[0] = sample(n - 1, 0);
  last_[1] = sample(n - 1, 1);
  return true;
}

}  // namespace videocapture::engine
