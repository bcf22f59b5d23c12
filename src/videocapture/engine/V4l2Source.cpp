// One opened V4L2 camera: its formats from the enumeration ioctls, picture
// controls, input routing, and memory-mapped streaming on a thread of its own.

#include <linux/videodev2.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/Jpeg.h"
#include "videocapture/engine/PixelConvert.h"
#include "videocapture/engine/V4l2Backend.h"
#include "videocapture/engine/V4l2Sound.h"

namespace videocapture::engine {

namespace {

constexpr int kBufferCount = 4;
// Errors in a row after which a stream that still answers counts as gone.
constexpr int kMaxFailures = 50;
// How long a tuner takes to lock on a new frequency before its signal reading holds.
constexpr int kTunerSettleMs = 30;
// The tuner's modes, as the component numbers them.
constexpr int kTvMode = 1, kFmMode = 2, kAmMode = 4;

TSubType SubTypeOf(std::uint32_t pixelformat) {
  switch (pixelformat) {
    case V4L2_PIX_FMT_YUYV: return kYuy2;
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return kMjpg;
    case V4L2_PIX_FMT_BGR24: return kRgb24;
    default: return 0;
  }
}

TRefTime FromFraction(const v4l2_fract& f) {
  if (f.denominator == 0) return 0;
  return static_cast<TRefTime>(f.numerator) * kUnitsPerSecond / f.denominator;
}

// The picture controls in the order of the component's video qualities.
constexpr std::uint32_t kControlIds[kProcAmpCount] = {
    V4L2_CID_BRIGHTNESS, V4L2_CID_CONTRAST, V4L2_CID_HUE,
    V4L2_CID_SATURATION, V4L2_CID_SHARPNESS, V4L2_CID_GAMMA,
    V4L2_CID_COLORFX,  // colour on (1) or off (0): no effect, or black and white
    V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_BACKLIGHT_COMPENSATION, V4L2_CID_GAIN,
};
constexpr int kColorEnable = 6;

// Tuner frequencies are counted in 62.5 kHz, or in 62.5 Hz or 1 Hz for
// tuners that say so: the unit here in millihertz.
std::int64_t UnitMilliHertz(std::uint32_t capability) {
  if (capability & V4L2_TUNER_CAP_1HZ) return 1000;
  return (capability & V4L2_TUNER_CAP_LOW) ? 62500 : 62500000;
}
long UnitsToHertz(std::uint32_t units, std::uint32_t capability) {
  return static_cast<long>(units * UnitMilliHertz(capability) / 1000);
}
std::uint32_t HertzToUnits(long hertz, std::uint32_t capability) {
  const std::int64_t unit = UnitMilliHertz(capability);
  return static_cast<std::uint32_t>((static_cast<std::int64_t>(hertz) * 1000 + unit / 2) / unit);
}

// The decoder's standard flags beside the V4L2 standards they stand for.
struct StandardPair {
  long flag;
  v4l2_std_id std;
};
constexpr StandardPair kStandards[] = {
    {0x1, V4L2_STD_NTSC_M},      {0x2, V4L2_STD_NTSC_M_JP},  {0x4, V4L2_STD_NTSC_443},   {0x10, V4L2_STD_PAL_B},
    {0x20, V4L2_STD_PAL_D},      {0x40, V4L2_STD_PAL_G},     {0x80, V4L2_STD_PAL_H},     {0x100, V4L2_STD_PAL_I},
    {0x200, V4L2_STD_PAL_M},     {0x400, V4L2_STD_PAL_N},    {0x800, V4L2_STD_PAL_60},   {0x1000, V4L2_STD_SECAM_B},
    {0x2000, V4L2_STD_SECAM_D},  {0x4000, V4L2_STD_SECAM_G}, {0x8000, V4L2_STD_SECAM_H}, {0x10000, V4L2_STD_SECAM_K},
    {0x20000, V4L2_STD_SECAM_K1}, {0x40000, V4L2_STD_SECAM_L}, {0x80000, V4L2_STD_SECAM_LC},
    {0x100000, V4L2_STD_PAL_Nc},
};

// What the node itself does, apart from the other nodes of its device.
std::uint32_t NodeCaps(const v4l2_capability& cap) {
  return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

long FlagsOf(v4l2_std_id std) {
  long flags = 0;
  for (const auto& p : kStandards)
    if (std & p.std) flags |= p.flag;
  return flags;
}

class V4l2Source : public TCaptureSource,
                   public TProcAmp,
                   public TDroppedFrames,
                   public TCrossbar,
                   public TTvTuner,
                   public TAnalogDecoder {
 public:
  V4l2Source(std::shared_ptr<TV4l2Io> io, int fd, TDeviceInfo info)
      : io_(std::move(io)), fd_(fd), info_(std::move(info)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    canSetRate_ = Ioctl(VIDIOC_G_PARM, &parm) && (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME);
    ReadCapabilities();
    v4l2_input input{};
    while (Ioctl(VIDIOC_ENUMINPUT, &input)) {
      inputs_.push_back(reinterpret_cast<const char*>(input.name));
      if (input.type == V4L2_INPUT_TYPE_TUNER) tunerInputs_.push_back({static_cast<int>(input.index), input.tuner});
      ++input.index;
    }
    v4l2_standard standard{};
    hasStandards_ = Ioctl(VIDIOC_ENUMSTD, &standard);
    v4l2_tuner tuner{};
    hasTuner_ = Ioctl(VIDIOC_G_TUNER, &tuner);
    if (hasTuner_) FindRadio();
    tvAudio_ = OpenV4l2TvAudio(io_, fd_);
    audioInputs_ = OpenV4l2AudioInputs(io_, fd_);
  }

  ~V4l2Source() override {
    Stop();
    if (radioFd_ >= 0) io_->Close(radioFd_);
    io_->Close(fd_);
    if (wake_ >= 0) ::close(wake_);
  }

  const TDeviceInfo& Info() const override { return info_; }
  TPinFacts Pins() const override {
    TPinFacts facts;
    facts.analogVideoIn = inputs_.size() > 1;
    return facts;
  }

  int CapabilityCount() override { return static_cast<int>(caps_.size()); }
  bool GetCapability(int index, TVideoFormat& format, TStreamCaps& caps) override {
    if (index < 0 || index >= static_cast<int>(caps_.size())) return false;
    format = caps_[index].first;
    caps = caps_[index].second;
    return true;
  }

  bool QueryAccept(const TVideoFormat& f) override {
    auto pix = pixelFormats_.find(f.subtype);
    if (pix == pixelFormats_.end() || f.width <= 0 || f.height <= 0) return false;
    v4l2_format fmt = PixFormat(pix->second, f.width, f.height);
    if (Ioctl(VIDIOC_TRY_FMT, &fmt))
      return fmt.fmt.pix.pixelformat == pix->second && static_cast<int>(fmt.fmt.pix.width) == f.width &&
             static_cast<int>(fmt.fmt.pix.height) == f.height;
    // Drivers without a trial answer by their listed sizes.
    for (const auto& [format, caps] : caps_)
      if (format.subtype == f.subtype && f.width >= caps.minWidth && f.width <= caps.maxWidth &&
          f.height >= caps.minHeight && f.height <= caps.maxHeight &&
          (f.width - caps.minWidth) % std::max(1, caps.granularityX) == 0 &&
          (f.height - caps.minHeight) % std::max(1, caps.granularityY) == 0)
        return true;
    return false;
  }

  bool GetFormat(TVideoFormat& format) override {
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!Ioctl(VIDIOC_G_FMT, &fmt)) return false;
    format = {SubTypeOf(fmt.fmt.pix.pixelformat), static_cast<int>(fmt.fmt.pix.width),
              static_cast<int>(fmt.fmt.pix.height), 0, TFormatKind::VideoInfo};
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_G_PARM, &parm)) format.avgTimePerFrame = FromFraction(parm.parm.capture.timeperframe);
    return format.subtype != 0;
  }

  bool SetFormat(const TVideoFormat& f) override {
    auto pix = pixelFormats_.find(f.subtype);
    if (streaming_ || pix == pixelFormats_.end()) return false;
    v4l2_format fmt = PixFormat(pix->second, f.width, f.height);
    if (!Ioctl(VIDIOC_S_FMT, &fmt) || fmt.fmt.pix.pixelformat != pix->second ||
        static_cast<int>(fmt.fmt.pix.width) != f.width || static_cast<int>(fmt.fmt.pix.height) != f.height)
      return false;
    if (f.avgTimePerFrame > 0 && canSetRate_) {
      // The driver settles on the nearest rate it has; a refusal keeps the old one.
      const std::int64_t g = std::gcd(f.avgTimePerFrame, kUnitsPerSecond);
      v4l2_streamparm parm{};
      parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      parm.parm.capture.timeperframe.numerator = static_cast<std::uint32_t>(f.avgTimePerFrame / g);
      parm.parm.capture.timeperframe.denominator = static_cast<std::uint32_t>(kUnitsPerSecond / g);
      Ioctl(VIDIOC_S_PARM, &parm);
    }
    return true;
  }

  TProcAmp* ProcAmp() override {
    for (int p = 0; p < kProcAmpCount; ++p) {
      TControlRange range;
      if (GetRange(p, range)) return this;
    }
    return nullptr;
  }
  TDroppedFrames* DroppedFrames() override { return this; }
  TCrossbar* Crossbar() override { return inputs_.size() > 1 ? this : nullptr; }
  TTvTuner* Tuner() override { return hasTuner_ ? this : nullptr; }
  TAnalogDecoder* AnalogDecoder() override { return hasStandards_ ? this : nullptr; }
  TTvAudio* TvAudio() override { return tvAudio_.get(); }
  TCrossbar* AudioCrossbar() override { return audioInputs_.get(); }

  // -- tuner: V4L2 tunes by frequency; the channel plans are the component's
  int AvailableModes() override {
    int modes = 1;
    for (int mode : {kFmMode, kAmMode})
      if (RadioHas(mode)) modes |= mode;
    return modes;
  }
  int Mode() override { return radioFd_ >= 0 ? radioMode_ : kTvMode; }
  bool SetMode(int mode) override {
    if (mode == Mode()) return true;
    if (mode == kTvMode) {
      io_->Close(radioFd_);
      radioFd_ = -1;
      return RetuneInPlace();
    }
    if (!RadioHas(mode)) return false;
    const bool opened = radioFd_ < 0;
    if (opened) radioFd_ = io_->Open(radioPath_);
    const int before = radioMode_;
    radioMode_ = mode;
    if (radioFd_ >= 0 && RetuneInPlace()) return true;
    radioMode_ = before;
    if (opened && radioFd_ >= 0) io_->Close(radioFd_);
    if (opened) radioFd_ = -1;
    return false;
  }
  bool SignalPresent(bool& present) override {
    int strength;
    if (!SignalStrength(strength)) return false;
    present = strength > 0;
    return true;
  }
  bool VideoFrequency(long& hertz) override {
    v4l2_tuner t{};
    if (!GetTuner(t)) return false;
    v4l2_frequency f{};
    f.tuner = t.index;
    if (io_->Ioctl(TunerFd(), VIDIOC_G_FREQUENCY, &f) != 0) return false;
    hertz = UnitsToHertz(f.frequency, t.capability);
    return true;
  }
  bool FrequencyRange(long& low, long& high, long& step) override {
    v4l2_tuner t{};
    if (!GetTuner(t)) return false;
    low = UnitsToHertz(t.rangelow, t.capability);
    high = UnitsToHertz(t.rangehigh, t.capability);
    // A radio of several bands covers those of the mode in use.
    if (radioFd_ >= 0 && !radioBands_.empty()) {
      low = high = 0;
      for (const RadioBand& b : radioBands_)
        if (b.mode == radioMode_) {
          low = low == 0 ? b.low : std::min(low, b.low);
          high = std::max(high, b.high);
        }
    }
    step = static_cast<long>((UnitMilliHertz(t.capability) + 999) / 1000);
    return true;
  }
  bool SetVideoFrequency(long hertz) override {
    v4l2_tuner t{};
    if (!GetTuner(t)) return false;
    v4l2_frequency f{};
    f.tuner = t.index;
    f.type = t.type;
    f.frequency = HertzToUnits(hertz, t.capability);
    if (io_->Ioctl(TunerFd(), VIDIOC_S_FREQUENCY, &f) != 0) return false;
    tunedAt_ = std::chrono::steady_clock::now();
    return true;
  }
  bool SignalStrength(int& strength) override {
    const auto settled = tunedAt_ + std::chrono::milliseconds(kTunerSettleMs);
    const auto now = std::chrono::steady_clock::now();
    if (now < settled)
      io_->Pause(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(settled - now).count()));
    v4l2_tuner t{};
    if (!GetTuner(t)) return false;
    strength = t.signal;
    return true;
  }
  int TunerInputCount() override { return static_cast<int>(tunerInputs_.size()); }
  bool ConnectTunerInput(int input) override {
    if (input < 0 || input >= TunerInputCount()) return false;
    int index = tunerInputs_[static_cast<std::size_t>(input)].first;
    return Ioctl(VIDIOC_S_INPUT, &index);
  }
  bool ConnectedTunerInput(int& input) override {
    int index = -1;
    if (!Ioctl(VIDIOC_G_INPUT, &index)) return false;
    for (std::size_t i = 0; i < tunerInputs_.size(); ++i)
      if (tunerInputs_[i].first == index) {
        input = static_cast<int>(i);
        return true;
      }
    return false;
  }

  // -- decoder
  bool AvailableStandards(long& flags) override {
    flags = 0;
    v4l2_standard standard{};
    for (; Ioctl(VIDIOC_ENUMSTD, &standard); ++standard.index) flags |= FlagsOf(standard.id);
    return flags != 0;
  }
  bool Standard(long& flag) override {
    v4l2_std_id std = 0;
    if (!Ioctl(VIDIOC_G_STD, &std)) return false;
    for (const auto& p : kStandards)
      if (std & p.std) {
        flag = p.flag;
        return true;
      }
    return false;
  }
  bool SetStandard(long flag) override {
    for (const auto& p : kStandards)
      if (p.flag == flag) {
        v4l2_std_id std = p.std;
        return Ioctl(VIDIOC_S_STD, &std);
      }
    return false;
  }
  bool HorizontalLocked(bool& locked) override {
    v4l2_input input{};
    if (!CurrentInput(input)) return false;
    locked = (input.status & V4L2_IN_ST_NO_H_LOCK) == 0;
    return true;
  }
  bool VcrLocking(bool& on) override {
    v4l2_input input{};
    if (!CurrentInput(input)) return false;
    on = (input.status & V4L2_IN_ST_VTR) != 0;
    return true;
  }

  // -- picture controls
  bool GetRange(int property, TControlRange& range) override {
    if (property < 0 || property >= kProcAmpCount || kControlIds[property] == 0) return false;
    v4l2_queryctrl q{};
    q.id = kControlIds[property];
    if (!Ioctl(VIDIOC_QUERYCTRL, &q) || (q.flags & V4L2_CTRL_FLAG_DISABLED)) return false;
    if (property == kColorEnable) {
      // Only an effect menu that offers black and white can switch colour off.
      v4l2_querymenu item{};
      item.id = q.id;
      item.index = V4L2_COLORFX_BW;
      if (q.type != V4L2_CTRL_TYPE_MENU || !Ioctl(VIDIOC_QUERYMENU, &item)) return false;
      range = {true, 0, 1, 1, q.default_value == V4L2_COLORFX_BW ? 0 : 1, 2};
      return true;
    }
    range = {true, q.minimum, q.maximum, q.step, q.default_value, 2};
    return true;
  }
  bool Get(int property, int& value) override {
    if (property < 0 || property >= kProcAmpCount || kControlIds[property] == 0) return false;
    v4l2_control c{kControlIds[property], 0};
    if (!Ioctl(VIDIOC_G_CTRL, &c)) return false;
    value = property == kColorEnable ? (c.value == V4L2_COLORFX_BW ? 0 : 1) : c.value;
    return true;
  }
  bool Set(int property, int value) override {
    if (property < 0 || property >= kProcAmpCount || kControlIds[property] == 0) return false;
    if (property == kColorEnable) {
      if (value != 0 && value != 1) return false;
      v4l2_control effect{V4L2_CID_COLORFX, value == 0 ? V4L2_COLORFX_BW : V4L2_COLORFX_NONE};
      return Ioctl(VIDIOC_S_CTRL, &effect);
    }
    if (kControlIds[property] == V4L2_CID_WHITE_BALANCE_TEMPERATURE) {
      // A temperature is only taken while the automatic balance is off.
      v4l2_control automatic{V4L2_CID_AUTO_WHITE_BALANCE, 0};
      Ioctl(VIDIOC_S_CTRL, &automatic);
    }
    v4l2_control c{kControlIds[property], value};
    return Ioctl(VIDIOC_S_CTRL, &c);
  }

  // -- dropped frames
  bool GetNumDropped(long& count) override {
    count = dropped_.load();
    return true;
  }
  bool GetNumNotDropped(long& count) override {
    count = delivered_.load();
    return true;
  }

  // -- inputs as a crossbar with one output
  int InputCount() override { return static_cast<int>(inputs_.size()); }
  int OutputCount() override { return 1; }
  std::string InputName(int input) override {
    return input >= 0 && input < InputCount() ? inputs_[static_cast<std::size_t>(input)] : std::string();
  }
  bool CanRoute(int output, int input) override { return output == 0 && input >= 0 && input < InputCount(); }
  bool Route(int output, int input) override {
    if (!CanRoute(output, input)) return false;
    return Ioctl(VIDIOC_S_INPUT, &input);
  }
  int RoutedTo(int output) override {
    int input = -1;
    return output == 0 && Ioctl(VIDIOC_G_INPUT, &input) ? input : -1;
  }

  // -- streaming
  bool Start(TFrameSink frames, TEventSink events) override {
    if (streaming_ || wake_ < 0) return false;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!Ioctl(VIDIOC_G_FMT, &fmt) || SubTypeOf(fmt.fmt.pix.pixelformat) == 0) return false;
    pixelformat_ = fmt.fmt.pix.pixelformat;
    width_ = static_cast<int>(fmt.fmt.pix.width);
    height_ = static_cast<int>(fmt.fmt.pix.height);
    bytesPerLine_ = fmt.fmt.pix.bytesperline;
    if (!MapBuffers()) {
      UnmapBuffers();
      return false;
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!Ioctl(VIDIOC_STREAMON, &type)) {
      UnmapBuffers();
      return false;
    }
    std::uint64_t drain;
    while (::read(wake_, &drain, sizeof drain) > 0) {
    }
    stop_ = false;
    dropped_ = 0;
    delivered_ = 0;
    rgb_.assign(Rgb24Stride(width_) * static_cast<std::size_t>(height_), 0);
    streaming_ = true;
    thread_ = std::thread([this, frames = std::move(frames), events = std::move(events)] { Stream(frames, events); });
    return true;
  }

  void Stop() override {
    if (!streaming_) return;
    stop_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wake_, &one, sizeof one);
    thread_.join();
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    Ioctl(VIDIOC_STREAMOFF, &type);
    UnmapBuffers();
    streaming_ = false;
  }

 private:
  struct Mapped {
    void* address = nullptr;
    std::size_t length = 0;
  };

  bool Ioctl(unsigned long request, void* arg) { return io_->Ioctl(fd_, request, arg) == 0; }

  bool CurrentInput(v4l2_input& input) {
    int index = -1;
    if (!Ioctl(VIDIOC_G_INPUT, &index)) return false;
    input = {};
    input.index = static_cast<std::uint32_t>(index);
    return Ioctl(VIDIOC_ENUMINPUT, &input);
  }

  // The tuner of the selected input, or of the first tuner input when the
  // card looks at another input now.
  std::uint32_t TunerIndex() {
    int index = -1;
    Ioctl(VIDIOC_G_INPUT, &index);
    for (const auto& [input, tuner] : tunerInputs_)
      if (input == index) return tuner;
    return tunerInputs_.empty() ? 0 : tunerInputs_.front().second;
  }

  // In radio mode the radio node's tuner, else the video input's.
  int TunerFd() const { return radioFd_ >= 0 ? radioFd_ : fd_; }
  bool GetTuner(v4l2_tuner& t) {
    t = {};
    t.index = radioFd_ >= 0 ? 0 : TunerIndex();
    return io_->Ioctl(TunerFd(), VIDIOC_G_TUNER, &t) == 0;
  }

  // A card's tuner serves its video and its radio node in turn, and goes
  // with the node that set a frequency last: setting the frequency the
  // tuner of the chosen mode had takes it over.
  bool RetuneInPlace() {
    long hertz, low, high, step;
    if (!VideoFrequency(hertz) || !FrequencyRange(low, high, step)) return false;
    return SetVideoFrequency(std::clamp(hertz, low, high));
  }

  // Whether the card's radio receives in that mode: FM unless its bands say
  // otherwise (a driver that lists none has one band, for FM).
  bool RadioHas(int mode) const {
    if (radioPath_.empty()) return false;
    if (radioBands_.empty()) return mode == kFmMode;
    return std::any_of(radioBands_.begin(), radioBands_.end(), [mode](const RadioBand& b) { return b.mode == mode; });
  }

  void ReadRadioBands(int fd) {
    v4l2_tuner t{};
    if (io_->Ioctl(fd, VIDIOC_G_TUNER, &t) != 0 || !(t.capability & V4L2_TUNER_CAP_FREQ_BANDS)) return;
    v4l2_frequency_band band{};
    band.type = V4L2_TUNER_RADIO;
    for (; io_->Ioctl(fd, VIDIOC_ENUM_FREQ_BANDS, &band) == 0; ++band.index) {
      const long low = UnitsToHertz(band.rangelow, t.capability), high = UnitsToHertz(band.rangehigh, t.capability);
      if (band.modulation & V4L2_BAND_MODULATION_FM) radioBands_.push_back({kFmMode, low, high});
      if (band.modulation & V4L2_BAND_MODULATION_AM) radioBands_.push_back({kAmMode, low, high});
    }
  }

  // The radio of the card: a node of its own on the same bus.
  void FindRadio() {
    v4l2_capability own{};
    if (!Ioctl(VIDIOC_QUERYCAP, &own) || own.bus_info[0] == 0) return;
    for (const std::string& path : io_->ListRadioNodes()) {
      const int fd = io_->Open(path);
      if (fd < 0) continue;
      v4l2_capability cap{};
      const bool ours = io_->Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && (NodeCaps(cap) & V4L2_CAP_RADIO) &&
                        (NodeCaps(cap) & V4L2_CAP_TUNER) &&
                        std::memcmp(cap.bus_info, own.bus_info, sizeof cap.bus_info) == 0;
      if (ours) ReadRadioBands(fd);
      io_->Close(fd);
      if (ours) {
        radioPath_ = path;
        return;
      }
    }
  }

  static v4l2_format PixFormat(std::uint32_t pixelformat, int width, int height) {
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.pixelformat = pixelformat;
    fmt.fmt.pix.width = static_cast<std::uint32_t>(width);
    fmt.fmt.pix.height = static_cast<std::uint32_t>(height);
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    return fmt;
  }

  void Intervals(std::uint32_t pixelformat, std::uint32_t width, std::uint32_t height, TStreamCaps& caps) {
    v4l2_frmivalenum e{};
    e.pixel_format = pixelformat;
    e.width = width;
    e.height = height;
    for (; Ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &e); ++e.index) {
      if (e.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
        const TRefTime t = FromFraction(e.discrete);
        if (t <= 0) continue;
        caps.minFrameInterval = caps.minFrameInterval == 0 ? t : std::min(caps.minFrameInterval, t);
        caps.maxFrameInterval = std::max(caps.maxFrameInterval, t);
      } else {
        caps.minFrameInterval = FromFraction(e.stepwise.min);
        caps.maxFrameInterval = FromFraction(e.stepwise.max);
        break;
      }
    }
  }

  void AddCapability(TSubType subtype, std::uint32_t pixelformat, const v4l2_frmsizeenum& size) {
    TStreamCaps caps;
    std::uint32_t w, h;
    if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
      w = size.discrete.width;
      h = size.discrete.height;
      caps.minWidth = caps.maxWidth = static_cast<int>(w);
      caps.minHeight = caps.maxHeight = static_cast<int>(h);
    } else {
      const auto& s = size.stepwise;
      w = s.max_width;
      h = s.max_height;
      caps = {static_cast<int>(s.min_width), static_cast<int>(s.min_height), static_cast<int>(s.max_width),
              static_cast<int>(s.max_height), static_cast<int>(std::max(1u, s.step_width)),
              static_cast<int>(std::max(1u, s.step_height)), 0, 0};
    }
    if (w == 0 || h == 0) return;
    Intervals(pixelformat, w, h, caps);
    caps_.push_back({{subtype, static_cast<int>(w), static_cast<int>(h), caps.minFrameInterval, TFormatKind::VideoInfo},
                     caps});
  }

  void ReadCapabilities() {
    v4l2_fmtdesc desc{};
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (; Ioctl(VIDIOC_ENUM_FMT, &desc); ++desc.index) {
      const TSubType subtype = SubTypeOf(desc.pixelformat);
      if (subtype == 0 || pixelFormats_.count(subtype)) continue;
      pixelFormats_[subtype] = desc.pixelformat;
      v4l2_frmsizeenum size{};
      size.pixel_format = desc.pixelformat;
      for (; Ioctl(VIDIOC_ENUM_FRAMESIZES, &size); ++size.index) {
        AddCapability(subtype, desc.pixelformat, size);
        if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) break;
      }
    }
  }

  bool MapBuffers() {
    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (!Ioctl(VIDIOC_REQBUFS, &req) || req.count == 0) return false;
    requested_ = true;
    for (std::uint32_t i = 0; i < req.count; ++i) {
      v4l2_buffer buf{};
      buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buf.memory = V4L2_MEMORY_MMAP;
      buf.index = i;
      if (!Ioctl(VIDIOC_QUERYBUF, &buf)) return false;
      void* address = io_->Map(fd_, buf.length, buf.m.offset);
      if (address == nullptr) return false;
      buffers_.push_back({address, buf.length});
      if (!Ioctl(VIDIOC_QBUF, &buf)) return false;
    }
    return true;
  }

  void UnmapBuffers() {
    for (const auto& b : buffers_) io_->Unmap(b.address, b.length);
    buffers_.clear();
    if (requested_) {
      v4l2_requestbuffers req{};
      req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      req.memory = V4L2_MEMORY_MMAP;
      Ioctl(VIDIOC_REQBUFS, &req);
      requested_ = false;
    }
  }

  bool Convert(const std::uint8_t* data, std::size_t used) {
    const std::size_t stride = Rgb24Stride(width_);
    switch (pixelformat_) {
      case V4L2_PIX_FMT_YUYV:
        YuyvToBgr(data, used, std::max<std::size_t>(bytesPerLine_, static_cast<std::size_t>(width_) * 2), width_,
                  height_, rgb_.data(), stride);
        return true;
      case V4L2_PIX_FMT_BGR24:
        CopyBgr(data, used, std::max<std::size_t>(bytesPerLine_, static_cast<std::size_t>(width_) * 3), width_,
                height_, rgb_.data(), stride);
        return true;
      default:
        return platform::DecodeJpegInto(data, used, width_, height_, platform::TPixelOrder::Bgr, rgb_.data(),
                                        stride) == platform::TJpegDecoded::Done;
    }
  }

  void Stream(const TFrameSink& frames, const TEventSink& events) {
    int failures = 0;
    bool haveSequence = false;
    std::uint32_t lastSequence = 0;
    double firstStamp = -1;
    while (!stop_) {
      if (io_->WaitFrame(fd_, wake_, 500) <= 0) continue;
      if (stop_) break;
      v4l2_buffer buf{};
      buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buf.memory = V4L2_MEMORY_MMAP;
      if (!Ioctl(VIDIOC_DQBUF, &buf)) {
        if (errno == EAGAIN) continue;
        if (errno == ENODEV || ++failures > kMaxFailures) {
          events(TGraphEventCode::DeviceLost);
          return;
        }
        continue;
      }
      failures = 0;
      if (haveSequence && buf.sequence > lastSequence + 1) dropped_ += buf.sequence - lastSequence - 1;
      haveSequence = true;
      lastSequence = buf.sequence;
      if (buf.index < buffers_.size()) {
        const Mapped& m = buffers_[buf.index];
        const std::size_t used = std::min<std::size_t>(buf.bytesused, m.length);
        if (Convert(static_cast<const std::uint8_t*>(m.address), used)) {
          const double stamp = static_cast<double>(buf.timestamp.tv_sec) + buf.timestamp.tv_usec / 1e6;
          if (firstStamp < 0) firstStamp = stamp;
          TFrame frame;
          frame.sampleTime = stamp - firstStamp;
          frame.data = rgb_.data();
          frame.length = rgb_.size();
          frame.width = width_;
          frame.height = height_;
          frame.stride = Rgb24Stride(width_);
          frame.topDown = true;
          ++delivered_;  // counted first, so whoever sees the frame sees it counted
          frames(frame);
        } else {
          ++dropped_;  // a damaged compressed frame, common with USB cameras
        }
      }
      if (!Ioctl(VIDIOC_QBUF, &buf) && errno == ENODEV) {
        events(TGraphEventCode::DeviceLost);
        return;
      }
    }
  }

  std::shared_ptr<TV4l2Io> io_;
  int fd_;
  TDeviceInfo info_;
  int wake_;
  bool canSetRate_ = false;
  std::vector<std::pair<TVideoFormat, TStreamCaps>> caps_;
  std::map<TSubType, std::uint32_t> pixelFormats_;
  std::vector<std::string> inputs_;
  std::vector<std::pair<int, std::uint32_t>> tunerInputs_;  // input index, its tuner
  std::chrono::steady_clock::time_point tunedAt_;
  bool hasStandards_ = false;
  bool hasTuner_ = false;
  std::string radioPath_;  // empty: the card has no radio
  int radioFd_ = -1;       // open while in radio mode
  int radioMode_ = kFmMode;
  struct RadioBand {
    int mode;  // FM or AM
    long low, high;  // Hz
  };
  std::vector<RadioBand> radioBands_;  // empty when the driver lists none
  std::unique_ptr<TTvAudio> tvAudio_;
  std::unique_ptr<TCrossbar> audioInputs_;

  bool streaming_ = false;
  bool requested_ = false;
  std::vector<Mapped> buffers_;
  std::uint32_t pixelformat_ = 0;
  int width_ = 0, height_ = 0;
  std::size_t bytesPerLine_ = 0;
  std::vector<std::uint8_t> rgb_;
  std::atomic<bool> stop_{false};
  std::atomic<long> dropped_{0};
  std::atomic<long> delivered_{0};
  std::thread thread_;
};

std::string Text(const std::uint8_t* bytes, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), size));
}

bool IsCamera(const v4l2_capability& cap) {
  const std::uint32_t caps = NodeCaps(cap);
  return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

}  // namespace

bool ProbeV4l2Node(TV4l2Io& io, const std::string& path, TDeviceInfo& info) {
  const int fd = io.Open(path);
  if (fd < 0) return false;
  v4l2_capability cap{};
  const bool ok = io.Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && IsCamera(cap);
  io.Close(fd);
  if (!ok) return false;
  info.friendlyName = Text(cap.card, sizeof cap.card);
  if (info.friendlyName.empty()) info.friendlyName = Text(cap.driver, sizeof cap.driver);
  // Card and bus stay the same when the camera comes back as another node.
  info.moniker = "@v4l2#" + info.friendlyName + "#" + Text(cap.bus_info, sizeof cap.bus_info) + "#";
  info.driver = TDriverKind::Native;
  info.liveSettings = true;
  return true;
}

std::unique_ptr<TCaptureSource> OpenV4l2Source(std::shared_ptr<TV4l2Io> io, const std::string& path,
                                               const TDeviceInfo& info) {
  const int fd = io->Open(path);
  if (fd < 0) return nullptr;
  v4l2_capability cap{};
  if (io->Ioctl(fd, VIDIOC_QUERYCAP, &cap) != 0 || !IsCamera(cap)) {
    io->Close(fd);
    return nullptr;
  }
  auto source = std::make_unique<V4l2Source>(std::move(io), fd, info);
  if (source->CapabilityCount() == 0) return nullptr;  // nothing we can turn into pictures
  return source;
}

}  // namespace videocapture::engine
