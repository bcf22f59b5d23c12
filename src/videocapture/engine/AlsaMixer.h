#pragma once

// The recording controls of a sound card, through ALSA's simple mixer.

#include <memory>
#include <string>
#include <vector>

#include "videocapture/engine/AudioSource.h"

namespace videocapture::engine {

// What the simple mixer tells of one element of a card.
struct TAlsaElement {
  std::string name;
  unsigned index = 0;  // tells apart elements of the same name ("Capture" 0 and 1)
  bool active = true;  // inactive elements belong to parts of the card switched off
  bool captureVolume = false;
  long min = 0, max = 0;
  bool captureSwitch = false;
  std::vector<std::string> captureItems;  // a choice of what to record; empty for none
};

// The simple-mixer calls the recording controls make, behind an interface so
// that tests can put a card's controls in place of the library. Elements are
// numbered from 0 in the library's order; channel 0 is the front left (or
// mono) one, 1 the front right.
class TAlsaMixerIo {
 public:
  virtual ~TAlsaMixerIo() = default;
  virtual std::vector<TAlsaElement> Elements() = 0;
  // Reads in what other programs changed on the card since the last call.
  virtual void HandleEvents() = 0;
  virtual bool CaptureVolume(int element, int channel, long& value) = 0;
  virtual bool SetCaptureVolumeAll(int element, long value) = 0;
  virtual bool CaptureSwitch(int element, int channel, bool& on) = 0;
  virtual bool SetCaptureSwitchAll(int element, bool on) = 0;
  virtual bool Item(int element, int channel, unsigned& item) = 0;
  virtual bool SetItem(int element, int channel, unsigned item) = 0;
};

// The recording controls among the elements; null when there are none.
std::unique_ptr<TMixer> MakeAlsaMixer(std::unique_ptr<TAlsaMixerIo> io);

// `card` as ALSA names it ("hw:0"); null when it has no recording controls.
std::unique_ptr<TMixer> OpenAlsaMixer(const std::string& card);

}  // namespace videocapture::engine
