#pragma once

// What the component knows about tuning a TV card by channel: the country
// and the tuning space chosen, cable or antenna per tuner input, and the fine
// tuning found by auto-tuning, per channel. The tuner itself only takes
// frequencies; this turns channels into them through the channel plans. The
// state outlives graphs (a graph is rebuilt for every change of format), and
// the fine tuning of each tuning space, country and input type is kept in
// the component's settings once stored.

#include <map>
#include <string>
#include <tuple>

#include "videocapture/ChannelPlans.h"
#include "videocapture/VideoCaptureTypes.h"
#include "videocapture/engine/CaptureDevice.h"

class TTvTuning {
 public:
  // Sub-channel of an analog channel: the default one.
  static constexpr int kSubChannelDefault = -1;

  bool PutChannel(videocapture::engine::TTvTuner& tuner, int channel, int videoSubChannel, int audioSubChannel);
  // The channel the tuner sits on: the one put last when it still does,
  // otherwise the plan's channel nearest to the tuner's frequency.
  bool GetChannel(videocapture::engine::TTvTuner& tuner, int& channel, int& videoSubChannel, int& audioSubChannel);
  bool ChannelMinMax(videocapture::engine::TTvTuner& tuner, int& min, int& max);
  // False for a code that names no country; the old one stays.
  bool PutCountryCode(int country);
  int CountryCode() const { return country_; }
  void PutTuningSpace(int space) { space_ = space; }
  int TuningSpace() const { return space_; }
  bool PutInputType(videocapture::engine::TTvTuner& tuner, int input, TTunerInputType type);
  bool GetInputType(videocapture::engine::TTvTuner& tuner, int input, TTunerInputType& type);
  // Searches around the channel's carrier for the strongest signal and keeps
  // the offset found as the channel's fine tuning (until the next search, or
  // for good once stored). `found` is 0 when nothing was received; the
  // channel's fine tuning then stays as it was.
  bool AutoTune(videocapture::engine::TTvTuner& tuner, int channel, int& found);
  // The same for a radio, around a frequency in Hz; it ends on the best
  // frequency found, or on the one given.
  static bool AutoTuneRadio(videocapture::engine::TTvTuner& tuner, int frequency, int& found);
  bool StoreAutoTune();

 private:
  using TableKey = std::tuple<int, int, TTunerInputType>;  // tuning space, country, input type

  TTunerInputType ConnectedType(videocapture::engine::TTvTuner& tuner);
  TChannelPlan Plan(videocapture::engine::TTvTuner& tuner);
  // The fine tuning (Hz per channel) of the current space, country and type;
  // read from the settings the first time.
  std::map<int, long>& FineTuning(TTunerInputType type);
  std::string SettingsName(const TableKey& key) const;
  // The channel's carrier with its fine tuning; 0 when the plan lacks it.
  long TunedFrequency(videocapture::engine::TTvTuner& tuner, int channel);

  int country_ = 1;
  int space_ = 0;
  std::map<int, TTunerInputType> inputTypes_;  // missing: cable
  std::map<TableKey, std::map<int, long>> fineTuning_;
  int channel_ = -1;
  int videoSubChannel_ = kSubChannelDefault;
  int audioSubChannel_ = kSubChannelDefault;
};
