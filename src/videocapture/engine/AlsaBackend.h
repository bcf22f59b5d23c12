#pragma once

// Sound inputs through ALSA: every capture device of every sound card,
// recorded as PCM through the library's format conversion.

#include <memory>

#include "videocapture/engine/CaptureSystem.h"

namespace videocapture::engine {

std::unique_ptr<TCaptureBackend> MakeAlsaBackend();

}  // namespace videocapture::engine
