#include "videocapture/Bitmap.h"

#include <algorithm>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "videocapture/engine/MediaFormat.h"

namespace {

void Put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

TBitmap::TBitmap(int width, int height) {
  if (width < 1 || height < 1) return;
  width_ = width;
  height_ = height;
  stride_ = videocapture::engine::Rgb24Stride(width);
  bits_.assign(stride_ * static_cast<std::size_t>(height), 0);
}

QImage TBitmap::ToImage() const {
  if (Empty()) return {};
  QImage image(width_, height_, QImage::Format_BGR888);
  for (int y = 0; y < height_; ++y)
    std::copy_n(ScanLine(y), static_cast<std::size_t>(width_) * 3, image.scanLine(y));
  return image;
}

std::string TBitmap::ToBmp() const {
  constexpr std::uint32_t kHeaders = 14 + 40;
  std::string out;
  out.reserve(kHeaders + bits_.size());
  out += "BM";
  Put32(out, static_cast<std::uint32_t>(kHeaders + bits_.size()));
  Put32(out, 0);
  Put32(out, kHeaders);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width_));
  Put32(out, static_cast<std::uint32_t>(height_));  // positive: bottom row first, as stored
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);  // uncompressed
  Put32(out, static_cast<std::uint32_t>(bits_.size()));
  Put32(out, 2835);  // 72 dots per inch
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  out.append(reinterpret_cast<const char*>(bits_.data()), bits_.size());
  return out;
}

std::string TBitmap::ToJpeg(const platform::TJpegOptions& options) const {
  return platform::EncodeJpeg(width_, height_, platform::TPixelOrder::Bgr, [this](int y) { return ScanLine(y); },
                              options);
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  if (Empty()) throw platform::EStreamError("An empty bitmap cannot be saved");
  WriteWholeFile(fileName, ToBmp());
}

void WriteWholeFile(const std::string& fileName, const std::string& bytes) {
  platform::ReplaceFile(fileName, bytes.data(), bytes.size());
}
