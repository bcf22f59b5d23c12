#include "legacy_fuzz_common.h"
#include "zip/Unshrink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLegacy(data, size, [](zip::TZipSource& in, zip::TZipSink& out, uint8_t, uint64_t stated) {
    zip::Unshrink(in, out, stated);
  });
}
