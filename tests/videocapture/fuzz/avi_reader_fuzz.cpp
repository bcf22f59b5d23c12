// AVI files from disk are outside input: every header, index and chunk the
// reader finds must stay inside the bytes it was given.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Stream.h"
#include "videocapture/engine/AviReader.h"
#include "videocapture/engine/VideoCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(data, static_cast<std::int64_t>(size));
  videocapture::engine::TAviReader reader;
  if (!reader.Open(std::move(stream))) return 0;
  std::string chunk;
  std::vector<std::uint8_t> pixels;
  for (int s = 0; s < static_cast<int>(reader.Streams().size()); ++s) {
    const auto& info = reader.Streams()[static_cast<std::size_t>(s)];
    reader.Duration(s);
    for (std::size_t i = 0; i < info.chunks.size() && i < 64; ++i) {
      if (!reader.ReadChunk(s, i, chunk)) continue;
      videocapture::engine::TFrame frame;
      if (info.video && std::int64_t(info.width) * info.height <= 1 << 20)
        videocapture::engine::DecodeChunk(info.codec, info.bitCount, info.width, info.height, chunk, pixels, frame,
                                          info.topDown);
    }
  }
  return 0;
}
