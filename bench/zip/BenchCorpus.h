#pragma once

#include <cstddef>
#include <string>

namespace bench {

// Corpora gathered from the machine's own files, each at least minBytes
// (repeated from the start when the machine has too little; repeats lie far
// beyond the 32 KiB window, so they cannot help either compressor).
std::string TextCorpus(size_t minBytes);        // documentation and change logs
std::string SourceCorpus(size_t minBytes);      // C and C++ headers
std::string BinaryCorpus(size_t minBytes);      // shared libraries
std::string CompressedCorpus(size_t minBytes);  // gzip files as they lie on disk

}  // namespace bench
