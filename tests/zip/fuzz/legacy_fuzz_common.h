#pragma once

// The first three bytes choose the method's parameters and the stated size; the rest
// is the compressed stream.
#include <cstddef>
#include <cstdint>

#include "platform/Exception.h"
#include "zip/ZipCodec.h"

template <class Decode>
int FuzzLegacy(const uint8_t* data, size_t size, Decode decode) {
  if (size < 3) return 0;
  const uint8_t param = data[0];
  const uint64_t stated = static_cast<uint64_t>(data[1] | data[2] << 8) * 16;
  zip::TMemorySource source(data + 3, size - 3);
  std::vector<uint8_t> out;
  zip::TVectorSink sink(out, stated);
  try {
    decode(source, sink, param, stated);
  } catch (const platform::Exception&) {
  }
  return 0;
}
