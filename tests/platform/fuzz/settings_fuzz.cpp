// Settings files and wave files as found on disk: whatever they hold, reading
// must not fail, and what is written back must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Exception.h"
#include "platform/Registry.h"
#include "platform/Sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  int bad = 0;
  const auto doc = platform::ParseRegistryText(bytes, &bad);
  const std::string once = platform::FormatRegistryText(doc);
  int badAgain = -1;
  const std::string twice = platform::FormatRegistryText(platform::ParseRegistryText(once, &badAgain));
  if (badAgain != 0 || once != twice) std::abort();

  try {
    const platform::TWave wave = platform::ParseWave(bytes);
    if (wave.FrameBytes() <= 0 || wave.data.size() % static_cast<size_t>(wave.FrameBytes()) != 0) std::abort();
  } catch (const platform::EStreamError&) {
  }
  return 0;
}
