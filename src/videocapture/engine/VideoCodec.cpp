#include "videocapture/engine/VideoCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Jpeg.h"
#include "videocapture/engine/CaptureSystem.h"

namespace videocapture::engine {

namespace {

// Row y (from the top) of a frame, or null when the frame does not hold it.
const std::uint8_t* FrameRow(const TFrame& f, int y) {
  const std::size_t row = static_cast<std::size_t>(f.topDown ? y : f.height - 1 - y);
  const std::size_t offset = row * f.stride;
  const std::size_t bytes = static_cast<std::size_t>(f.width) * 3;
  if (offset > f.length || f.length - offset < bytes) return nullptr;
  return f.data + offset;
}

bool Whole(const TFrame& f, int width, int height) {
  return f.data != nullptr && f.width == width && f.height == height && FrameRow(f, 0) && FrameRow(f, height - 1);
}

class MjpegEncoder : public TVideoEncoder {
 public:
  explicit MjpegEncoder(double quality) {
    // A compressor's quality runs from 0 to 1; the codec's own default is 75 of 100.
    options_.quality = quality < 0 ? 75 : static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
  }
  TSubType Codec() const override { return kMjpg; }
  std::string Encode(const TFrame& frame, int width, int height) override {
    if (!Whole(frame, width, height)) return {};
    return platform::EncodeJpeg(width, height, platform::TPixelOrder::Bgr,
                                [&](int y) { return FrameRow(frame, y); }, options_);
  }

 private:
  platform::TJpegOptions options_;
};

class DibEncoder : public TVideoEncoder {
 public:
  TSubType Codec() const override { return kRgb24; }
  std::string Encode(const TFrame& frame, int width, int height) override {
    if (!Whole(frame, width, height)) return {};
    const std::size_t stride = Rgb24Stride(width);
    std::string bits(stride * static_cast<std::size_t>(height), '\0');
    // A DIB stores its bottom row first.
    for (int y = 0; y < height; ++y)
      std::memcpy(bits.data() + static_cast<std::size_t>(height - 1 - y) * stride, FrameRow(frame, y),
                  static_cast<std::size_t>(width) * 3);
    return bits;
  }
};

const std::string kMjpegMoniker = "@codec#MJPG#";

class CodecBackend : public TCaptureBackend {
 public:
  std::vector<TDeviceInfo> Enumerate(TCategory category) override {
    if (category != TCategory::VideoCompressor) return {};
    TDeviceInfo info;
    info.moniker = kMjpegMoniker;
    info.friendlyName = "MJPEG Compressor";
    return {info};
  }
  std::unique_ptr<TCaptureSource> Open(const std::string&) override { return nullptr; }
  bool CanBind(TCategory category, const std::string& moniker) override {
    return category == TCategory::VideoCompressor && moniker == kMjpegMoniker;
  }
  std::unique_ptr<TVideoEncoder> OpenVideoEncoder(const std::string& moniker, double quality) override {
    return moniker == kMjpegMoniker ? MakeMjpegEncoder(quality) : nullptr;
  }
  void Watch(std::function<void()>) override {}
};

}  // namespace

std::unique_ptr<TVideoEncoder> MakeMjpegEncoder(double quality) { return std::make_unique<MjpegEncoder>(quality); }
std::unique_ptr<TVideoEncoder> MakeDibEncoder() { return std::make_unique<DibEncoder>(); }
std::unique_ptr<TCaptureBackend> MakeCodecBackend() { return std::make_unique<CodecBackend>(); }

bool CanDecode(TSubType codec, int bitCount) {
  return codec == kMjpg || codec == FourCC('m', 'j', 'p', 'g') || (codec == kRgb24 && bitCount == 24);
}

bool DecodeChunk(TSubType codec, int bitCount, int width, int height, const std::string& chunk,
                 std::vector<std::uint8_t>& pixels, TFrame& frame, bool topDownRows) {
  if (width <= 0 || height <= 0 || chunk.empty() || !CanDecode(codec, bitCount)) return false;
  const std::size_t stride = Rgb24Stride(width);
  const std::size_t bytes = stride * static_cast<std::size_t>(height);
  frame = {};
  frame.width = width;
  frame.height = height;
  frame.stride = stride;
  frame.length = bytes;
  if (codec == kRgb24) {
    if (chunk.size() < bytes) return false;
    frame.data = reinterpret_cast<const std::uint8_t*>(chunk.data());
    frame.topDown = topDownRows;
    return true;
  }
  pixels.resize(bytes);
  if (platform::DecodeJpegInto(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size(), width, height,
                               platform::TPixelOrder::Bgr, pixels.data(), stride) != platform::TJpegDecoded::Done)
    return false;
  frame.data = pixels.data();
  frame.topDown = true;
  return true;
}

}  // namespace videocapture::engine
