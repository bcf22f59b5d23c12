#pragma once

// The video codecs of capture files: MJPEG through libjpeg, and uncompressed
// 24-bit DIB rows. Encoders turn the graph's RGB24 frames into the bytes of
// one AVI chunk; decoding turns a chunk back into a frame.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "videocapture/engine/CaptureGraph.h"

namespace videocapture::engine {

class TVideoEncoder {
 public:
  virtual ~TVideoEncoder() = default;
  // kMjpg, or kRgb24 for DIB rows.
  virtual TSubType Codec() const = 0;
  // Empty when the frame has no pixels or is not width x height.
  virtual std::string Encode(const TFrame& frame, int width, int height) = 0;
};

// `quality` 0.0 .. 1.0; below 0 the codec's own default.
std::unique_ptr<TVideoEncoder> MakeMjpegEncoder(double quality);
std::unique_ptr<TVideoEncoder> MakeDibEncoder();

// Whether chunks of this codec and bit depth can be decoded.
bool CanDecode(TSubType codec, int bitCount);
// Decodes one chunk of a width x height stream into `pixels`; `frame` then
// describes the picture (its data may point into `chunk` or into `pixels`).
// False for a damaged or empty chunk.
bool DecodeChunk(TSubType codec, int bitCount, int width, int height, const std::string& chunk,
                 std::vector<std::uint8_t>& pixels, TFrame& frame, bool topDownRows = false);

// The compressors this machine offers, for the device lists.
std::unique_ptr<class TCaptureBackend> MakeCodecBackend();

}  // namespace videocapture::engine
