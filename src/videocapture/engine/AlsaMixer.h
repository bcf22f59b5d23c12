#pragma once

// The recording controls of a sound card, through ALSA's simple mixer.

#include <memory>
#include <string>

#include "videocapture/engine/AudioSource.h"

namespace videocapture::engine {

// `card` as ALSA names it ("hw:0"); null when it has no recording controls.
std::unique_ptr<TMixer> OpenAlsaMixer(const std::string& card);

}  // namespace videocapture::engine
