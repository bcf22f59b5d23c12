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

// Every country and territory by its international dialling code, under the
// plan its analog broadcasting followed. Where a country numbered its VHF
// channels its own way (Italy, New Zealand, the French départements
// d'outre-mer and the French-speaking countries of Africa), the nearest plan
// of the same system stands in: the UHF channels, where most stations were,
// are the same. Codes that name no country (800, 870, 881 ...) have no plan.
constexpr int kAmericasCountries[] = {
    1, 51, 52, 53, 54, 55, 56, 57, 58, 63, 82, 95, 297, 501, 502, 503, 504, 505, 506, 507, 509, 591, 592, 593, 595, 597,
    598, 599, 676, 680, 691, 692, 886,
};
constexpr int kJapanCountries[] = {81};
constexpr int kWesternEuropeCountries[] = {
    20, 30, 31, 32, 34, 39, 41, 43, 45, 46, 47, 49, 60, 62, 64, 65, 66, 90, 91, 92, 93, 94, 98, 211, 212, 213, 216, 218,
    220, 230, 231, 232, 233, 234, 237, 238, 239, 240, 245, 248, 249, 251, 252, 254, 255, 256, 258, 260, 263, 265, 268,
    291, 298, 299, 350, 351, 352, 354, 355, 356, 357, 358, 376, 378, 379, 381, 382, 383, 385, 386, 387, 389, 423, 670,
    673, 682, 683, 685, 690, 855, 856, 880, 960, 961, 962, 963, 964, 965, 966, 967, 968, 970, 971, 972, 973, 974, 975,
    977,
};
constexpr int kBritishIslesCountries[] = {27, 44, 244, 246, 247, 264, 266, 267, 290, 353, 500, 852, 853};
constexpr int kFranceCountries[] = {
    33, 221, 222, 223, 224, 225, 226, 227, 228, 229, 235, 236, 241, 242, 243, 250, 253, 257, 261, 262, 269, 377, 508,
    590, 594, 596, 681, 687, 689,
};
constexpr int kEasternEuropeCountries[] = {
    7, 36, 40, 48, 84, 359, 370, 371, 372, 373, 374, 375, 380, 420, 421, 850, 976, 992, 993, 994, 995, 996, 998,
};
constexpr int kChinaCountries[] = {86};
constexpr int kAustraliaCountries[] = {61, 672, 674, 675, 677, 678, 679, 686, 688};

struct TPlanCountries {
  TCountryPlans plans;
  std::span<const int> countries;
};

constexpr TPlanCountries kPlans[] = {
    {{kAmericas, kAmericasCable}, kAmericasCountries},
    {{kJapan, kJapanCable}, kJapanCountries},
    {{kWesternEurope, kWesternEuropeCable}, kWesternEuropeCountries},
    {{kBritishIsles, kBritishIsles}, kBritishIslesCountries},
    {{kFrance, kFrance}, kFranceCountries},
    {{kEasternEurope, kEasternEurope}, kEasternEuropeCountries},
    {{kChina, kChina}, kChinaCountries},
    {{kAustralia, kAustralia}, kAustraliaCountries},
};

}  // namespace

const TCountryPlans* FindCountryPlans(int country) {
  for (const TPlanCountries& p : kPlans)
    if (std::find(p.countries.begin(), p.countries.end(), country) != p.countries.end()) return &p.plans;
  return nullptr;
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
