#pragma once

// The media module: MediaFile.h's readers, built apart with FFmpeg's
// libraries and loaded when a file is first probed or opened (ProbeMedia,
// TMediaVideo::Open and TMediaSound::Open load it). It is looked for next to
// the running program, then where the build put it; once loaded it stays for
// the life of the process. When it cannot be loaded those calls fail with
// the reason, which also goes to the log.

#include <filesystem>

namespace videocapture::engine {

// For tests: from now on the module is looked for at `file` alone, whether
// it was loaded before or not; an empty path restores the usual places.
void SetMediaModuleFile(const std::filesystem::path& file);

}  // namespace videocapture::engine
