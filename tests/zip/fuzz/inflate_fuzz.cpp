// Any input: no crash, and wherever zlib decodes a whole stream our decoder gives
// the same bytes.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Exception.h"
#include "zip/Inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kLimit = 8 << 20;
  std::vector<uint8_t> out;
  bool ours = false;
  try {
    ours = zip::InflateBuffer(data, size, out, kLimit);
  } catch (const platform::Exception&) {
  }

  static std::vector<uint8_t> expected(kLimit);
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) abort();
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = static_cast<uInt>(size);
  zs.next_out = expected.data();
  zs.avail_out = static_cast<uInt>(expected.size());
  const int rc = inflate(&zs, Z_FINISH);
  const size_t produced = zs.total_out;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return 0;
  if (!ours || out.size() != produced || (produced && std::memcmp(out.data(), expected.data(), produced) != 0)) abort();
  return 0;
}
