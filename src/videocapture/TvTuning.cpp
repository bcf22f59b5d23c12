#include "videocapture/TvTuning.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "videocapture/RegKey.h"

namespace engine = videocapture::engine;

namespace {

// Auto-tuning looks this far to either side of a channel's carrier: enough for
// a cable head-end that shifts its carriers, short of the neighbouring
// channel's sound carrier (1.5 MHz below ours with 6 MHz channels).
constexpr long kSearchSpan = 1250000;
// The finest step worth taking: a tuner's own unit is often far finer.
constexpr long kSearchStep = 62500;
// A frequency belongs to a channel when it lies this close to its carrier.
constexpr long kChannelCatch = 1500000;
// A radio station is searched for this far to either side, in these steps.
constexpr long kFmSearchSpan = 100000, kFmSearchStep = 12500;
constexpr long kAmSearchSpan = 4500, kAmSearchStep = 500;
constexpr int kAmMode = 4;

}  // namespace

TTunerInputType TTvTuning::ConnectedType(engine::TTvTuner& tuner) {
  int input = 0;
  if (!tuner.ConnectedTunerInput(input)) input = 0;
  const auto found = inputTypes_.find(input);
  return found == inputTypes_.end() ? TunerInputCable : found->second;
}

TChannelPlan TTvTuning::Plan(engine::TTvTuner& tuner) {
  const TCountryPlans* plans = FindCountryPlans(country_);
  return ConnectedType(tuner) == TunerInputCable ? plans->cable : plans->broadcast;
}

std::string TTvTuning::SettingsName(const TableKey& key) const {
  const auto& [space, country, type] = key;
  return "TS" + std::to_string(space) + "\\" + (type == TunerInputCable ? "Cable" : "Antenna") +
         std::to_string(country);
}

std::map<int, long>& TTvTuning::FineTuning(TTunerInputType type) {
  const TableKey key{space_, country_, type};
  auto found = fineTuning_.find(key);
  if (found != fineTuning_.end()) return found->second;
  std::map<int, long>& table = fineTuning_[key];
  if (TRegKey* settings = VideoCaptureRegKey()) settings->LoadFineTuning(SettingsName(key), table);
  return table;
}

long TTvTuning::TunedFrequency(engine::TTvTuner& tuner, int channel) {
  const long carrier = ChannelCarrier(Plan(tuner), channel);
  if (carrier == 0) return 0;
  const auto& fine = FineTuning(ConnectedType(tuner));
  const auto offset = fine.find(channel);
  return carrier + (offset == fine.end() ? 0 : offset->second);
}

bool TTvTuning::PutChannel(engine::TTvTuner& tuner, int channel, int videoSubChannel, int audioSubChannel) {
  const long frequency = TunedFrequency(tuner, channel);
  long low, high, step;
  if (frequency == 0 || !tuner.FrequencyRange(low, high, step) || frequency < low || frequency > high ||
      !tuner.SetVideoFrequency(frequency))
    return false;
  channel_ = channel;
  videoSubChannel_ = videoSubChannel;
  audioSubChannel_ = audioSubChannel;
  return true;
}

bool TTvTuning::GetChannel(engine::TTvTuner& tuner, int& channel, int& videoSubChannel, int& audioSubChannel) {
  long now, low, high, step;
  if (!tuner.VideoFrequency(now) || !tuner.FrequencyRange(low, high, step)) return false;
  // Someone else may have moved the tuner since (another program, a new
  // country); then the plan tells which channel it is on.
  int nearest = -1;
  long distance = 0;
  if (channel_ >= 0 && std::labs(TunedFrequency(tuner, channel_) - now) <= step) {
    nearest = channel_;
  } else {
    int min, max;
    ChannelBounds(Plan(tuner), min, max);
    for (int c = min; c <= max; ++c) {
      const long tuned = TunedFrequency(tuner, c);
      if (tuned == 0 || std::labs(tuned - now) > kChannelCatch) continue;
      if (nearest < 0 || std::labs(tuned - now) < distance) {
        nearest = c;
        distance = std::labs(tuned - now);
      }
    }
  }
  if (nearest < 0) return false;
  channel = nearest;
  videoSubChannel = nearest == channel_ ? videoSubChannel_ : kSubChannelDefault;
  audioSubChannel = nearest == channel_ ? audioSubChannel_ : kSubChannelDefault;
  return true;
}

bool TTvTuning::ChannelMinMax(engine::TTvTuner& tuner, int& min, int& max) {
  ChannelBounds(Plan(tuner), min, max);
  return true;
}

bool TTvTuning::PutCountryCode(int country) {
  if (!FindCountryPlans(country)) return false;
  country_ = country;
  return true;
}

bool TTvTuning::PutInputType(engine::TTvTuner& tuner, int input, TTunerInputType type) {
  if (input < 0 || input >= tuner.TunerInputCount() || (type != TunerInputCable && type != TunerInputAntenna))
    return false;
  inputTypes_[input] = type;
  return true;
}

bool TTvTuning::GetInputType(engine::TTvTuner& tuner, int input, TTunerInputType& type) {
  if (input < 0 || input >= tuner.TunerInputCount()) return false;
  const auto found = inputTypes_.find(input);
  type = found == inputTypes_.end() ? TunerInputCable : found->second;
  return true;
}

namespace {

// Reads the signal from `span` below `centre` to `span` above it and finds
// the offset where it is best; false when the tuner fails a step. `best` is
// 0 when nothing was received.
bool Search(engine::TTvTuner& tuner, long centre, long span, long finest, long& chosen, int& best) {
  long low, high, step;
  if (!tuner.FrequencyRange(low, high, step)) return false;
  step = std::max(step, finest);
  struct Reading {
    long offset;
    int strength;
  };
  std::vector<Reading> readings;
  for (long offset = -(span / step) * step; offset <= span; offset += step) {
    int strength;
    const long frequency = centre + offset;
    if (frequency < low || frequency > high) continue;
    if (!tuner.SetVideoFrequency(frequency) || !tuner.SignalStrength(strength)) return false;
    readings.push_back({offset, strength});
  }
  best = 0;
  for (const Reading& r : readings) best = std::max(best, r.strength);
  if (best == 0) return true;
  // Many tuners only say locked or not: the strongest readings then form a
  // plateau, whose middle is where the station sits. Of several plateaus
  // the one nearest the centre wins.
  long chosenDistance = 0;
  bool have = false;
  for (std::size_t i = 0; i < readings.size();) {
    if (readings[i].strength != best) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end + 1 < readings.size() && readings[end + 1].strength == best) ++end;
    const long first = readings[i].offset, last = readings[end].offset;
    const long middle = first + ((last - first) / 2 / step) * step;
    const long distance = first > 0 ? first : last < 0 ? -last : 0;
    if (!have || distance < chosenDistance) {
      chosen = middle;
      chosenDistance = distance;
      have = true;
    }
    i = end + 1;
  }
  return true;
}

}  // namespace

bool TTvTuning::AutoTune(engine::TTvTuner& tuner, int channel, int& found) {
  const long carrier = ChannelCarrier(Plan(tuner), channel);
  long chosen = 0;
  int best = 0;
  if (carrier == 0 || !Search(tuner, carrier, kSearchSpan, kSearchStep, chosen, best)) return false;
  if (best > 0) FineTuning(ConnectedType(tuner))[channel] = chosen;
  found = best > 0 ? 1 : 0;
  // Whatever was found, the tuner ends on the channel as it is now tuned.
  if (!tuner.SetVideoFrequency(TunedFrequency(tuner, channel))) return false;
  channel_ = channel;
  videoSubChannel_ = audioSubChannel_ = kSubChannelDefault;
  return true;
}

bool TTvTuning::AutoTuneRadio(engine::TTvTuner& tuner, int frequency, int& found) {
  // Half the spacing of the band's stations either side: 200 kHz on FM, 9
  // or 10 kHz on AM.
  const bool am = tuner.Mode() == kAmMode;
  long low, high, step, chosen = 0;
  int best = 0;
  if (!tuner.FrequencyRange(low, high, step) || frequency < low || frequency > high ||
      !Search(tuner, frequency, am ? kAmSearchSpan : kFmSearchSpan, am ? kAmSearchStep : kFmSearchStep, chosen, best))
    return false;
  found = best > 0 ? 1 : 0;
  return tuner.SetVideoFrequency(frequency + chosen);
}

bool TTvTuning::StoreAutoTune() {
  TRegKey* settings = VideoCaptureRegKey();
  if (!settings) return false;
  bool ok = true;
  for (const auto& [key, table] : fineTuning_)
    if (std::get<0>(key) == space_) ok = settings->StoreFineTuning(SettingsName(key), table) && ok;
  return ok;
}
