#include "videocapture/engine/PixelConvert.h"

#include <algorithm>
#include <cstring>

namespace videocapture::engine {

namespace {

inline std::uint8_t Clip(int v) { return static_cast<std::uint8_t>(std::clamp(v >> 8, 0, 255)); }

// Studio-range BT.601, the colour space webcams send YUYV in, in 8.8 fixed point.
inline void Pixel(int y, int u, int v, std::uint8_t* out) {
  const int c = 298 * (y - 16) + 128;
  const int d = u - 128;
  const int e = v - 128;
  out[0] = Clip(c + 516 * d);
  out[1] = Clip(c - 100 * d - 208 * e);
  out[2] = Clip(c + 409 * e);
}

// The rows `length` holds in full; the last row needs only its pixels, not
// the padding after them.
std::size_t WholeRows(std::size_t length, std::size_t rowBytes, std::size_t stride, int height) {
  if (rowBytes == 0 || stride < rowBytes || length < rowBytes) return 0;
  return std::min<std::size_t>(static_cast<std::size_t>(std::max(0, height)), (length - rowBytes) / stride + 1);
}

void BlackenFrom(std::size_t row, int width, int height, std::uint8_t* dst, std::size_t dstStride) {
  for (std::size_t y = row; y < static_cast<std::size_t>(std::max(0, height)); ++y)
    std::memset(dst + y * dstStride, 0, static_cast<std::size_t>(width) * 3);
}

}  // namespace

void YuyvToBgr(const std::uint8_t* src, std::size_t length, std::size_t srcStride, int width, int height,
               std::uint8_t* dst, std::size_t dstStride) {
  if (width <= 0 || height <= 0) return;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 2;
  const std::size_t rows = src && srcStride >= rowBytes ? WholeRows(length, rowBytes, srcStride, height) : 0;
  for (std::size_t y = 0; y < rows; ++y) {
    const std::uint8_t* in = src + y * srcStride;
    std::uint8_t* out = dst + y * dstStride;
    int x = 0;
    for (; x + 1 < width; x += 2, in += 4, out += 6) {
      Pixel(in[0], in[1], in[3], out);
      Pixel(in[2], in[1], in[3], out + 3);
    }
    if (x < width) Pixel(in[0], in[1], 128, out);  // a lone last pixel has no V of its own
  }
  BlackenFrom(rows, width, height, dst, dstStride);
}

void CopyBgr(const std::uint8_t* src, std::size_t length, std::size_t srcStride, int width, int height,
             std::uint8_t* dst, std::size_t dstStride) {
  if (width <= 0 || height <= 0) return;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  const std::size_t rows = src ? WholeRows(length, rowBytes, srcStride, height) : 0;
  for (std::size_t y = 0; y < rows; ++y) std::memcpy(dst + y * dstStride, src + y * srcStride, rowBytes);
  BlackenFrom(rows, width, height, dst, dstStride);
}

}  // namespace videocapture::engine
