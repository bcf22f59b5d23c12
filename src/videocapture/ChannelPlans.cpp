#include "videocapture/ChannelPlans.h"

#include <algorithm>

namespace {

constexpr long MHz(double mhz) { return static_cast<long>(mhz * 1000000.0 + 0.5); }

// North and South America, Korea, Taiwan, the Philippines: 6 MHz channels.
constexpr TChannelBand kAmericas[] = {
    {2, 4, MHz(55.25), MHz(6)},
    {5, 6, MHz(77.25), MHz(6)},
    {7, 13, MHz(175.25), MHz(6)},
    {14, 69, MHz(471.25), MHz(6)},
};
// The standard cable plan of the same countries: the broadcast channels up
// to 13, then the mid, super and hyper bands, with 95 to 99 and 1 slotted in
// below channel 7.
constexpr TChannelBand kAmericasCable[] = {
    {1, 1, MHz(73.25), MHz(6)},    {2, 4, MHz(55.25), MHz(6)},     {5, 6, MHz(77.25), MHz(6)},
    {7, 13, MHz(175.25), MHz(6)},  {14, 22, MHz(121.25), MHz(6)},  {23, 94, MHz(217.25), MHz(6)},
    {95, 99, MHz(91.25), MHz(6)},  {100, 125, MHz(649.25), MHz(6)},
};
// Japan: channel 8 overlaps 7 by 2 MHz.
constexpr TChannelBand kJapan[] = {
    {1, 3, MHz(91.25), MHz(6)},
    {4, 7, MHz(171.25), MHz(6)},
    {8, 12, MHz(193.25), MHz(6)},
    {13, 62, MHz(471.25), MHz(6)},
};
constexpr TChannelBand kJapanCable[] = {
    {1, 3, MHz(91.25), MHz(6)},     {4, 7, MHz(171.25), MHz(6)},   {8, 12, MHz(193.25), MHz(6)},
    {13, 22, MHz(109.25), MHz(6)},  {23, 63, MHz(223.25), MHz(6)},
};
// Western Europe (systems B and G): 7 MHz in VHF, 8 MHz in UHF.
constexpr TChannelBand kWesternEurope[] = {
    {2, 4, MHz(48.25), MHz(7)},
    {5, 12, MHz(175.25), MHz(7)},
    {21, 69, MHz(471.25), MHz(8)},
};
// Its cable plan adds the special channels S1 to S41 (as 101 to 141) in the
// gaps the broadcast bands leave.
constexpr TChannelBand kWesternEuropeCable[] = {
    {2, 4, MHz(48.25), MHz(7)},       {5, 12, MHz(175.25), MHz(7)},     {21, 69, MHz(471.25), MHz(8)},
    {101, 110, MHz(105.25), MHz(7)},  {111, 120, MHz(231.25), MHz(7)},  {121, 141, MHz(303.25), MHz(8)},
};
// The United Kingdom and Ireland (system I): UHF only.
constexpr TChannelBand kBritishIsles[] = {
    {21, 68, MHz(471.25), MHz(8)},
};
// France (system L; L' in band I).
constexpr TChannelBand kFrance[] = {
    {2, 2, MHz(55.75), 0},          {3, 3, MHz(60.50), 0},  {4, 4, MHz(63.75), 0},
    {5, 10, MHz(176.00), MHz(8)},   {21, 69, MHz(471.25), MHz(8)},
};
// Eastern Europe (systems D and K, the old OIRT bands).
constexpr TChannelBand kEasternEurope[] = {
    {1, 1, MHz(49.75), 0},          {2, 2, MHz(59.25), 0},  {3, 5, MHz(77.25), MHz(8)},
    {6, 12, MHz(175.25), MHz(8)},   {21, 69, MHz(471.25), MHz(8)},
};
// China (system D/K): UHF 24 and 25 are 48 MHz apart.
constexpr TChannelBand kChina[] = {
    {1, 3, MHz(49.75), MHz(8)},      {4, 5, MHz(77.25), MHz(8)},    {6, 12, MHz(168.25), MHz(8)},
    {13, 24, MHz(471.25), MHz(8)},   {25, 68, MHz(607.25), MHz(8)},
};
// Australia: 7 MHz everywhere, irregular in VHF.
constexpr TChannelBand kAustralia[] = {
    {0, 0, MHz(46.25), 0},    {1, 1, MHz(57.25), 0},          {2, 2, MHz(64.25), 0},    {3, 3, MHz(86.25), 0},
    {4, 4, MHz(95.25), 0},    {5, 5, MHz(102.25), 0},         {6, 8, MHz(175.25), MHz(7)},
    {9, 9, MHz(196.25), 0},   {10, 12, MHz(209.25), MHz(7)},  {28, 69, MHz(527.25), MHz(7)},
};

constexpr TCountryPlans kCountries[] = {
    {1, kAmericas, kAmericasCable},            {52, kAmericas, kAmericasCable},
    {54, kAmericas, kAmericasCable},           {55, kAmericas, kAmericasCable},
    {63, kAmericas, kAmericasCable},           {82, kAmericas, kAmericasCable},
    {886, kAmericas, kAmericasCable},          {81, kJapan, kJapanCable},
    {30, kWesternEurope, kWesternEuropeCable}, {31, kWesternEurope, kWesternEuropeCable},
    {32, kWesternEurope, kWesternEuropeCable}, {34, kWesternEurope, kWesternEuropeCable},
    {41, kWesternEurope, kWesternEuropeCable}, {43, kWesternEurope, kWesternEuropeCable},
    {45, kWesternEurope, kWesternEuropeCable}, {46, kWesternEurope, kWesternEuropeCable},
    {47, kWesternEurope, kWesternEuropeCable}, {49, kWesternEurope, kWesternEuropeCable},
    {90, kWesternEurope, kWesternEuropeCable}, {351, kWesternEurope, kWesternEuropeCable},
    {358, kWesternEurope, kWesternEuropeCable}, {44, kBritishIsles, kBritishIsles},
    {353, kBritishIsles, kBritishIsles},       {33, kFrance, kFrance},
    {7, kEasternEurope, kEasternEurope},       {380, kEasternEurope, kEasternEurope},
    {86, kChina, kChina},                      {61, kAustralia, kAustralia},
};

}  // namespace

const TCountryPlans* FindCountryPlans(int country) {
  const auto* found = std::find_if(std::begin(kCountries), std::end(kCountries),
                                   [&](const TCountryPlans& c) { return c.country == country; });
  return found == std::end(kCountries) ? nullptr : found;
}

long ChannelCarrier(TChannelPlan plan, int channel) {
  for (const TChannelBand& band : plan)
    if (channel >= band.first && channel <= band.last) return band.carrier + (channel - band.first) * band.spacing;
  return 0;
}

void ChannelBounds(TChannelPlan plan, int& min, int& max) {
  min = plan.front().first;
  max = plan.front().last;
  for (const TChannelBand& band : plan) {
    min = std::min(min, band.first);
    max = std::max(max, band.last);
  }
}

long SoundCarrierOffset(long flag) {
  // NTSC and its 525-line relatives, and PAL N: 4.5 MHz.
  if (flag & (0x1 | 0x2 | 0x4 | 0x200 | 0x400 | 0x800 | 0x100000)) return MHz(4.5);
  // Systems B, G and H.
  if (flag & (0x10 | 0x40 | 0x80 | 0x1000 | 0x4000 | 0x8000)) return MHz(5.5);
  if (flag & 0x100) return MHz(6.0);  // system I
  // Systems D, K and L.
  if (flag & (0x20 | 0x2000 | 0x10000 | 0x20000 | 0x40000)) return MHz(6.5);
  if (flag & 0x80000) return -MHz(6.5);  // L': band I of France, sound below the picture
  return 0;
}
