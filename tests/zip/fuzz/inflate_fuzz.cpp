#include <cstddef>
#include <cstdint>

#include "platform/Exception.h"
#include "zip/Inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  try {
    zip::InflateBuffer(data, size, out, 8 << 20);
  } catch (const platform::Exception&) {
  }
  return 0;
}
