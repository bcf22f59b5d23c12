// The TV card's tuner and analog video decoder, and DV camcorders as far as
// Linux lets them exist: no IEEE 1394 transport, so no DV source and no time
// code reader.

#include "videocapture/TvCard.h"

#include "videocapture/CaptureImpl.h"

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
  if (Ready() && impl_->source && impl_->source->AnalogDecoder())
    impl_->source->AnalogDecoder()->SetStandard(AnalogStandardFlag(standard));
}

// ---------------------------------------------------------------- tuner

namespace {

engine::TTvTuner* TunerOf(TImpl& impl) { return impl.source ? impl.source->Tuner() : nullptr; }
engine::TAnalogDecoder* DecoderOf(TImpl& impl) { return impl.source ? impl.source->AnalogDecoder() : nullptr; }

}  // namespace

bool TVideoCapture::TVPutChannel(int, int, int) { return false; }
bool TVideoCapture::TVGetChannel(int&, int&, int&) { return false; }
bool TVideoCapture::TVChannelMinMax(int&, int&) { return false; }
bool TVideoCapture::TVPutCountryCode(int) { return false; }
bool TVideoCapture::TVGetCountryCode(int&) { return false; }
bool TVideoCapture::TVPutTuningSpace(int) { return false; }
bool TVideoCapture::TVGetTuningSpace(int&) { return false; }
bool TVideoCapture::TVLogon(void*) { return false; }
bool TVideoCapture::TVLogout() { return false; }
bool TVideoCapture::TVAutoTune(int, int&) { return false; }
bool TVideoCapture::TVStoreAutoTune() { return false; }
bool TVideoCapture::TVPutInputType(int, TTunerInputType) { return false; }
bool TVideoCapture::TVGetInputType(int, TTunerInputType&) { return false; }
bool TVideoCapture::TVGetAudioFrequency(int&) { return false; }
bool TVideoCapture::VDECPutVCRHorizontalLocking(int) { return false; }
bool TVideoCapture::VDECGetVCRHorizontalLocking(int&) { return false; }
bool TVideoCapture::VDECPutOutputEnable(int) { return false; }
bool TVideoCapture::VDECGetOutputEnable(int&) { return false; }

bool TVideoCapture::TVSignalPresent(int& strength) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  bool present;
  if (!tuner || !tuner->SignalPresent(present)) return false;
  strength = present ? 1 : 0;
  return true;
}

bool TVideoCapture::TVPutMode(int mode) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && mode == tuner->Mode();
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
  return tuner && tuner->ConnectTunerInput(index);
}

bool TVideoCapture::TVGetConnectInput(int& index) {
  engine::TTvTuner* tuner = TunerOf(*impl_);
  return tuner && tuner->ConnectedTunerInput(index);
}

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
  return decoder && decoder->SetStandard(format);
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

// ---------------------------------------------------------------- DV

bool TVideoCapture::SendDVCommand(TDVCommand) { return false; }
bool TVideoCapture::GetTimeCodeReaderAvailable() const { return false; }

template <typename T>
void TVideoCapture::SetDVParameter(int code, T& field, T value) {
  if ((code != 0 && Queue(code, static_cast<int>(value))) || value == field) return;
  field = value;
  if (!Ready() || !PreviewStateCheck()) return;
  if (!impl_->sourceIsDV) {
    Report(false, rl_Warning, "applies only to DV", 76);
    return;
  }
  if (RefreshPreviewOnParamChange) RestartGraph();
}

void TVideoCapture::SetDVCaptureMode(TDVCaptureMode mode) { SetDVParameter(8, dvCaptureMode_, mode); }
void TVideoCapture::SetDVPreviewResolution(TDVResolution r) { SetDVParameter(16, dvPreviewResolution_, r); }
void TVideoCapture::SetDVReduceFrameRate(bool on) { SetDVParameter(17, dvReduceFrameRate_, on); }
void TVideoCapture::SetDVUseExternalAudio(bool on) { SetDVParameter(18, dvUseExternalAudio_, on); }
void TVideoCapture::SetDVCaptureResolution(TDVResolution r) { SetDVParameter(0, dvCaptureResolution_, r); }
