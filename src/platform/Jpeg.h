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

enum class TJpegDecoded { Done, Damaged, TooDear };

// What one scan of a JPEG asks of the decoder, as its header declares it.
struct TJpegScan {
  int Number = 0;             // 1 for the first
  std::int64_t Blocks = 0;    // the blocks of 8 x 8 it passes over, of all its components
  int Coefficients = 0;       // of each block: 64 in a sequential picture, the band in a progressive one
  bool Arithmetic = false;    // arithmetic-coded rather than Huffman
  bool Refining = false;      // adds a bit to coefficients an earlier scan began
};

// Decodes a picture that must be exactly width x height into `pixels`, top row
// first, rows `stride` bytes apart (at least width * 3). Damaged, with the
// pixels in an unspecified state, when the data is damaged or of another size.
//
// A progressive picture can repeat a scan tens of thousands of times within
// a megabyte, each one a pass over the whole picture, and an arithmetic-coded
// one can make the decoder take tens of steps for a coefficient from a bit.
// When `allowScan` is given, it is asked before each scan is decoded (the
// first too) and must not throw; on false the library stops there (TooDear).
TJpegDecoded DecodeJpegInto(const std::uint8_t* data, std::size_t length, int width, int height, TPixelOrder order,
                            std::uint8_t* pixels, std::size_t stride,
                            const std::function<bool(const TJpegScan&)>& allowScan = {});

// Whether a JPEG holds at most `maxScans` scans, counted by its markers
// without decoding anything: for a picture that another decoder will show.
bool JpegScansWithin(const std::uint8_t* data, std::size_t length, int maxScans);

}  // namespace platform
