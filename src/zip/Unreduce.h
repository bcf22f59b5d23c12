#pragma once

#include "zip/ZipCodec.h"

namespace zip {

// Methods 2 to 5: follower sets, then the probabilistic expansion with compression
// factor 1 to 4. The stream has no end marker: it stops at the entry's size.
bool Unreduce(TZipSource& source, TZipSink& sink, int factor, uint64_t uncompressedSize);

}  // namespace zip
