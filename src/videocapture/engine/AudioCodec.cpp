#include "videocapture/engine/AudioCodec.h"

#include <algorithm>

#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/Riff.h"

namespace videocapture::engine {

TAudioCoding PcmCoding(unsigned rate, unsigned bits, unsigned channels) {
  TAudioCoding c;
  c.rate = rate;
  c.channels = channels;
  c.bitsPerSample = bits;
  c.blockAlign = channels * bits / 8;
  c.avgBytesPerSec = rate * c.blockAlign;
  c.scale = c.blockAlign;
  c.unitRate = c.avgBytesPerSec;
  c.sampleSize = c.blockAlign;
  return c;
}

void WidenTo16(const std::uint8_t* pcm, std::size_t length, unsigned bits, std::vector<std::int16_t>& out) {
  if (bits == 8) {
    for (std::size_t i = 0; i < length; ++i) out.push_back(static_cast<std::int16_t>((pcm[i] - 128) * 256));
    return;
  }
  for (std::size_t i = 0; i + 1 < length; i += 2)
    out.push_back(static_cast<std::int16_t>(pcm[i] | pcm[i + 1] << 8));
}

namespace {

// IMA ADPCM as wave files carry it: blocks that start each channel from a
// sample kept whole, followed by four-bit steps, eight per channel in turn.
constexpr std::int16_t kStepSizes[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndexSteps[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

class ImaAdpcmEncoder : public TAudioEncoder {
 public:
  bool Start(const TPcmFormat& input) override {
    if ((input.bits != 8 && input.bits != 16) || input.channels < 1 || input.channels > 2 || input.rate == 0)
      return false;
    input_ = input;
    const unsigned ch = input.channels;
    // The block length players expect: longer at higher rates, so that a
    // block lasts about the same time.
    const unsigned blockAlign = 256 * ch * std::max(1u, input.rate / 11025);
    samplesPerBlock_ = (blockAlign - 4 * ch) * 8 / (4 * ch) + 1;
    coding_ = {};
    coding_.formatTag = 0x11;
    coding_.rate = input.rate;
    coding_.channels = ch;
    coding_.bitsPerSample = 4;
    coding_.blockAlign = blockAlign;
    coding_.avgBytesPerSec = static_cast<unsigned>(static_cast<std::uint64_t>(input.rate) * blockAlign / samplesPerBlock_);
    TRiffBuilder extra;
    extra.U16(static_cast<std::uint16_t>(samplesPerBlock_));
    coding_.extra = extra.Str();
    coding_.scale = samplesPerBlock_;
    coding_.unitRate = input.rate;
    coding_.sampleSize = blockAlign;
    pending_.clear();
    std::fill(std::begin(index_), std::end(index_), 0);
    return true;
  }

  const TAudioCoding& Coding() const override { return coding_; }

  std::string Encode(const std::uint8_t* pcm, std::size_t length) override {
    WidenTo16(pcm, length - length % input_.BlockAlign(), input_.bits, pending_);
    std::string out;
    const std::size_t block = std::size_t{samplesPerBlock_} * input_.channels;
    std::size_t used = 0;
    for (; pending_.size() - used >= block; used += block) EncodeBlock(pending_.data() + used, out);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
    return out;
  }

  std::string Finish() override {
    std::string out;
    if (pending_.empty()) return out;
    pending_.resize(std::size_t{samplesPerBlock_} * input_.channels, 0);
    EncodeBlock(pending_.data(), out);
    pending_.clear();
    return out;
  }

 private:
  // One step from `predictor` toward `sample`: the nibble, with the
  // predictor and step index moved as a decoder will move them.
  static std::uint8_t Step(int sample, int& predictor, int& index) {
    int diff = sample - predictor;
    std::uint8_t nibble = 0;
    if (diff < 0) {
      nibble = 8;
      diff = -diff;
    }
    int step = kStepSizes[index];
    int delta = step >> 3;
    for (std::uint8_t bit = 4; bit > 0; bit >>= 1, step >>= 1)
      if (diff >= step) {
        nibble |= bit;
        diff -= step;
        delta += step;
      }
    predictor = std::clamp(predictor + ((nibble & 8) ? -delta : delta), -32768, 32767);
    index = std::clamp(index + kIndexSteps[nibble & 7], 0, 88);
    return nibble;
  }

  void EncodeBlock(const std::int16_t* samples, std::string& out) {
    const unsigned ch = input_.channels;
    int predictor[2];
    for (unsigned c = 0; c < ch; ++c) {
      predictor[c] = samples[c];
      TRiffBuilder header;
      header.U16(static_cast<std::uint16_t>(samples[c])).U8(static_cast<std::uint8_t>(index_[c])).U8(0);
      out += header.Str();
    }
    for (unsigned first = 1; first < samplesPerBlock_; first += 8)
      for (unsigned c = 0; c < ch; ++c)
        for (unsigned k = 0; k < 8; k += 2) {
          const std::uint8_t low = Step(samples[(first + k) * ch + c], predictor[c], index_[c]);
          const std::uint8_t high = Step(samples[(first + k + 1) * ch + c], predictor[c], index_[c]);
          out.push_back(static_cast<char>(low | high << 4));
        }
  }

  TPcmFormat input_;
  TAudioCoding coding_;
  unsigned samplesPerBlock_ = 0;
  int index_[2] = {0, 0};
  std::vector<std::int16_t> pending_;
};

struct CodecEntry {
  const char* moniker;
  const char* name;
  std::unique_ptr<TAudioEncoder> (*make)();
};
const CodecEntry kCodecs[] = {{"@codec#IMA4#", "IMA ADPCM", MakeImaAdpcmEncoder},
                              {"@codec#MP3#", "MPEG Layer-3", MakeMp3Encoder}};

class AudioCodecBackend : public TCaptureBackend {
 public:
  std::vector<TDeviceInfo> Enumerate(TCategory category) override {
    std::vector<TDeviceInfo> list;
    if (category != TCategory::AudioCompressor) return list;
    for (const auto& codec : kCodecs) list.push_back({codec.moniker, codec.name});
    return list;
  }
  std::unique_ptr<TCaptureSource> Open(const std::string&) override { return nullptr; }
  bool CanBind(TCategory category, const std::string& moniker) override {
    return category == TCategory::AudioCompressor && Find(moniker) != nullptr;
  }
  std::unique_ptr<TAudioEncoder> OpenAudioEncoder(const std::string& moniker) override {
    const CodecEntry* codec = Find(moniker);
    return codec ? codec->make() : nullptr;
  }
  void Watch(std::function<void()>) override {}

 private:
  static const CodecEntry* Find(const std::string& moniker) {
    for (const auto& codec : kCodecs)
      if (moniker == codec.moniker) return &codec;
    return nullptr;
  }
};

}  // namespace

std::unique_ptr<TAudioEncoder> MakeImaAdpcmEncoder() { return std::make_unique<ImaAdpcmEncoder>(); }
std::unique_ptr<TCaptureBackend> MakeAudioCodecBackend() { return std::make_unique<AudioCodecBackend>(); }

}  // namespace videocapture::engine
