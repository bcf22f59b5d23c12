// Reads an arbitrary byte string as an archive: its directory (or, without one, the
// local-header scan), then tests every entry through the decompressors.
#include <cstddef>
#include <cstdint>

#include "zip/ZipReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto* stream = new zip::TMemoryStream();
  stream->Write(data, static_cast<int64_t>(size));
  zip::TZipReader reader;
  reader.DoProcessMessages = false;
  reader.IncompleteZipMode = size % 2 ? zip::izAssumeBad : zip::izAssumeNotAZip;
  reader.Password = "pw";
  reader.SetArchiveStream(stream);
  try {
    reader.ReadZip();
  } catch (const platform::Exception&) {
    return 0;
  }
  for (int i = 0; i < reader.Count(); ++i) {
    (void)reader.Fullname(i);
    // Stated sizes are only a ceiling: keep each test to a few megabytes of output.
    if (reader.UnCompressedSize(i) > (4 << 20)) continue;
    try {
      reader.FileIsOK(i);
    } catch (const platform::Exception&) {
    }
  }
  std::vector<std::string> lines;
  reader.FillList(lines);
  return 0;
}
