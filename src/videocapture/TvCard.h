#pragma once

// The analog video standards as the decoder flags name them, and the BCD
// time code of DV tape.

#include <cstdint>

#include "videocapture/VideoCaptureTypes.h"

// The decoder's flag of a standard (NTSC_M 0x1 ... PAL_N_COMBO 0x100000).
long AnalogStandardFlag(TAnalogVideoStandard standard);

struct TTimeCode {
  int hours = -1, minutes = -1, seconds = -1, frames = -1;
};
// Hours in the top byte down to frames in the lowest, each byte two BCD
// digits; a frames or seconds byte of 0xFF means no time code (all -1).
TTimeCode DecodeTimeCode(std::uint32_t bcd);
