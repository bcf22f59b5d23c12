#pragma once

// Sound inputs through ALSA: every capture device of every sound card,
// recorded as PCM through the library's format conversion. Capture devices
// plugged in or out are noticed by their nodes in `nodeFolder`.

#include <memory>
#include <string>

#include "videocapture/engine/CaptureSystem.h"

namespace videocapture::engine {

std::unique_ptr<TCaptureBackend> MakeAlsaBackend(const std::string& nodeFolder = "/dev/snd");

}  // namespace videocapture::engine
