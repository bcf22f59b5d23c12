#pragma once

#include <cstdint>

#include "zip/ZipCodec.h"

namespace zip {

// Method 6: Shannon-Fano coded LZ77. Flag bit 1 selects the 8 KiB dictionary, bit 2
// the third tree for literals. Stops at the entry's size; false for a bad tree or data.
bool Explode(TZipSource& source, TZipSink& sink, uint16_t flags, uint64_t uncompressedSize);

}  // namespace zip
