#include "videocapture/engine/Deinterlacer.h"

#include <cstring>

namespace videocapture::engine {

namespace {

// How far (squared, in luma levels) a row must stand out on both sides to
// count as combing: above the noise of a camera, below any real movement.
constexpr int kCombThreshold = 12 * 12;

int Luma(const std::uint8_t* bgr) { return (bgr[0] * 29 + bgr[1] * 150 + bgr[2] * 77) >> 8; }

}  // namespace

void Deinterlace(const TFrame& in, std::vector<std::uint8_t>& pixels, TFrame& out) {
  const std::size_t rowBytes = static_cast<std::size_t>(in.width) * 3;
  const std::size_t lastRow = static_cast<std::size_t>(in.height > 0 ? in.height - 1 : 0) * in.stride;
  if (!in.data || in.width <= 0 || in.height < 2 || in.stride < rowBytes || in.length < lastRow + rowBytes) {
    out = in;
    return;
  }
  const std::size_t stride = Rgb24Stride(in.width);
  pixels.resize(stride * static_cast<std::size_t>(in.height));
  auto source = [&](int y) { return in.data + static_cast<std::size_t>(in.topDown ? y : in.height - 1 - y) * in.stride; };
  for (int y = 0; y < in.height; ++y) std::memcpy(pixels.data() + static_cast<std::size_t>(y) * stride, source(y), rowBytes);
  for (int y = 1; y < in.height; y += 2) {
    const std::uint8_t* above = source(y - 1);
    const std::uint8_t* below = y + 1 < in.height ? source(y + 1) : above;
    const std::uint8_t* row = source(y);
    std::uint8_t* target = pixels.data() + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < in.width; ++x) {
      const std::size_t at = static_cast<std::size_t>(x) * 3;
      const int b = Luma(row + at);
      if ((Luma(above + at) - b) * (Luma(below + at) - b) <= kCombThreshold) continue;
      for (int c = 0; c < 3; ++c) target[at + c] = static_cast<std::uint8_t>((above[at + c] + below[at + c] + 1) / 2);
    }
  }
  out = in;
  out.data = pixels.data();
  out.length = pixels.size();
  out.stride = stride;
  out.topDown = true;
}

}  // namespace videocapture::engine
