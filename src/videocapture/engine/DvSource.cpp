#include "videocapture/engine/DvSource.h"

#include <libavc1394/avc1394.h>

#include <atomic>
#include <mutex>

#include "videocapture/engine/DevWatch.h"
#include "videocapture/engine/DvCodec.h"

namespace videocapture::engine {

namespace {

const std::string kPrefix = "@dv#";

// AV/C frames as bytes: ctype (or response code), subunit, opcode, operands.
constexpr std::uint8_t kTapeSubunit = AVC1394_SUBUNIT_VCR << 3;  // tape recorder 0
constexpr std::uint8_t kUnit = (AVC1394_SUBUNIT_UNIT << 3) | 7;  // the unit itself
constexpr std::uint8_t kOutputPlugSignalFormat = AVC1394_COMMAND_OUTPUT_PLUG_SIGNAL_FORMAT >> 8;
constexpr std::uint8_t kAsk = 0xFF;  // an operand the answer fills in
// The status subfunction of the tape's time code and track number commands.
constexpr std::uint8_t kStatusOperand = AVC1394_VCR_OPERAND_TIME_CODE_STATUS;
// The FDF byte of a DV stream's signal format: its top bit set for 50 fields a second.
constexpr std::uint8_t kFifty = 0x80;

struct TapeCommand {
  TTransportMode mode;
  std::uint8_t opcode, operand;
};
constexpr TapeCommand kTapeCommands[] = {
    {tm_Play, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_FORWARD},
    {tm_Stop, AVC1394_VCR_CMD_WIND, AVC1394_VCR_OPERAND_WIND_STOP},
    {tm_Freeze, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_FORWARD_PAUSE},
    {tm_FastForward, AVC1394_VCR_CMD_WIND, AVC1394_VCR_OPERAND_WIND_FAST_FORWARD},
    {tm_Rewind, AVC1394_VCR_CMD_WIND, AVC1394_VCR_OPERAND_WIND_REWIND},
    {tm_Record, AVC1394_VCR_CMD_RECORD, AVC1394_VCR_OPERAND_RECORD_RECORD},
    {tm_RecordFreeze, AVC1394_VCR_CMD_RECORD, AVC1394_VCR_OPERAND_RECORD_PAUSE},
    {tm_StepForward, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_NEXT_FRAME},
    {tm_StepReverse, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_PREVIOUS_FRAME},
    {tm_PlayFastestForward, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_FASTEST_FORWARD},
    {tm_PlaySlowestForward, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_SLOWEST_FORWARD},
    {tm_PlayFastestReverse, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_FASTEST_REVERSE},
    {tm_PlaySlowestReverse, AVC1394_VCR_CMD_PLAY, AVC1394_VCR_OPERAND_PLAY_SLOWEST_REVERSE},
};

// Where the camcorder's sound goes while the graph lets it flow. Shared by
// the source (which feeds it from the receiver's thread) and the sound
// source the graph starts and stops.
struct SoundTap {
  std::mutex mutex;
  TAudioSink sink;
  std::uint64_t samples = 0;  // handed on since the start
  TDvSoundDecoder decoder;
  std::vector<std::uint8_t> pcm;
};

class DvSound : public TAudioSource {
 public:
  explicit DvSound(std::shared_ptr<SoundTap> tap) : tap_(std::move(tap)) {}
  ~DvSound() override { Stop(); }
  bool SetFormat(const TPcmFormat& format) override { return format == Format(); }
  TPcmFormat Format() const override { return {TDvSoundDecoder::kRate, 16, 2}; }
  bool Start(TAudioSink sink) override {
    std::lock_guard lock(tap_->mutex);
    if (tap_->sink) return false;
    tap_->sink = std::move(sink);
    tap_->samples = 0;
    return true;
  }
  void Stop() override {
    std::lock_guard lock(tap_->mutex);
    tap_->sink = nullptr;
  }

 private:
  std::shared_ptr<SoundTap> tap_;
};

class DvSource : public TCaptureSource, public TDroppedFrames, public TTransport, public TTimecodeReader {
 public:
  DvSource(TDeviceInfo info, std::unique_ptr<TAvcUnit> avc, std::unique_ptr<TDvReceiver> receiver)
      : info_(std::move(info)),
        avc_(std::move(avc)),
        receiver_(std::move(receiver)),
        tap_(std::make_shared<SoundTap>()) {
    // The unit says which system it sends; one that does not answer is taken
    // for the 625-line kind.
    std::vector<std::uint8_t> answer;
    if (Ask(AVC1394_CTYP_STATUS, kUnit, kOutputPlugSignalFormat, {0, kAsk, kAsk, kAsk, kAsk}, answer) &&
        answer.size() >= 6)
      system_ = (answer[5] & kFifty) ? kDv625 : kDv525;
  }
  ~DvSource() override { Stop(); }

  const TDeviceInfo& Info() const override { return info_; }
  TPinFacts Pins() const override {
    TPinFacts facts;
    facts.interleaved = true;
    facts.transport = true;  // a tape unit, even when its commands do not reach it
    return facts;
  }

  int CapabilityCount() override { return 1; }
  bool GetCapability(int index, TVideoFormat& format, TStreamCaps& caps) override {
    if (index != 0) return false;
    GetFormat(format);
    caps = {system_.width, system_.height, system_.width, system_.height, 1, 1, system_.interval, system_.interval};
    return true;
  }
  bool QueryAccept(const TVideoFormat& f) override {
    return f.subtype == kDvsd && f.width == system_.width && f.height == system_.height;
  }
  bool GetFormat(TVideoFormat& format) override {
    // No video-info format: a rate asked for is not the tape's to change.
    format = {kDvsd, system_.width, system_.height, system_.interval, TFormatKind::None};
    return true;
  }
  bool SetFormat(const TVideoFormat& format) override { return QueryAccept(format); }

  TProcAmp* ProcAmp() override { return nullptr; }
  TDroppedFrames* DroppedFrames() override { return this; }
  TCrossbar* Crossbar() override { return nullptr; }
  TTransport* Transport() override { return avc_ ? this : nullptr; }
  TTimecodeReader* TimecodeReader() override { return avc_ ? this : nullptr; }
  std::unique_ptr<TAudioSource> OpenSound() override { return std::make_unique<DvSound>(tap_); }

  bool GetNumDropped(long& count) override {
    count = dropped_.load();
    return true;
  }
  bool GetNumNotDropped(long& count) override {
    count = delivered_.load();
    return true;
  }

  bool SetMode(TTransportMode mode) override {
    for (const TapeCommand& c : kTapeCommands) {
      std::vector<std::uint8_t> answer;
      if (c.mode == mode)
        return Ask(AVC1394_CTYP_CONTROL, kTapeSubunit, c.opcode, {c.operand}, answer) &&
               answer[0] == AVC1394_RESP_ACCEPTED;
    }
    return false;
  }

  bool TimeCode(std::uint32_t& bcd) override {
    std::vector<std::uint8_t> a;
    if (!Ask(AVC1394_CTYP_STATUS, kTapeSubunit, AVC1394_VCR_CMD_TIME_CODE, {kStatusOperand, kAsk, kAsk, kAsk, kAsk},
             a) ||
        a[0] != AVC1394_RESP_STABLE || a.size() < 8)
      return false;
    // Frames, seconds, minutes, hours; the bits above the BCD digits are flags.
    auto digits = [](std::uint8_t b, std::uint8_t mask) -> std::uint32_t { return b == 0xFF ? 0xFF : b & mask; };
    bcd = digits(a[7], 0x3F) << 24 | digits(a[6], 0x7F) << 16 | digits(a[5], 0x7F) << 8 | digits(a[4], 0x3F);
    return true;
  }

  bool TrackNumber(long& track) override {
    std::vector<std::uint8_t> a;
    if (!Ask(AVC1394_CTYP_STATUS, kTapeSubunit, AVC1394_VCR_CMD_ABSOLUTE_TRACK_NUMBER,
             {kStatusOperand, kAsk, kAsk, kAsk}, a) ||
        a[0] != AVC1394_RESP_STABLE || a.size() < 7 || (a[4] == 0xFF && a[5] == 0xFF && a[6] == 0xFF))
      return false;
    track = static_cast<long>(a[4]) << 16 | static_cast<long>(a[5]) << 8 | a[6];
    return true;
  }

  bool Start(TFrameSink frames, TEventSink events) override {
    if (streaming_) return false;
    count_ = 0;
    dropped_ = delivered_ = 0;
    streaming_ =
        receiver_->Start([this, frames = std::move(frames)](const std::uint8_t* data, std::size_t length,
                                                            bool complete) { Receive(frames, data, length, complete); },
                         [events = std::move(events)] { events(TGraphEventCode::DeviceLost); });
    return streaming_;
  }

  void Stop() override {
    if (!streaming_) return;
    receiver_->Stop();
    streaming_ = false;
  }

 private:
  bool Ask(std::uint8_t ctype, std::uint8_t subunit, std::uint8_t opcode, std::initializer_list<std::uint8_t> operands,
           std::vector<std::uint8_t>& answer) {
    if (!avc_) return false;
    std::vector<std::uint8_t> command{ctype, subunit, opcode};
    for (const std::uint8_t operand : operands) command.push_back(operand);
    return avc_->Transact(command, answer) && answer.size() >= 3 && answer[2] == opcode;
  }

  // On the receiver's thread.
  void Receive(const TFrameSink& frames, const std::uint8_t* data, std::size_t length, bool complete) {
    const std::uint64_t index = count_++;
    if (!complete || length < system_.frameBytes) {
      ++dropped_;
      return;
    }
    TFrame frame;
    frame.sampleTime = static_cast<double>(index) * system_.interval / kUnitsPerSecond;
    frame.width = system_.width;
    frame.height = system_.height;
    frame.topDown = true;
    frame.packed = data;
    frame.packedLength = length;
    ++delivered_;  // counted first, so whoever sees the frame sees it counted
    frames(frame);
    std::lock_guard lock(tap_->mutex);
    if (!tap_->sink) return;
    tap_->pcm.clear();
    if (!tap_->decoder.Decode(data, length, tap_->pcm) || tap_->pcm.empty()) return;
    TAudioBlock block;
    block.data = tap_->pcm.data();
    block.length = tap_->pcm.size();
    block.sampleTime = static_cast<double>(tap_->samples) / TDvSoundDecoder::kRate;
    tap_->samples += tap_->pcm.size() / 4;
    tap_->sink(block);
  }

  TDeviceInfo info_;
  std::unique_ptr<TAvcUnit> avc_;
  std::unique_ptr<TDvReceiver> receiver_;
  std::shared_ptr<SoundTap> tap_;
  TDvSystem system_ = kDv625;
  bool streaming_ = false;
  std::uint64_t count_ = 0;  // the receiver's thread only, once started
  std::atomic<long> dropped_{0}, delivered_{0};
};

class DvBackend : public TCaptureBackend {
 public:
  DvBackend(std::shared_ptr<TIeee1394Bus> bus, std::string nodeFolder)
      : bus_(std::move(bus)), nodeFolder_(std::move(nodeFolder)) {}

  std::vector<TDeviceInfo> Enumerate(TCategory category) override {
    std::vector<TDeviceInfo> list;
    if (category != TCategory::VideoInput) return list;
    for (const TDvUnit& unit : bus_->Units()) list.push_back(InfoOf(unit));
    return list;
  }

  std::unique_ptr<TCaptureSource> Open(const std::string& moniker) override {
    for (const TDvUnit& unit : bus_->Units()) {
      if (InfoOf(unit).moniker != moniker) continue;
      auto receiver = bus_->OpenReceiver(unit);
      if (!receiver) return nullptr;
      return std::make_unique<DvSource>(InfoOf(unit), bus_->OpenAvc(unit), std::move(receiver));
    }
    return nullptr;
  }

  bool CanBind(TCategory, const std::string&) override { return false; }

  void Watch(std::function<void()> notice) override {
    watch_ = std::make_unique<TDevWatch>(
        nodeFolder_, [](const std::string& name) { return name.rfind("fw", 0) == 0; }, std::move(notice));
  }

 private:
  static TDeviceInfo InfoOf(const TDvUnit& unit) {
    TDeviceInfo info;
    info.moniker = kPrefix + unit.guid + "#";
    info.friendlyName = unit.name;
    return info;
  }

  std::shared_ptr<TIeee1394Bus> bus_;
  std::string nodeFolder_;
  std::unique_ptr<TDevWatch> watch_;
};

}  // namespace

std::unique_ptr<TCaptureBackend> MakeDvBackend(std::shared_ptr<TIeee1394Bus> bus, const std::string& nodeFolder) {
  return std::make_unique<DvBackend>(std::move(bus), nodeFolder);
}

}  // namespace videocapture::engine
