#pragma once

// DV frames in the capture graph, through libdv: the decoder that makes
// pixels of them, the splitter that may let every second one go, the
// encoder that writes them into AVI files as they came, and their sound.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "videocapture/engine/CaptureGraph.h"
#include "videocapture/engine/VideoCodec.h"

struct dv_decoder_s;

namespace videocapture::engine {

// The two DV systems: 625 lines at 25 frames a second, 525 at 29.97.
struct TDvSystem {
  int width, height;
  TRefTime interval;
  std::size_t frameBytes;
};
constexpr TDvSystem kDv625{720, 576, 400000, 144000};
constexpr TDvSystem kDv525{720, 480, 333667, 120000};

// Pictures shrunk by `divisor` (1, 2, 4 or 8), as a DV decoder's display
// resolutions are: the eighth is 88 pixels wide, cut from the middle.
int DvDecodedWidth(int width, int divisor);

// A decoder node: packed DV in, RGB24 out at the resolution asked for, each
// pixel the average of the block it stands for. A frame of another size than
// the graph was built for is dropped.
std::shared_ptr<TFrameFilter> MakeDvDecoder(int divisor);
// A splitter node's video side: with `everySecondFrame` half the frames go on.
std::shared_ptr<TFrameFilter> MakeDvSplitter(bool everySecondFrame);
// Writes each frame's packed DV as it came (the sound inside it).
std::unique_ptr<TVideoEncoder> MakeDvPassThrough();

// The sound of DV frames as 16-bit stereo at 48 kHz, whatever rate and
// channels the camcorder recorded. One stream: frames in order.
class TDvSoundDecoder {
 public:
  static constexpr unsigned kRate = 48000;
  TDvSoundDecoder();
  ~TDvSoundDecoder();
  TDvSoundDecoder(const TDvSoundDecoder&) = delete;
  TDvSoundDecoder& operator=(const TDvSoundDecoder&) = delete;

  // Appends the frame's sound to `pcm`; false for a frame without sound.
  bool Decode(const std::uint8_t* frame, std::size_t length, std::vector<std::uint8_t>& pcm);

 private:
  dv_decoder_s* dv_;
  std::vector<std::int16_t> channels_[4];
  double phase_ = 0;  // where the next 48 kHz sample falls, from the last input sample
  std::int16_t last_[2] = {0, 0};
};

}  // namespace videocapture::engine
