// Any input, any level, any read size: zlib must inflate exactly the input
// back from what the compressor wrote.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zip/Deflate.h"

namespace {

class TInput : public zip::TDeflateInput {
 public:
  TInput(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
  size_t Read(uint8_t* buffer, size_t size) override {
    size_t n = std::min({size, piece_, size_ - pos_});
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_, piece_, pos_ = 0;
};

class TOutput : public zip::TDeflateOutput {
 public:
  void Write(const uint8_t* data, size_t size) override { bytes.append(reinterpret_cast<const char*>(data), size); }
  std::string bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int level = data[0] % 9 + 1;
  const size_t piece = data[1] < 128 ? SIZE_MAX : data[1] - 127u;
  // Inputs with long runs reach the longest matches and the window slide.
  std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
  if (data[1] & 1) input += std::string(input.rbegin(), input.rend()) + input + input;

  static zip::TDeflater deflater;
  TInput in(reinterpret_cast<const uint8_t*>(input.data()), input.size(), piece);
  TOutput out;
  if (deflater.Deflate(level, in, out) != out.bytes.size()) abort();

  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) abort();
  std::string back(input.size() + 1, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(out.bytes.data());
  zs.avail_in = static_cast<uInt>(out.bytes.size());
  zs.next_out = reinterpret_cast<Bytef*>(back.data());
  zs.avail_out = static_cast<uInt>(back.size());
  int rc = inflate(&zs, Z_FINISH);
  size_t produced = zs.total_out;
  unsigned leftover = zs.avail_in;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || leftover != 0 || produced != input.size() || back.compare(0, produced, input) != 0) {
    abort();
  }
  return 0;
}
