#pragma once

// The channel plans of analog television that the tuner works with: which
// picture carrier each channel number stands for, over the air and on cable,
// which plan each country follows, and where each standard puts the sound
// carrier. Countries are named by their international dialling code (1 for
// the United States and Canada, 49 for Germany, ...).
//
// Channel numbers are those printed on sets in the plan's own countries. The special
// cable channels of the European plan (S1 to S41) have no such number; they
// are numbered 101 to 141.

#include <span>

struct TChannelBand {
  int first, last;  // channel numbers
  long carrier;     // the picture carrier of `first`, in Hz
  long spacing;     // from one channel to the next, in Hz
};

using TChannelPlan = std::span<const TChannelBand>;

struct TCountryPlans {
  TChannelPlan broadcast;
  TChannelPlan cable;
};

// Null for a code that names no country or territory.
const TCountryPlans* FindCountryPlans(int country);

// The picture carrier of a channel, in Hz; 0 when the plan has no such channel.
long ChannelCarrier(TChannelPlan plan, int channel);
// The lowest and highest channel numbers; the plan may have gaps between.
void ChannelBounds(TChannelPlan plan, int& min, int& max);
// The sound carrier's distance from the picture carrier under a decoder
// standard flag (NTSC_M 0x1 ...), in Hz; 0 for an unknown flag. Negative for
// the French standard of band I, whose sound lies below the picture.
long SoundCarrierOffset(long standardFlag);
