#pragma once

#include "zip/ZipCodec.h"

namespace zip {

// Method 1: LZW with codes of 9 to 13 bits and partial clearing. False for a code
// that refers to nothing.
bool Unshrink(TZipSource& source, TZipSink& sink, uint64_t uncompressedSize);

}  // namespace zip
