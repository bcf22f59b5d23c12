#pragma once

// DV camcorders as capture sources: the tape units of the IEEE 1394 buses,
// their transport and time code through AV/C commands, and their stream of
// DV frames, handed on packed (the graph's decoders make pixels of them) and
// with their sound as a source of its own. Camcorders plugged in or out are
// noticed by their nodes in `nodeFolder` ("fw0", "fw1", ...).

#include <memory>
#include <string>

#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/Ieee1394.h"

namespace videocapture::engine {

std::unique_ptr<TCaptureBackend> MakeDvBackend(std::shared_ptr<TIeee1394Bus> bus,
                                               const std::string& nodeFolder = "/dev");

}  // namespace videocapture::engine
