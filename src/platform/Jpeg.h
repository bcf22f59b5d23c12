#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// JPEG through libjpeg for pictures held as rows of 3-byte pixels. Neither
// direction ends the process on a bad picture, as the library would by itself:
// a damaged input gives false, an encoder failure raises EStreamError.
namespace platform {

enum class TPixelOrder { Rgb, Bgr };

struct TJpegOptions {
  int quality = 75;  // 0..100, clamped
  bool progressive = false;
  bool fastDct = false;  // the faster, slightly less exact transform
};

// `row(y)` gives the pixels of row y, top row first.
std::string EncodeJpeg(int width, int height, TPixelOrder order,
                       const std::function<const std::uint8_t*(int y)>& row, const TJpegOptions& options);

// The size a JPEG's header declares; false when there is no readable header.
bool ReadJpegSize(const std::uint8_t* data, std::size_t length, int& width, int& height);

enum class TJpegDecoded { Done, Damaged, TooManyScans };

// Decodes a picture that must be exactly width x height into `pixels`, top row
// first, rows `stride` bytes apart (at least width * 3). Damaged, with the
// pixels in an unspecified state, when the data is damaged or of another size.
//
// A progressive picture can repeat a scan tens of thousands of times within
// a megabyte, each one a pass over the whole picture: from someone else, the
// decoder would be held for most of a minute. With `maxScans` above 0 the
// library stops at the first scan past it (TooManyScans), before the rows are
// made; ordinary encoders write one scan, or about ten when progressive.
TJpegDecoded DecodeJpegInto(const std::uint8_t* data, std::size_t length, int width, int height, TPixelOrder order,
                            std::uint8_t* pixels, std::size_t stride, int maxScans = 0);

// Whether a JPEG holds at most `maxScans` scans, counted by its markers
// without decoding anything: for a picture that another decoder will show.
bool JpegScansWithin(const std::uint8_t* data, std::size_t length, int maxScans);

}  // namespace platform
