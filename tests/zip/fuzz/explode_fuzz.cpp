#include "legacy_fuzz_common.h"
#include "zip/Explode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzLegacy(data, size, [](zip::TZipSource& in, zip::TZipSink& out, uint8_t param, uint64_t stated) {
    zip::Explode(in, out, param & 6, stated);
  });
}
