#pragma once

// The sound codings of capture files: PCM as it is recorded, IMA ADPCM, and
// MP3 through LAME. An encoder turns the graph's PCM blocks into the bytes of
// AVI chunks and says how the file describes them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "videocapture/engine/AudioSource.h"

namespace videocapture::engine {

class TCaptureBackend;

// How a sound stream is described in an AVI file: the wave format, and the
// time base of its stream header, where one unit lasts scale / unitRate
// seconds and spans sampleSize bytes.
struct TAudioCoding {
  std::uint16_t formatTag = 1;
  unsigned rate = 22050;
  unsigned channels = 2;
  unsigned bitsPerSample = 16;
  unsigned blockAlign = 4;
  unsigned avgBytesPerSec = 88200;
  std::string extra;  // the bytes after the wave format's own fields
  unsigned scale = 1, unitRate = 22050, sampleSize = 4;
};

TAudioCoding PcmCoding(unsigned rate, unsigned bits, unsigned channels);

class TAudioEncoder {
 public:
  virtual ~TAudioEncoder() = default;
  // False when the encoder cannot take sound of this format.
  virtual bool Start(const TPcmFormat& input) = 0;
  virtual const TAudioCoding& Coding() const = 0;
  // Bytes for the file, in whole units; what does not fill one waits.
  virtual std::string Encode(const std::uint8_t* pcm, std::size_t length) = 0;
  // What was held back, padded out with silence.
  virtual std::string Finish() = 0;
};

std::unique_ptr<TAudioEncoder> MakeImaAdpcmEncoder();
std::unique_ptr<TAudioEncoder> MakeMp3Encoder();

// The sound compressors, for the device lists.
std::unique_ptr<TCaptureBackend> MakeAudioCodecBackend();

// Whole 16-bit samples of PCM in either width; 8-bit sound is widened.
void WidenTo16(const std::uint8_t* pcm, std::size_t length, unsigned bits, std::vector<std::int16_t>& out);

}  // namespace videocapture::engine
