#pragma once

// The sound side of a V4L2 TV card: the tuner's audio mode (mono, stereo,
// the broadcast's languages) and the card's sound inputs.

#include <memory>

#include "videocapture/engine/CaptureDevice.h"
#include "videocapture/engine/V4l2Io.h"

namespace videocapture::engine {

// Null when the device has no tuner.
std::unique_ptr<TTvAudio> OpenV4l2TvAudio(std::shared_ptr<TV4l2Io> io, int fd);
// Null when the device has fewer than two sound inputs to choose from.
std::unique_ptr<TCrossbar> OpenV4l2AudioInputs(std::shared_ptr<TV4l2Io> io, int fd);

}  // namespace videocapture::engine
