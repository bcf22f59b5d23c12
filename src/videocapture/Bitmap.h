#pragma once

// A frame as the capture component hands it over: a 24-bit device-independent
// bitmap, rows padded to 4 bytes and stored bottom row first, ready to be
// drawn, saved as BMP or encoded as JPEG without conversion.

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Jpeg.h"

class TBitmap {
 public:
  // Black; a size below 1 gives an empty bitmap.
  TBitmap(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return bits_.empty(); }
  std::size_t Stride() const { return stride_; }
  std::size_t SizeImage() const { return bits_.size(); }
  // The pixel bytes (blue, green, red), bottom row first.
  std::uint8_t* Bits() { return bits_.data(); }
  const std::uint8_t* Bits() const { return bits_.data(); }
  // Row y counted from the top.
  std::uint8_t* ScanLine(int y) { return bits_.data() + static_cast<std::size_t>(height_ - 1 - y) * stride_; }
  const std::uint8_t* ScanLine(int y) const {
    return bits_.data() + static_cast<std::size_t>(height_ - 1 - y) * stride_;
  }

  // A copy for drawing.
  QImage ToImage() const;
  // The bytes of a BMP file.
  std::string ToBmp() const;
  std::string ToJpeg(const platform::TJpegOptions& options) const;
  // Raises platform::EStreamError when the file cannot be written.
  void SaveToFile(const std::string& fileName) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::size_t stride_ = 0;
  std::vector<std::uint8_t> bits_;
};

// Writes bytes to an 8-bit file name; raises platform::EStreamError on failure,
// and then a file of that name that was there before is still whole.
void WriteWholeFile(const std::string& fileName, const std::string& bytes);
