// Settings are read back from a file in the user's home; whatever bytes are there,
// reading must either apply whole values or change nothing, and never crash.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "editor/QuillSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quill::TQuillSearchSettings settings(quill::TQuillSearchSettings::NoLoad{});
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    quill::ReadPersistentFromStream(in, settings);
  } catch (const platform::Exception&) {
  }
  return 0;
}
