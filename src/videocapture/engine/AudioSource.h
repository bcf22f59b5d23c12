#pragma once

// A sound input of the capture layer: PCM blocks from a device's thread of
// its own, handed to the graph's consumers.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// The recording controls of a sound input's card: volumes, on/off switches,
// and choices of the input to record from. Changes take effect at once.
struct TMixerControl {
  std::string name;
  bool hasVolume = false;
  long min = 0, max = 0;
  bool hasSwitch = false;
  std::vector<std::string> items;  // a choice; empty for none
};

class TMixer {
 public:
  virtual ~TMixer() = default;
  virtual std::vector<TMixerControl> Controls() = 0;
  virtual bool Volume(int control, long& value) = 0;
  virtual bool SetVolume(int control, long value) = 0;
  virtual bool Switch(int control, bool& on) = 0;
  virtual bool SetSwitch(int control, bool on) = 0;
  virtual bool Item(int control, int& item) = 0;
  virtual bool SetItem(int control, int item) = 0;
};

class TAudioSource {
 public:
  virtual ~TAudioSource() = default;
  // False when the device cannot take the format; it keeps the one it has.
  virtual bool SetFormat(const TPcmFormat& format) = 0;
  virtual TPcmFormat Format() const = 0;
  virtual bool Start(TAudioSink sink) = 0;
  // Joins the thread; no call into the sink follows.
  virtual void Stop() = 0;
  // Null when the input has no controls of its own.
  virtual TMixer* Mixer() { return nullptr; }
};

}  // namespace videocapture::engine
