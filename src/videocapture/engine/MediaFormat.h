#pragma once

// The media vocabulary of the capture layer: sub-types, video formats, the
// stream capabilities a capture pin offers, and one frame as it travels from a
// device's streaming thread to the graph's consumers.

#include <cstddef>
#include <cstdint>
#include <string>

namespace videocapture::engine {

// A sub-type is a four-character code, first character in the lowest byte.
// The uncompressed RGB layouts have no such code; they live in a range that no
// printable code reaches, with the bit depth in the low byte.
using TSubType = std::uint32_t;

constexpr TSubType FourCC(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

constexpr TSubType kRgbFamily = 0xE4360000u;
constexpr TSubType kRgb1 = kRgbFamily | 1;
constexpr TSubType kRgb4 = kRgbFamily | 4;
constexpr TSubType kRgb8 = kRgbFamily | 8;
constexpr TSubType kRgb565 = kRgbFamily | 16;
constexpr TSubType kRgb555 = kRgbFamily | 15;
constexpr TSubType kRgb24 = kRgbFamily | 24;
constexpr TSubType kRgb32 = kRgbFamily | 32;
constexpr TSubType kYuy2 = FourCC('Y', 'U', 'Y', '2');
constexpr TSubType kMjpg = FourCC('M', 'J', 'P', 'G');
constexpr TSubType kDvsd = FourCC('d', 'v', 's', 'd');

constexpr bool IsRgbFamily(TSubType s) { return (s & 0xFFFF0000u) == kRgbFamily; }

// "RGB24", "YUY2", "????" for an RGB layout without a name.
std::string SubTypeName(TSubType subtype);
// The reverse; 0 for a name that is neither an RGB name nor four characters.
TSubType SubTypeFromName(const std::string& name);

// Time in units of 100 ns, the unit of frame intervals and sample times.
using TRefTime = std::int64_t;
constexpr TRefTime kUnitsPerSecond = 10000000;

enum class TFormatKind { None, VideoInfo, VideoInfo2 };

// A video format as a pin states it. A zero interval means the device did not
// say; nobody divides by it.
struct TVideoFormat {
  TSubType subtype = 0;
  int width = 0;
  int height = 0;
  TRefTime avgTimePerFrame = 0;
  TFormatKind kind = TFormatKind::VideoInfo;

  bool operator==(const TVideoFormat&) const = default;
};

// What one capability of a capture pin allows around its format.
struct TStreamCaps {
  int minWidth = 0, minHeight = 0;
  int maxWidth = 0, maxHeight = 0;
  int granularityX = 1, granularityY = 1;
  TRefTime minFrameInterval = 0;
  TRefTime maxFrameInterval = 0;
};

// Bytes per row of a 24-bit bitmap: rows are padded to 4 bytes.
constexpr std::size_t Rgb24Stride(int width) {
  return width <= 0 ? 0 : (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
}

// One RGB24 frame (blue, green, red per pixel) lent to consumers for the
// length of a call. `data` may be null: a sample without a buffer. Rows are
// `stride` bytes apart; the first row in memory is the top one when topDown.
struct TFrame {
  double sampleTime = 0;  // seconds since the stream started
  const std::uint8_t* data = nullptr;
  std::size_t length = 0;
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  bool topDown = false;
  // The picture of a paused player after a seek: shown, though nothing runs.
  bool still = false;
  // The frame as a device sent it when that is compressed (a DV frame, with
  // its sound); `data` is then null until a decoder has made pixels of it.
  const std::uint8_t* packed = nullptr;
  std::size_t packedLength = 0;
};

}  // namespace videocapture::engine
