// Settings files as found on disk: whatever they hold, parsing must not fail,
// what is written back must parse to the same text, and every name and value
// the parser accepted must be one that a write would accept too (otherwise a
// store read from disk could not be saved back).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/IniStore.h"

namespace {

// Bound to a file that never exists: the store must not touch the disk, so
// every run ends with Load, which clears what is pending.
const std::filesystem::path& Nowhere() {
  static const std::filesystem::path p =
      std::filesystem::temp_directory_path() / ("parlo-ini-fuzz-" + std::to_string(::getpid())) / "none.ini";
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  platform::IniStore parsed{platform::FileName(Nowhere())};
  parsed.SetText(bytes);
  const std::string once = parsed.Text();

  platform::IniStore again{platform::FileName(Nowhere())};
  again.SetText(once);
  if (again.Text() != once) std::abort();

  platform::IniStore rebuilt{platform::FileName(Nowhere())};
  try {
    for (const auto& section : parsed.ReadSections()) {
      if (!parsed.SectionExists(section)) std::abort();
      for (const auto& key : parsed.ReadSection(section)) {
        if (!parsed.ValueExists(section, key)) std::abort();
        rebuilt.WriteString(section, key, parsed.ReadString(section, key, ""));
      }
    }
  } catch (const platform::EIniError&) {
    std::abort();
  }
  for (const auto& section : parsed.ReadSections())
    for (const auto& key : parsed.ReadSection(section))
      if (rebuilt.ReadString(section, key, "\x01") != parsed.ReadString(section, key, "")) std::abort();
  parsed.Load();
  again.Load();
  rebuilt.Load();
  return 0;
}
