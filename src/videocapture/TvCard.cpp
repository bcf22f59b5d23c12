// The TV card's tuner and analog video decoder.

#include "videocapture/TvCard.h"

#include "videocapture/CaptureImpl.h"
#include "videocapture/ChannelPlans.h"

namespace engine = videocapture::engine;

namespace {

// In the order of TAnalogVideoStandard; PAL_G has a flag but no value there.
constexpr long kStandardFlags[] = {0x0,     0x1,     0x2,     0x4,     0x10,     0x20,    0x80,
                                   0x100,   0x200,   0x400,   0x800,   0x1000,   0x2000,  0x4000,
                                   0x8000,  0x10000, 0x20000, 0x40000, 0x80000,  0x100000};
constexpr const char* kStandardNames[] = {"None",    "NTSC_M",  "NTSC_M_J", "NTSC_433", "PAL_B",   "PAL_D",    "PAL_H",
                                          "PAL_I",   "PAL_M",   "PAL_N",    "PAL_60",   "SECAM_B", "SECAM_D",  "SECAM_G",
                                          "SECAM_H", "SECAM_K", "SECAM_K1", "SECAM_L",  "SECAM_L1", "PAL_N_COMBO"};
static_assert(std::size(kStandardFlags) == std::size(kStandardNames));

int Bcd(std::uint32_t byte) { return static_cast<int>((byte >> 4) * 10 + (byte & 0xF)); }

}  // namespace

long AnalogStandardFlag(TAnalogVideoStandard standard) {
  const auto i = static_cast<std::size_t>(standard);
  return i < std::size(kStandardFlags) ? kStandardFlags[i] : 0;
}

TTimeCode DecodeTimeCode(std::uint32_t bcd) {
  const std::uint32_t frames = bcd & 0xFF, seconds = (bcd >> 8) & 0xFF;
  if (frames == 0xFF || seconds == 0xFF) return {};
  return {Bcd(bcd >> 24), Bcd((bcd >> 16) & 0xFF), Bcd(seconds), Bcd(frames)};
}

// ---------------------------------------------------------------- standards

std::string TVideoCapture::GetAnalogVideoStandards() const {
  std::string text;
  for (const char* name : kStandardNames) text += std::string(name) + "\r\n";
  return text;
}

void TVideoCapture::SetAnalogVideoStandard(TAnalogVideoStandard standard) {
  analogVideoStandard_ = standard;
  if (!Ready() || !impl_->source || !impl_->source->AnalogDecoder()) return;
  // A V4L2 decoder takes no new standard while it streams; the graph built
  // anew sets it before the stream starts.
  if (!impl_->source->AnalogDecoder()->SetStandard(AnalogStandardFlag(standard)) && impl_->graphRunning)
    RestartGraph();
}

// ---------------------------------------------------------------- tuner

namespace {

constexpr int kTvMode = 1;

engine::TTvTuner* TunerOf(TImpl& impl) { return impl.source ? impl.source->Tuner() : nullptr; }
engine::TAnalogDecoder* DecoderOf(TImpl& impl) { return impl.source ? impl.source->AnalogDecoder() : nullptr; }
// The tuner while it is a radio (FM or AM), null while it receives television.
engine::TTvTuner* RadioOf(TImpl& impl) {
  engine::TTvTuner* tuner = TunerOf(impl);
  return tuner && tuner->Mode() != kTvMode ? tuner : nullptr;
}

}  // namespace

// A V4L2 tuner is open to whoever opens the card: a logon has nothing to do.
bool TVideoCapture::TVLogon(void*) { return TunerOf(*impl_) != nullptr; }
bool TVideoCapture::TVLogout() { return TunerOf(*impl_) != nullptr; }
// Neither the VCR time constant nor a decoder's output can be switched
// through V4L2: these stay unanswered.
bool TVideoCapture::VDECPutVCRHorizontalLocking(int) { return false; }
bool TVideoCapture::VDECPutOutputEnable(int) { return false; }

// A V4L2 decoder always hands its pictures on.
bool TVideoCapture::VDECGetOutputEnable(int& enable) {
  if (!DecoderOf(*impl_)) return false;
  enable = 1;
  return true;
}

bool TVideoCapture::TVPutChannel(int channel, int videoSubChannel, int audioSubChannel) {
  if (engine::TTvTuner* radio = RadioOf(*impl_)) {
    long low, high, step;
    return radio->FrequencyRange(low, high, step) && channel >= low && channel <= high &&
           radio->SetVideoFrequency(channel);
  }
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && impl_->tuning.PutChannel(*tuner, channel, videoSubChannel, audioSubChannel);
}

bool TVideoCapture::TVGetChannel(int& channel, int& videoSubChannel, int& audioSubChannel) {
  if (engine::TTvTuner* radio = RadioOf(*impl_)) {
    long hertz;
    if (!radio->VideoFrequency(hertz)) return false;
    channel = static_cast<int>(hertz);
    videoSubChannel = audioSubChannel = TTvTuning::kSubChannelDefault;
    return true;
  }
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && impl_->tuning.GetChannel(*tuner, channel, videoSubChannel, audioSubChannel);
}

bool TVideoCapture::TVChannelMinMax(int& min, int& max) {
  if (engine::TTvTuner* radio = RadioOf(*impl_)) {
    long low, high, step;
    if (!radio->FrequencyRange(low, high, step)) return false;
    min = static_cast<int>(low);
    max = static_cast<int>(high);
    return true;
  }
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && impl_->tuning.ChannelMinMax(*tuner, min, max);
}

bool TVideoCapture::TVPutCountryCode(int code) { return TunerOf(*impl_) && impl_->tuning.PutCountryCode(code); }

bool TVideoCapture::TVGetCountryCode(int& code) {
  if (!TunerOf(*impl_)) return false;
  code = impl_->tuning.CountryCode();
  return true;
}

bool TVideoCapture::TVPutTuningSpace(int space) {
  if (!TunerOf(*impl_)) return false;
  impl_->tuning.PutTuningSpace(space);
  return true;
}

bool TVideoCapture::TVGetTuningSpace(int& space) {
  if (!TunerOf(*impl_)) return false;
  space = impl_->tuning.TuningSpace();
  return true;
}

bool TVideoCapture::TVAutoTune(int channel, int& foundSignal) {
  if (engine::TTvTuner* radio = RadioOf(*impl_)) return TTvTuning::AutoTuneRadio(*radio, channel, foundSignal);
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && impl_->tuning.AutoTune(*tuner, channel, foundSignal);
}

bool TVideoCapture::TVStoreAutoTune() { return TunerOf(*impl_) && impl_->tuning.StoreAutoTune(); }

bool TVideoCapture::TVPutInputType(int index, TTunerInputType type) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && impl_->tuning.PutInputType(*tuner, index, type);
}

bool TVideoCapture::TVGetInputType(int index, TTunerInputType& type) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && impl_->tuning.GetInputType(*tuner, index, type);
}

bool TVideoCapture::TVGetAudioFrequency(int& hertz) {
  // A radio station's frequency is its sound's.
  if (RadioOf(*impl_)) return TVGetVideoFrequency(hertz);
  engine::TTvTuner* tuner = TunerOf(*impl_);
  engine::TAnalogDecoder* decoder = DecoderOf(*impl_);
  long video, standard = AnalogStandardFlag(analogVideoStandard_);
  if (!tuner || !tuner->VideoFrequency(video)) return false;
  // The decoder knows the standard it receives; without one, the one asked for.
  if (decoder && !decoder->Standard(standard)) return false;
  const long offset = SoundCarrierOffset(standard);
  if (offset == 0) return false;
  hertz = static_cast<int>(video + offset);
  return true;
}

bool TVideoCapture::VDECGetVCRHorizontalLocking(int& locking) {
  engine::TAnalogDecoder* decoder = DecoderOf(*impl_);
  bool on;
  if (!decoder || !decoder->VcrLocking(on)) return false;
  locking = on ? 1 : 0;
  return true;
}

bool TVideoCapture::TVSignalPresent(int& strength) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  bool present;
  if (!tuner || !tuner->SignalPresent(present)) return false;
  strength = present ? 1 : 0;
  return true;
}

bool TVideoCapture::TVPutMode(int mode) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && tuner->SetMode(mode);
}

bool TVideoCapture::TVGetMode(int& mode) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  if (!tuner) return false;
  mode = tuner->Mode();
  return true;
}

bool TVideoCapture::TVGetAvailableModes(int& modes) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  if (!tuner) return false;
  modes = tuner->AvailableModes();
  return true;
}

bool TVideoCapture::TVGetAvailableTVFormats(int& formats) {
  engine::TAnalogDecoder* decoder = DecoderOf(*impl_);
  long flags;
  if (!TunerOf(*impl_) || !decoder || !decoder->AvailableStandards(flags)) return false;
  formats = static_cast<int>(flags);
  return true;
}

bool TVideoCapture::TVGetTVFormat(int& format) {
  engine::TAnalogDecoder* decoder = DecoderOf(*impl_);
  long flag;
  if (!TunerOf(*impl_) || !decoder || !decoder->Standard(flag)) return false;
  format = static_cast<int>(flag);
  return true;
}

bool TVideoCapture::TVGetNumInputConnections(int& count) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  if (!tuner) return false;
  count = tuner->TunerInputCount();
  return true;
}

bool TVideoCapture::TVPutConnectInput(int index) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && impl_->WithStreamStopped([&] { return tuner->ConnectTunerInput(index); });
}

bool TVideoCapture::TVGetConnectInput(int& index) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && tuner->ConnectedTunerInput(index);
}

// In radio mode, the frequency the radio is tuned to.
bool TVideoCapture::TVGetVideoFrequency(int& hertz) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  long value;
  if (!tuner || !tuner->VideoFrequency(value)) return false;
  hertz = static_cast<int>(value);
  return true;
}

// ---------------------------------------------------------------- decoder

bool TVideoCapture::VDECPutTVFormat(int format) {
  engine::TAnalogDecoder* decoder = DecoderOf(*impl_);
  return decoder && impl_->WithStreamStopped([&] { return decoder->SetStandard(format); });
}

bool TVideoCapture::VDECGetHorizontalLocked(int& locked) {
  engine::TAnalogDecoder* decoder = DecoderOf(*impl_);
  bool value;
  if (!decoder || !decoder->HorizontalLocked(value)) return false;
  locked = value ? 1 : 0;
  return true;
}

bool TVideoCapture::VDECGetNumberOfLines(int& lines) {
  engine::TAnalogDecoder* decoder = DecoderOf(*impl_);
  long flag;
  if (!decoder || !decoder->Standard(flag)) return false;
  // NTSC and its relatives PAL_M and PAL_60 draw 525 lines, the rest 625.
  lines = (flag & (0x1 | 0x2 | 0x4 | 0x200 | 0x800)) ? 525 : 625;
  return true;
}

bool TVideoCapture::GetTVTunerAvailable() const { return TunerOf(*impl_) != nullptr; }
