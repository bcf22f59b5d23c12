#pragma once

// A source that plays the pictures and the sound of a media file (whatever
// FFmpeg's libraries read) on a clock, at a rate, with seeking: the player's
// graph stands on it as a capture graph stands on a camera. Paused, it shows
// the picture at its position; at the end of the file it reports completion
// once.

#include <memory>
#include <string>

#include "videocapture/engine/AudioSource.h"
#include "videocapture/engine/CaptureDevice.h"

namespace videocapture::engine {

class TSyntheticClock;

// Null, with the reason, when the file has neither pictures nor sound that
// can be decoded. Without pictures it reports no format and plays its sound.
std::unique_ptr<TCaptureSource> OpenFileSource(const std::string& fileName, std::shared_ptr<TSyntheticClock> clock,
                                               std::string& error);
// The sound of a file source as PCM, handed on picture by picture while the
// file plays at its own speed (at other rates the sound is left out). Null
// when the file has none that can be decoded. It must not outlive the source.
std::unique_ptr<TAudioSource> OpenFileSound(TCaptureSource& fileSource);

}  // namespace videocapture::engine
