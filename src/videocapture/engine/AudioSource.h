#pragma once

// A sound input of the capture layer: PCM blocks from a device's thread of
// its own, handed to the graph's consumers.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace videocapture::engine {

struct TPcmFormat {
  unsigned rate = 22050;
  unsigned bits = 16;  // 8 (unsigned) or 16 (signed little-endian)
  unsigned channels = 2;
  unsigned BlockAlign() const { return channels * bits / 8; }
  bool operator==(const TPcmFormat&) const = default;
};

// Whole sample frames; `sampleTime` of the first one, in seconds since the
// stream started.
struct TAudioBlock {
  const std::uint8_t* data = nullptr;
  std::size_t length = 0;
  double sampleTime = 0;
};

using TAudioSink = std::function<void(const TAudioBlock&)>;

class TAudioSource {
 public:
  virtual ~TAudioSource() = default;
  // False when the device cannot take the format; it keeps the one it has.
  virtual bool SetFormat(const TPcmFormat& format) = 0;
  virtual TPcmFormat Format() const = 0;
  virtual bool Start(TAudioSink sink) = 0;
  // Joins the thread; no call into the sink follows.
  virtual void Stop() = 0;
};

}  // namespace videocapture::engine
