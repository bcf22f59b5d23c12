#include "videocapture/engine/SyntheticCamera.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/Strings.h"

namespace videocapture::engine {

// ---------------------------------------------------------------- clock

TSyntheticClock::TSyntheticClock(bool manual) : manual_(manual) {}

std::shared_ptr<TSyntheticClock> TSyntheticClock::Real() {
  return std::shared_ptr<TSyntheticClock>(new TSyntheticClock(false));
}

std::shared_ptr<TSyntheticClock> TSyntheticClock::Manual() {
  return std::shared_ptr<TSyntheticClock>(new TSyntheticClock(true));
}

TRefTime TSyntheticClock::Now() {
  if (!manual_) {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
  }
  std::lock_guard lock(mutex_);
  return now_;
}

void TSyntheticClock::Advance(TRefTime by) {
  {
    std::lock_guard lock(mutex_);
    now_ += by;
  }
  changed_.notify_all();
}

bool TSyntheticClock::WaitUntil(TRefTime when, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  if (manual_) {
    changed_.wait(lock, [&] { return stop.load() || now_ >= when; });
    return !stop.load();
  }
  for (;;) {
    if (stop.load()) return false;
    const TRefTime now = Now();
    if (now >= when) return true;
    changed_.wait_for(lock, std::chrono::nanoseconds((when - now) * 100));
  }
}

void TSyntheticClock::Interrupt() {
  // Taking the lock orders the waiter's flag test before this wake-up.
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

// ---------------------------------------------------------------- drawing

namespace {

constexpr int kDigits = 6;
constexpr int kBoxCells = kDigits * 4 + 1;  // a gap column between and around the digits
constexpr int kBoxRows = 7;

constexpr std::uint16_t kGlyphs[10] = {
    // rows of three bits, top row in the high bits
    0b111'101'101'101'111, 0b010'110'010'010'111, 0b111'001'111'100'111, 0b111'001'111'001'111,
    0b101'101'111'001'001, 0b111'100'111'001'111, 0b111'100'111'101'111, 0b111'001'001'001'001,
    0b111'101'111'101'111, 0b111'101'111'001'111,
};

struct Geometry {
  int cell = 0, x0 = 0, y0 = 0;
};

Geometry NumberBox(int width, int height) {
  Geometry g;
  g.cell = std::min(width / (kBoxCells + 2), height / (kBoxRows + 2));
  g.x0 = (width - kBoxCells * g.cell) / 2;
  g.y0 = (height - kBoxRows * g.cell) / 2;
  return g;
}

std::uint8_t* Row(std::uint8_t* bgr, int height, std::size_t stride, bool topDown, int y) {
  return bgr + static_cast<std::size_t>(topDown ? y : height - 1 - y) * stride;
}

const std::uint8_t* Row(const std::uint8_t* bgr, int height, std::size_t stride, bool topDown, int y) {
  return bgr + static_cast<std::size_t>(topDown ? y : height - 1 - y) * stride;
}

void FillCells(std::uint8_t* bgr, int height, std::size_t stride, bool topDown, int x, int y, int w, int h,
               std::uint8_t value) {
  for (int yy = y; yy < y + h; ++yy) std::fill_n(Row(bgr, height, stride, topDown, yy) + 3 * x, 3 * w, value);
}

}  // namespace

void DrawSyntheticFrame(std::uint8_t* bgr, int width, int height, std::size_t stride, bool topDown,
                        std::uint32_t number, int brightness) {
  // Eight colour bars, so that a preview looks like a camera and colour swaps show.
  static constexpr std::uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                               {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {40, 40, 40}};
  const int scale = std::clamp(brightness, 0, 255);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = Row(bgr, height, stride, topDown, y);
    for (int x = 0; x < width; ++x) {
      const auto& bar = kBars[std::min(7, x * 8 / std::max(1, width))];
      for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<std::uint8_t>(std::min(255, bar[c] * scale / 128));
    }
  }
  const Geometry g = NumberBox(width, height);
  if (g.cell < 1) return;
  FillCells(bgr, height, stride, topDown, g.x0, g.y0, kBoxCells * g.cell, kBoxRows * g.cell, 0);
  number %= 1000000;
  for (int d = kDigits - 1; d >= 0; --d, number /= 10) {
    const std::uint16_t glyph = kGlyphs[number % 10];
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 3; ++c)
        if (glyph & (1u << (14 - (r * 3 + c))))
          FillCells(bgr, height, stride, topDown, g.x0 + (1 + d * 4 + c) * g.cell, g.y0 + (1 + r) * g.cell, g.cell,
                    g.cell, 255);
  }
}

int ReadSyntheticFrameNumber(const std::uint8_t* bgr, int width, int height, std::size_t stride, bool topDown) {
  if (bgr == nullptr) return -1;
  const Geometry g = NumberBox(width, height);
  if (g.cell < 1) return -1;
  // The middle half of a block, so that JPEG's ringing at its edges does not count.
  const int inset = g.cell / 4;
  const int span = std::max(1, g.cell - 2 * inset);
  auto lit = [&](int cx, int cy) {
    long sum = 0;
    for (int y = cy + inset; y < cy + inset + span; ++y) {
      const std::uint8_t* row = Row(bgr, height, stride, topDown, y);
      for (int x = cx + inset; x < cx + inset + span; ++x) sum += row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
    }
    return sum / (3L * span * span) > 128;
  };
  int number = 0;
  for (int d = 0; d < kDigits; ++d) {
    std::uint16_t glyph = 0;
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 3; ++c)
        if (lit(g.x0 + (1 + d * 4 + c) * g.cell, g.y0 + (1 + r) * g.cell)) glyph |= 1u << (14 - (r * 3 + c));
    const auto* found = std::find(std::begin(kGlyphs), std::end(kGlyphs), glyph);
    if (found == std::end(kGlyphs)) return -1;
    number = number * 10 + static_cast<int>(found - std::begin(kGlyphs));
  }
  return number;
}

// ---------------------------------------------------------------- camera

namespace {

constexpr TRefTime kFallbackInterval = kUnitsPerSecond / 15;

struct ControlSpec {
  int property, min, max, step, def;
};
// Brightness, contrast, hue, saturation, sharpness and gamma; the rest absent.
constexpr ControlSpec kControls[] = {{0, 0, 255, 1, 128}, {1, 0, 100, 1, 50}, {2, -180, 180, 1, 0},
                                     {3, 0, 100, 1, 50},  {4, 0, 10, 1, 3},   {5, 100, 300, 1, 100}};

const ControlSpec* FindControl(int property) {
  for (const auto& c : kControls)
    if (c.property == property) return &c;
  return nullptr;
}

class SyntheticProcAmp : public TProcAmp {
 public:
  explicit SyntheticProcAmp(TSyntheticCamera& camera) : camera_(camera) {}
  bool GetRange(int property, TControlRange& range) override {
    const ControlSpec* c = FindControl(property);
    if (!c) return false;
    range = {true, c->min, c->max, c->step, c->def, 2};
    return true;
  }
  bool Get(int property, int& value) override {
    if (!FindControl(property)) return false;
    std::lock_guard lock(camera_.Mutex());
    value = camera_.Control(property);
    return true;
  }
  bool Set(int property, int value) override {
    const ControlSpec* c = FindControl(property);
    if (!c || value < c->min || value > c->max) return false;
    std::lock_guard lock(camera_.Mutex());
    camera_.SetControl(property, value);
    return true;
  }

 private:
  TSyntheticCamera& camera_;
};

class SyntheticCrossbar : public TCrossbar {
 public:
  int InputCount() override { return 2; }
  int OutputCount() override { return 1; }
  std::string InputName(int input) override { return input == 0 ? "Video Tuner" : "Video Composite"; }
  bool CanRoute(int output, int input) override { return output == 0 && (input == 0 || input == 1); }
  bool Route(int output, int input) override {
    if (!CanRoute(output, input)) return false;
    routed_ = input;
    return true;
  }
  int RoutedTo(int output) override { return output == 0 ? routed_.load() : -1; }

 private:
  std::atomic<int> routed_{0};
};

// A TV card's tuner and decoder, as far as tests look at them.
class SyntheticTvCard : public TTvTuner, public TAnalogDecoder {
 public:
  explicit SyntheticTvCard(TSyntheticCamera& camera) : camera_(camera) {}
  int AvailableModes() override { return 1; }
  int Mode() override { return 1; }
  bool SignalPresent(bool& present) override {
    present = true;
    return true;
  }
  bool VideoFrequency(long& hertz) override {
    hertz = frequency_.load();
    return true;
  }
  bool FrequencyRange(long& low, long& high, long& step) override {
    low = 44000000;
    high = 870000000;
    step = 62500;
    return true;
  }
  bool SetVideoFrequency(long hertz) override {
    frequency_ = hertz;
    return true;
  }
  bool SignalStrength(int& strength) override {
    strength = 65535;
    return true;
  }
  int TunerInputCount() override { return 1; }
  bool ConnectTunerInput(int input) override { return input == 0; }
  bool ConnectedTunerInput(int& input) override {
    input = 0;
    return true;
  }
  bool AvailableStandards(long& flags) override {
    flags = 0x1 | 0x10;
    return true;
  }
  bool Standard(long& flag) override {
    flag = camera_.standard.load();
    return flag != 0;
  }
  bool SetStandard(long flag) override {
    if (flag != 0x1 && flag != 0x10) return false;
    camera_.standard = flag;
    return true;
  }
  bool HorizontalLocked(bool& locked) override {
    locked = true;
    return true;
  }
  bool VcrLocking(bool& on) override {
    on = false;
    return true;
  }

 private:
  TSyntheticCamera& camera_;
  std::atomic<long> frequency_{175250000};
};

class SyntheticTvAudio : public TTvAudio {
 public:
  explicit SyntheticTvAudio(TSyntheticCamera& camera) : camera_(camera) {}
  int AvailableModes() override { return 0x1 | 0x2; }
  bool Mode(int& mode) override {
    mode = camera_.tvAudioMode.load();
    return true;
  }
  bool SetMode(int mode) override {
    if (mode != 0x1 && mode != 0x2) return false;
    camera_.tvAudioMode = mode;
    return true;
  }

 private:
  TSyntheticCamera& camera_;
};

class SyntheticSource : public TCaptureSource, public TDroppedFrames {
 public:
  explicit SyntheticSource(std::shared_ptr<TSyntheticCamera> camera)
      : camera_(std::move(camera)), info_(camera_->Info()), procAmp_(*camera_), tvCard_(*camera_), tvAudio_(*camera_) {}
  ~SyntheticSource() override { Stop(); }

  const TDeviceInfo& Info() const override { return info_; }
  TPinFacts Pins() const override { return camera_->Script().pins; }

  int CapabilityCount() override { return static_cast<int>(camera_->Script().capabilities.size()); }

  bool GetCapability(int index, TVideoFormat& format, TStreamCaps& caps) override {
    const auto& all = camera_->Script().capabilities;
    if (index < 0 || index >= static_cast<int>(all.size())) return false;
    format = all[index].format;
    caps = all[index].caps;
    if (camera_->Faults().zeroFrameInterval) {
      format.avgTimePerFrame = 0;
      caps.minFrameInterval = caps.maxFrameInterval = 0;
    }
    return true;
  }

  bool QueryAccept(const TVideoFormat& f) override {
    for (const auto& cap : camera_->Script().capabilities) {
      const TStreamCaps& c = cap.caps;
      if (cap.format.subtype != f.subtype) continue;
      if (f.width < c.minWidth || f.width > c.maxWidth || f.height < c.minHeight || f.height > c.maxHeight) continue;
      if ((f.width - c.minWidth) % std::max(1, c.granularityX) != 0) continue;
      if ((f.height - c.minHeight) % std::max(1, c.granularityY) != 0) continue;
      return true;
    }
    return false;
  }

  bool GetFormat(TVideoFormat& format) override {
    std::lock_guard lock(camera_->Mutex());
    format = camera_->CurrentFormat();
    if (camera_->Faults().zeroFrameInterval) format.avgTimePerFrame = 0;
    return true;
  }

  bool SetFormat(const TVideoFormat& wanted) override {
    if (camera_->Faults().formatRefused || streaming_ || !QueryAccept(wanted)) return false;
    std::lock_guard lock(camera_->Mutex());
    TVideoFormat& current = camera_->CurrentFormat();
    TRefTime interval = wanted.avgTimePerFrame > 0 ? wanted.avgTimePerFrame : current.avgTimePerFrame;
    for (const auto& cap : camera_->Script().capabilities) {
      if (cap.format.subtype != wanted.subtype) continue;
      // Like a driver, the camera settles on the nearest rate it can do.
      if (cap.caps.minFrameInterval > 0) interval = std::max(interval, cap.caps.minFrameInterval);
      if (cap.caps.maxFrameInterval > 0) interval = std::min(interval, cap.caps.maxFrameInterval);
      break;
    }
    current = wanted;
    current.avgTimePerFrame = interval;
    return true;
  }

  TProcAmp* ProcAmp() override { return camera_->Script().procAmp ? &procAmp_ : nullptr; }
  TDroppedFrames* DroppedFrames() override { return this; }
  TCrossbar* Crossbar() override { return camera_->Script().crossbar ? &crossbar_ : nullptr; }
  TTvTuner* Tuner() override { return camera_->Script().tuner ? &tvCard_ : nullptr; }
  TAnalogDecoder* AnalogDecoder() override { return camera_->Script().analogDecoder ? &tvCard_ : nullptr; }
  TTvAudio* TvAudio() override { return camera_->Script().tuner ? &tvAudio_ : nullptr; }

  bool GetNumDropped(long& count) override {
    count = 0;
    return true;
  }
  bool GetNumNotDropped(long& count) override {
    count = delivered_.load();
    return true;
  }

  bool Start(TFrameSink frames, TEventSink events) override {
    if (streaming_ || camera_->Faults().startFails || !camera_->Present()) return false;
    streaming_ = true;
    stop_ = false;
    delivered_ = 0;
    ++camera_->starts;
    // Time starts now, on the caller's thread: a clock stepped right after
    // Start already counts for this stream.
    thread_ = std::thread([this, frames = std::move(frames), events = std::move(events),
                           generation = camera_->LostGeneration(),
                           origin = camera_->Clock().Now()] { Stream(frames, events, generation, origin); });
    return true;
  }

  void Stop() override {
    if (!streaming_) return;
    stop_ = true;
    camera_->Clock().Interrupt();
    thread_.join();
    streaming_ = false;
  }

 private:
  void Stream(const TFrameSink& frames, const TEventSink& events, std::uint64_t generation, TRefTime origin) {
    TVideoFormat format;
    int brightness;
    {
      std::lock_guard lock(camera_->Mutex());
      format = camera_->CurrentFormat();
      brightness = camera_->Control(0);
    }
    const TSyntheticScript& script = camera_->Script();
    const TRefTime interval = format.avgTimePerFrame > 0 ? format.avgTimePerFrame : kFallbackInterval;
    const std::size_t stride = Rgb24Stride(format.width) + static_cast<std::size_t>(std::max(0, script.rowPadding));
    std::vector<std::uint8_t> buffer(stride * static_cast<std::size_t>(std::max(0, format.height)));
    TSyntheticClock& clock = camera_->Clock();
    std::uint32_t number = 0;
    for (TRefTime due = origin + interval;; due += interval) {
      if (!clock.WaitUntil(due, stop_)) return;
      if (camera_->Lost(generation)) {
        events(TGraphEventCode::DeviceLost);
        return;
      }
      {
        std::lock_guard lock(camera_->Mutex());
        brightness = camera_->Control(0);
      }
      ++number;
      TFrame frame;
      frame.sampleTime = static_cast<double>(due - origin) / kUnitsPerSecond;
      frame.width = format.width;
      frame.height = format.height;
      frame.stride = stride;
      frame.topDown = script.topDown;
      if (!camera_->Faults().nullBuffer) {
        DrawSyntheticFrame(buffer.data(), format.width, format.height, stride, script.topDown, number, brightness);
        frame.data = buffer.data();
        frame.length = buffer.size();
      }
      ++delivered_;  // counted first, so whoever sees the frame sees it counted
      frames(frame);
    }
  }

  std::shared_ptr<TSyntheticCamera> camera_;
  TDeviceInfo info_;
  SyntheticProcAmp procAmp_;
  SyntheticCrossbar crossbar_;
  SyntheticTvCard tvCard_;
  SyntheticTvAudio tvAudio_;
  bool streaming_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<long> delivered_{0};
  std::thread thread_;
};

class SyntheticMixer : public TMixer {
 public:
  explicit SyntheticMixer(TSyntheticBackend& backend) : backend_(backend) {}
  std::vector<TMixerControl> Controls() override { return {{"Capture", true, 0, 100, true, {}}}; }
  bool Volume(int control, long& value) override {
    value = backend_.microphoneVolume.load();
    return control == 0;
  }
  bool SetVolume(int control, long value) override {
    if (control != 0 || value < 0 || value > 100) return false;
    backend_.microphoneVolume = value;
    return true;
  }
  bool Switch(int control, bool& on) override {
    on = backend_.microphoneOn.load();
    return control == 0;
  }
  bool SetSwitch(int control, bool on) override {
    if (control != 0) return false;
    backend_.microphoneOn = on;
    return true;
  }
  bool Item(int, int&) override { return false; }
  bool SetItem(int, int) override { return false; }

 private:
  TSyntheticBackend& backend_;
};

class SyntheticMicrophone : public TAudioSource {
 public:
  SyntheticMicrophone(std::shared_ptr<TSyntheticClock> clock, TSyntheticBackend& backend)
      : clock_(std::move(clock)), mixer_(backend) {}
  ~SyntheticMicrophone() override { Stop(); }

  bool SetFormat(const TPcmFormat& format) override {
    if (streaming_ || (format.bits != 8 && format.bits != 16) || format.channels < 1 || format.channels > 2 ||
        format.rate < 10)
      return false;
    format_ = format;
    return true;
  }
  TPcmFormat Format() const override { return format_; }

  bool Start(TAudioSink sink) override {
    if (streaming_) return false;
    streaming_ = true;
    stop_ = false;
    thread_ = std::thread([this, sink = std::move(sink), origin = clock_->Now()] { Record(sink, origin); });
    return true;
  }

  void Stop() override {
    if (!streaming_) return;
    stop_ = true;
    clock_->Interrupt();
    thread_.join();
    streaming_ = false;
  }

  TMixer* Mixer() override { return &mixer_; }

 private:
  void Record(const TAudioSink& sink, TRefTime origin) {
    const unsigned frames = format_.rate / 10;
    std::vector<std::uint8_t> block(frames * format_.BlockAlign());
    std::uint64_t recorded = 0;
    for (TRefTime due = origin + kUnitsPerSecond / 10;; due += kUnitsPerSecond / 10) {
      if (!clock_->WaitUntil(due, stop_)) return;
      std::uint8_t* out = block.data();
      for (unsigned i = 0; i < frames; ++i) {
        const double t = static_cast<double>(recorded + i) / format_.rate;
        for (unsigned c = 0; c < format_.channels; ++c) {
          const double v = 0.5 * std::sin(2 * 3.14159265358979 * kMicrophoneTones[c % 2] * t);
          if (format_.bits == 8) {
            *out++ = static_cast<std::uint8_t>(128 + std::lround(v * 127));
          } else {
            const auto sample = static_cast<std::int16_t>(std::lround(v * 32767));
            *out++ = static_cast<std::uint8_t>(sample & 0xFF);
            *out++ = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
          }
        }
      }
      sink({block.data(), block.size(), static_cast<double>(recorded) / format_.rate});
      recorded += frames;
    }
  }

  std::shared_ptr<TSyntheticClock> clock_;
  SyntheticMixer mixer_;
  TPcmFormat format_;
  bool streaming_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

TSyntheticCamera::TSyntheticCamera(TSyntheticScript script, std::shared_ptr<TSyntheticClock> clock, int serial)
    : script_(std::move(script)), clock_(std::move(clock)), serial_(serial) {
  if (!script_.capabilities.empty()) format_ = script_.capabilities.front().format;
  for (const auto& c : kControls) controls_[c.property] = c.def;
}

TSyntheticScript TSyntheticCamera::StandardScript(const std::string& name) {
  TSyntheticScript s;
  s.name = name;
  s.pins.preview = true;
  TSyntheticCapability yuy2;
  yuy2.format = {kYuy2, 320, 240, kUnitsPerSecond / 30, TFormatKind::VideoInfo};
  yuy2.caps = {160, 120, 640, 480, 160, 120, kUnitsPerSecond / 30, kUnitsPerSecond / 5};
  TSyntheticCapability mjpg;
  mjpg.format = {kMjpg, 1280, 720, kUnitsPerSecond / 30, TFormatKind::VideoInfo};
  mjpg.caps = {320, 180, 1280, 720, 320, 180, kUnitsPerSecond / 30, kUnitsPerSecond / 5};
  s.capabilities = {yuy2, mjpg};
  return s;
}

TDeviceInfo TSyntheticCamera::Info() const {
  TDeviceInfo info;
  info.moniker = "@synthetic#" + platform::UpperCase(script_.name) + "#" + std::to_string(serial_) + "#";
  info.friendlyName = script_.name;
  info.driver = script_.driver;
  info.liveSettings = script_.liveSettings;
  return info;
}

void TSyntheticCamera::SetPresent(bool present) {
  if (present_.exchange(present) && !present) {
    ++lostGeneration_;
    clock_->Interrupt();
  }
}

std::unique_ptr<TCaptureSource> TSyntheticCamera::Open() {
  if (!Present()) return nullptr;
  return std::make_unique<SyntheticSource>(shared_from_this());
}

// ---------------------------------------------------------------- backend

TSyntheticBackend::TSyntheticBackend(std::shared_ptr<TSyntheticClock> clock) : clock_(std::move(clock)) {}

std::shared_ptr<TSyntheticCamera> TSyntheticBackend::AddCamera(TSyntheticScript script) {
  auto camera = std::make_shared<TSyntheticCamera>(std::move(script), clock_, static_cast<int>(cameras_.size()) + 1);
  cameras_.push_back(camera);
  entries_.emplace_back(TCategory::VideoInput, camera->Info());
  return camera;
}

void TSyntheticBackend::AddEntry(TCategory category, const std::string& name, TDriverKind driver) {
  TDeviceInfo info;
  info.moniker = "@synthetic#" + platform::UpperCase(name) + "#" + std::to_string(entries_.size() + 1) + "#";
  info.friendlyName = name;
  info.driver = driver;
  entries_.emplace_back(category, info);
}

void TSyntheticBackend::RepeatEntry(TCategory category, int index) {
  int seen = 0;
  for (const auto& [c, info] : entries_) {
    if (c != category) continue;
    if (seen++ == index) {
      const TDeviceInfo copy = info;
      entries_.emplace_back(category, copy);
      return;
    }
  }
}

void TSyntheticBackend::RemoveEntry(TCategory category, const std::string& name) {
  std::erase_if(entries_, [&](const auto& e) { return e.first == category && e.second.friendlyName == name; });
}

void TSyntheticBackend::NotifyChange() {
  if (notice_) notice_();
}

std::vector<TDeviceInfo> TSyntheticBackend::Enumerate(TCategory category) {
  std::vector<TDeviceInfo> list;
  for (const auto& [c, info] : entries_) {
    if (c != category) continue;
    if (category == TCategory::VideoInput) {
      const std::string& moniker = info.moniker;  // clang 14 cannot capture a structured binding
      auto camera = std::find_if(cameras_.begin(), cameras_.end(),
                                 [&](const auto& cam) { return cam->Info().moniker == moniker; });
      if (camera != cameras_.end() && !(*camera)->Present()) continue;
    }
    list.push_back(info);
  }
  return list;
}

std::unique_ptr<TCaptureSource> TSyntheticBackend::Open(const std::string& moniker) {
  for (auto& camera : cameras_)
    if (camera->Info().moniker == moniker) return camera->Open();
  return nullptr;
}

std::unique_ptr<TAudioSource> TSyntheticBackend::OpenAudio(const std::string& moniker) {
  if (!CanBind(TCategory::AudioInput, moniker)) return nullptr;
  return std::make_unique<SyntheticMicrophone>(clock_, *this);
}

bool TSyntheticBackend::CanBind(TCategory category, const std::string& moniker) {
  for (const auto& [c, info] : entries_)
    if (c == category && info.moniker == moniker) return true;
  return false;
}

}  // namespace videocapture::engine
