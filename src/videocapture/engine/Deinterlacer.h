#pragma once

// A deinterlacer for pictures whose two fields were taken a field's time
// apart. Where a row of the second field (the odd rows, counted from the
// top) stands out from both rows around it in the same direction, the
// picture moved between the fields: that pixel is rebuilt from its
// neighbours in the first field. Elsewhere both fields stay, so that what
// stood still keeps its full detail.

#include <cstdint>
#include <vector>

#include "videocapture/engine/CaptureGraph.h"

namespace videocapture::engine {

// Writes the deinterlaced picture into `pixels`, top row first, and
// describes it in `out`. A frame without whole rows is handed on as it is.
void Deinterlace(const TFrame& in, std::vector<std::uint8_t>& pixels, TFrame& out);

// The node's filter: the pictures keep their size and format.
class TDeinterlaceFilter : public TFrameFilter {
 public:
  const TFrame* Filter(const TFrame& in) override {
    Deinterlace(in, pixels_, out_);
    return &out_;
  }
  TVideoFormat Output(const TVideoFormat& in) const override { return in; }

 private:
  std::vector<std::uint8_t> pixels_;
  TFrame out_;
};

}  // namespace videocapture::engine
